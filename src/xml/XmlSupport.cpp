#include "xml/XmlSupport.h"

#include <QorUtils/log/FILog.h>

#include <algorithm>
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

// A control character that would break a log line or hide part of it; a tab is kept.
bool IsControl(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return (byte < 0x20 && byte != '\t') || byte == 0x7F;
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
    // Each message is one line: a line break in a file name or a caller's text would start a
    // line of its own, one that the document's name could make look like any other message.
    std::replace_if(line.begin(), line.end(), IsControl, '?');
    if (level == k_errorLevel) {
        FILogErr(line.c_str());
    } else {
        FILogTrace(line.c_str(), level);
    }
}

} // namespace qorutils
