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

// Decodes one multi-byte sequence at `src` (its first byte is 0x80 or above). Returns the
// code point and sets `length` to the bytes used; a malformed sequence gives U+FFFD and 1.
uint32_t decodeSequence(const unsigned char* src, const unsigned char* end, size_t& length) {
    const unsigned char lead = src[0];
    const size_t available = static_cast<size_t>(end - src);
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

} // namespace

size_t ConvertUtf8ToUtf16(const char*& src, const char* end, unsigned short* dst, size_t capacity) {
    size_t written = 0;
    while (src < end) {
        if (end - src >= 16 && capacity - written >= 16 && widenAsciiBlock(src, dst + written)) {
            src += 16;
            written += 16;
            continue;
        }
        const auto byte = static_cast<unsigned char>(*src);
        if (byte < 0x80) {
            if (written == capacity) {
                break;
            }
            dst[written++] = byte;
            ++src;
            continue;
        }
        size_t length = 0;
        const uint32_t code = decodeSequence(reinterpret_cast<const unsigned char*>(src),
                                             reinterpret_cast<const unsigned char*>(end), length);
        if (code >= 0x10000) {
            if (capacity - written < 2) {
                break;
            }
            dst[written++] = static_cast<unsigned short>(0xD800 + ((code - 0x10000) >> 10));
            dst[written++] = static_cast<unsigned short>(0xDC00 + (code & 0x3FF));
        } else {
            if (written == capacity) {
                break;
            }
            dst[written++] = static_cast<unsigned short>(code);
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

long Utf16Buffer::appendUtf8(const char* text, size_t length) {
    // A UTF-8 text never needs more code units than it has bytes.
    unsigned short* out = reserve(length + 1);
    if (out == nullptr) {
        return -1;
    }
    const long offset = static_cast<long>(m_size);
    const size_t written = ConvertUtf8ToUtf16(text, text + length, out, length);
    out[written] = 0;
    m_size += written + 1;
    return offset;
}

} // namespace detail
} // namespace MSXML2
