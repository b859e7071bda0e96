// Kept apart from the other helpers so that test programs that never print a value do not
// pull in the value type.
#include "support/TestSupport.h"

#include <sstream>

void PrintTo(const FIAttribute& value, std::ostream* os) {
    switch (value.GetType()) {
    case FIAttribute::FT_NULL:
        *os << "null";
        break;
    case FIAttribute::FT_INTEGER:
        *os << "integer " << value.ival();
        break;
    case FIAttribute::FT_REAL:
        *os << "real " << value.rval();
        break;
    case FIAttribute::FT_SHORT_TEXT:
        *os << "short text '" << value.c_str() << "'";
        break;
    case FIAttribute::FT_LONG_TEXT:
        *os << "long text '" << value.c_str() << "' (length " << value.length() << ", capacity "
            << value.capacity() << ")";
        break;
    default:
        *os << "kind " << static_cast<int>(value.GetType());
    }
}

std::string qortest::Describe(const FIAttribute& value) {
    std::ostringstream text;
    PrintTo(value, &text);
    return text.str();
}
