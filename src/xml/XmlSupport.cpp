#include "xml/XmlSupport.h"

#include <QorUtils/log/FILog.h>

#include <cstdarg>
#include <cstdio>
#include <new>
#include <string>

namespace qorutils {

namespace {

bool IsHighSurrogate(unsigned unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}

bool IsLowSurrogate(unsigned unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

// The whole formatted line, or false when it cannot be composed.
bool Compose(std::string& line, const char* format, va_list args) {
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

int Narrow(char* dest, const unsigned short* text, int length, int limit) noexcept {
    if (text == nullptr || length < 0) {
        length = 0;
    }
    int written = 0;
    for (int i = 0; i < length && written < limit; ++i) {
        const unsigned unit = text[i];
        if (unit <= 0xFF) {
            if (unit == 0) {
                break;
            }
            dest[written++] = static_cast<char>(unit);
            continue;
        }
        if (IsHighSurrogate(unit) && i + 1 < length && IsLowSurrogate(text[i + 1])) {
            ++i;
        }
        dest[written++] = '?';
    }
    dest[written] = '\0';
    return written;
}

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
