// FI::FIError: the error out-parameter of the entry setters. It is an FIAttribute holding the
// error text ("Not Supported" from the library's default setters) and adds nothing, so a caller
// reads it as an FIAttribute. It belongs to whoever declares it; one thread at a time.
#pragma once

#include <QorUtils/attribute/FIAttribute.h>

namespace FI {

class FIError : public FIAttribute {
public:
    FIError() = default;
    using FIAttribute::FIAttribute;
    // A copy of `value`, as `error = value` makes (inherited constructors leave the copy out).
    FIError(const FIAttribute& value) : FIAttribute(value) {}
    using FIAttribute::operator=;
};

} // namespace FI
