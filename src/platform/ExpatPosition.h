// Where expat stands in its input, as 64-bit counts. Expat 2.9 adds 64-bit forms of its
// position functions and deprecates the old ones, whose counts wrap on 32-bit targets; with
// an older expat the old ones serve, widened.
#pragma once

#include <expat.h>

#include <cstdint>

namespace MSXML2 {
namespace detail {

#if XML_MAJOR_VERSION > 2 || (XML_MAJOR_VERSION == 2 && XML_MINOR_VERSION >= 9)

inline uint64_t ExpatLine(XML_Parser parser) {
    return XML_GetCurrentLineNumber64(parser);
}

inline uint64_t ExpatColumn(XML_Parser parser) {
    return XML_GetCurrentColumnNumber64(parser);
}

inline int64_t ExpatByteIndex(XML_Parser parser) {
    return XML_GetCurrentByteIndex64(parser);
}

// The bytes of the current event in the input (those of the reference, for an entity's text).
inline uint64_t ExpatByteCount(XML_Parser parser) {
    return XML_GetCurrentByteCount64(parser);
}

// The buffer holding the current event, null when there is none; `size` bytes long.
inline const char* ExpatInputContext(XML_Parser parser, uint64_t* size) {
    int64_t offset = 0;
    return XML_GetInputContext64(parser, &offset, size);
}

#else

inline uint64_t ExpatLine(XML_Parser parser) {
    return XML_GetCurrentLineNumber(parser);
}

inline uint64_t ExpatColumn(XML_Parser parser) {
    return XML_GetCurrentColumnNumber(parser);
}

inline int64_t ExpatByteIndex(XML_Parser parser) {
    return XML_GetCurrentByteIndex(parser);
}

inline uint64_t ExpatByteCount(XML_Parser parser) {
    const int count = XML_GetCurrentByteCount(parser);
    return count > 0 ? static_cast<uint64_t>(count) : 0;
}

inline const char* ExpatInputContext(XML_Parser parser, uint64_t* size) {
    int offset = 0;
    int length = 0;
    const char* input = XML_GetInputContext(parser, &offset, &length);
    *size = static_cast<uint64_t>(length);
    return input;
}

#endif

} // namespace detail
} // namespace MSXML2
