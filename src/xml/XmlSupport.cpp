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

// Writes each control character but tab as '?': those of C0 and DEL, and those of C1 in UTF-8
// (U+0080 to U+009F, as a file name now reaches the log), which a terminal may obey as it obeys
// ESC. Other bytes stay as they are: a file name in Shift_JIS has bytes from 0x80 to 0x9F.
void ReplaceControls(std::string& line) {
    size_t out = 0;
    for (size_t i = 0; i < line.size(); ++i) {
        const auto byte = static_cast<unsigned char>(line[i]);
        const bool c0 = (byte < 0x20 && byte != '\t') || byte == 0x7F;
        const bool c1 = byte == 0xC2 && i + 1 < line.size() &&
                        (static_cast<unsigned char>(line[i + 1]) & 0xE0) == 0x80;
        line[out++] = c0 || c1 ? '?' : line[i];
        i += c1 ? 1 : 0;
    }
    line.resize(out);
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
    ReplaceControls(line);
    if (level == k_errorLevel) {
        FILogErr(line.c_str());
    } else {
        FILogTrace(line.c_str(), level);
    }
}

} // namespace qorutils
