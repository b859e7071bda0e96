#include "xml/XmlSupport.h"

#include <QorUtils/log/FILog.h>

#include <cstdarg>
#include <cstdio>
#include <new>
#include <string>

namespace qorutils {

namespace {

// The whole formatted line, or false when it cannot be composed.
__attribute__((format(printf, 2, 0))) bool Compose(std::string& line, const char* format,
                                                   va_list args) {
    va_list sizing;
    va_copy(sizing, args);
    const int size = std::vsnprintf(nullptr, 0, format, sizing);
    va_end(sizing);
    if (size < 0) {
        return false;
    }
    try {
        line.resize(static_cast<size_t>(size));
    } catch (const std::bad_alloc&) {
        return false;
    }
    std::vsnprintf(line.data(), line.size() + 1, format, args);
    return true;
}

} // namespace

void LogLine(int level, const char* format, ...) noexcept {
    std::string line;
    va_list args;
    va_start(args, format);
    const bool composed = Compose(line, format, args);
    va_end(args);
    if (!composed) {
        return;
    }
    if (level == k_errorLevel) {
        FILogErr(line.c_str());
    } else {
        FILogTrace(line.c_str(), level);
    }
}

} // namespace qorutils
