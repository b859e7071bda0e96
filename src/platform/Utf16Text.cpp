#include "platform/Utf16Text.h"

#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace MSXML2 {
namespace detail {
namespace {

constexpr unsigned short kReplacement = 0xFFFD;

bool isContinuation(unsigned char byte) {
    return (byte & 0xC0) == 0x80;
}

// Widens a block of 16 bytes when all of them are ASCII; false leaves the block untouched.
// Text and names are mostly ASCII, so this path carries most of the work.
bool widenAsciiBlock(const char* src, unsigned short* dst) {
#if defined(__SSE2__)
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src));
    if (_mm_movemask_epi8(bytes) != 0) {
        return false;
    }
    const __m128i zero = _mm_setzero_si128();
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), _mm_unpacklo_epi8(bytes, zero));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 8), _mm_unpackhi_epi8(bytes, zero));
    return true;
#else
    uint64_t low;
    uint64_t high;
    std::memcpy(&low, src, 8);
    std::memcpy(&high, src + 8, 8);
    if (((low | high) & 0x8080808080808080ull) != 0) {
        return false;
    }
    for (int i = 0; i < 16; ++i) {
        dst[i] = static_cast<unsigned char>(src[i]);
    }
    return true;
#endif
}

// Decodes one multi-byte sequence at `src` (its first byte is 0x80 or above), reading no
// further than `available` bytes nor past a byte that is no continuation byte (so a
// NUL-terminated text is never overrun). Returns the code point and sets `length` to the
// bytes used; a malformed sequence gives U+FFFD and 1.
uint32_t decodeSequence(const unsigned char* src, size_t available, size_t& length) {
    const unsigned char lead = src[0];
    length = 1;
    if (lead >= 0xC2 && lead <= 0xDF) {
        if (available >= 2 && isContinuation(src[1])) {
            length = 2;
            return (uint32_t{lead} & 0x1F) << 6 | (src[1] & 0x3F);
        }
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        // Overlong forms (E0 below A0) and surrogates (ED from A0) are not characters.
        const unsigned char low = lead == 0xE0 ? 0xA0 : 0x80;
        const unsigned char high = lead == 0xED ? 0x9F : 0xBF;
        if (available >= 3 && src[1] >= low && src[1] <= high && isContinuation(src[2])) {
            length = 3;
            return (uint32_t{lead} & 0x0F) << 12 | (uint32_t{src[1]} & 0x3F) << 6 | (src[2] & 0x3F);
        }
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        const unsigned char low = lead == 0xF0 ? 0x90 : 0x80;
        const unsigned char high = lead == 0xF4 ? 0x8F : 0xBF;
        if (available >= 4 && src[1] >= low && src[1] <= high && isContinuation(src[2]) &&
            isContinuation(src[3])) {
            length = 4;
            return (uint32_t{lead} & 0x07) << 18 | (uint32_t{src[1]} & 0x3F) << 12 |
                   (uint32_t{src[2]} & 0x3F) << 6 | (src[3] & 0x3F);
        }
    }
    return kReplacement;
}

// Writes one code point as one or two units; false when they do not fit.
bool putCodePoint(uint32_t code, unsigned short* dst, size_t capacity, size_t& written) {
    if (code < 0x10000) {
        if (written == capacity) {
            return false;
        }
        dst[written++] = static_cast<unsigned short>(code);
        return true;
    }
    if (capacity - written < 2) {
        return false;
    }
    dst[written++] = static_cast<unsigned short>(0xD800 + ((code - 0x10000) >> 10));
    dst[written++] = static_cast<unsigned short>(0xDC00 + (code & 0x3FF));
    return true;
}

} // namespace

size_t ConvertUtf8ToUtf16(const char*& src, const char* end, unsigned short* dst, size_t capacity) {
    size_t written = 0;
    while (src < end) {
        while (end - src >= 16 && capacity - written >= 16 && widenAsciiBlock(src, dst + written)) {
            src += 16;
            written += 16;
        }
        while (src < end && written < capacity && static_cast<unsigned char>(*src) < 0x80) {
            dst[written++] = static_cast<unsigned char>(*src++);
        }
        if (src == end || written == capacity) {
            break;
        }
        if (static_cast<unsigned char>(*src) < 0x80) {
            continue;
        }
        size_t length = 0;
        const uint32_t code = decodeSequence(reinterpret_cast<const unsigned char*>(src),
                                             static_cast<size_t>(end - src), length);
        if (!putCodePoint(code, dst, capacity, written)) {
            break;
        }
        src += length;
    }
    return written;
}

size_t CountUtf8Characters(const char* src, size_t size) {
    size_t count = 0;
    for (size_t i = 0; i < size; ++i) {
        count += !isContinuation(static_cast<unsigned char>(src[i]));
    }
    return count;
}

unsigned short* Utf16Buffer::reserve(size_t extra) {
    if (m_capacity - m_size >= extra) {
        return m_data + m_size;
    }
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

// Converts byte by byte: names and attribute values are short, and their length is unknown
// until the NUL, which a block read could pass.
long Utf16Buffer::appendUtf8(const char*& text, char stop) {
    const size_t offset = m_size;
    for (;;) {
        // One more character (two units) and the NUL always fit after a reserve of 3.
        if (reserve(3) == nullptr) {
            m_size = offset;
            return -1;
        }
        size_t written = m_size;
        const size_t capacity = m_capacity - 1;
        while (written < capacity) {
            const auto byte = static_cast<unsigned char>(*text);
            if (byte < 0x80) {
                if (byte == 0 || byte == static_cast<unsigned char>(stop)) {
                    m_data[written] = 0;
                    m_size = written + 1;
                    return static_cast<long>(offset);
                }
                m_data[written++] = byte;
                ++text;
                continue;
            }
            size_t length = 0;
            const uint32_t code =
                decodeSequence(reinterpret_cast<const unsigned char*>(text), 4, length);
            if (!putCodePoint(code, m_data, capacity, written)) {
                break;
            }
            text += length;
        }
        m_size = written;
    }
}

} // namespace detail
} // namespace MSXML2
