#include "text/Utf16.h"

#include <cstdint>
#include <cstring>

namespace qorutils {
namespace text {

unsigned short* Utf16Buffer::grow(size_t extra) {
    if (extra > SIZE_MAX / 8 - m_size) {
        return nullptr;
    }
    size_t capacity = m_capacity < 256 ? 256 : m_capacity;
    while (capacity - m_size < extra) {
        capacity *= 2;
    }
    void* grown = std::realloc(m_data, capacity * sizeof(unsigned short));
    if (grown == nullptr) {
        return nullptr;
    }
    m_data = static_cast<unsigned short*>(grown);
    m_capacity = capacity;
    return m_data + m_size;
}

size_t Utf16Buffer::convert(unsigned short* dst, const char* text, size_t length) {
    return ConvertUtf8ToUtf16(text, text + length, dst, length);
}

long Utf16Buffer::appendUtf8(const char*& text, char stop) {
    const size_t offset = m_size;
    // Most names and values are short and ASCII: they are widened here as they are scanned,
    // for a few instructions a byte. The rest of a longer or non-ASCII text goes to the block
    // conversion once its length is known.
    if (reserve(kShortText) != nullptr) {
        unsigned short* dst = m_data + m_size;
        size_t i = 0;
        for (; i < kShortText; ++i) {
            const auto byte = static_cast<unsigned char>(text[i]);
            if (byte == 0 || byte == static_cast<unsigned char>(stop)) {
                dst[i] = 0;
                text += i;
                m_size += i + 1;
                return static_cast<long>(offset);
            }
            if (byte >= 0x80) {
                break;
            }
            dst[i] = byte;
        }
        text += i;
        m_size += i;
    }
    const char* end = stop == '\0' ? text + std::strlen(text) : strchrnul(text, stop);
    const auto length = static_cast<size_t>(end - text);
    // A byte of UTF-8 never gives more than one unit of UTF-16.
    unsigned short* dst = reserve(length + 1);
    if (dst == nullptr) {
        m_size = offset;
        return -1;
    }
    const size_t written = ConvertUtf8ToUtf16(text, end, dst, length);
    dst[written] = 0;
    m_size += written + 1;
    return static_cast<long>(offset);
}

} // namespace text
} // namespace qorutils
