#include "platform/Utf16Text.h"

#include <algorithm>
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

constexpr size_t kBlock = kWideningBlock;

// Widens kBlock bytes as if all of them were ASCII, and answers how many leading ones really
// are: those units are right, the rest are overwritten by the caller. Text is mostly ASCII, so
// this path carries most of the work, and a non-ASCII character costs one decoding step, not
// the rest of its text.
size_t widenAsciiBlock(const char* src, unsigned short* dst) {
#if defined(__SSE2__)
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src));
    const __m128i zero = _mm_setzero_si128();
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), _mm_unpacklo_epi8(bytes, zero));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 8), _mm_unpackhi_epi8(bytes, zero));
    const unsigned high = static_cast<unsigned>(_mm_movemask_epi8(bytes));
    return high == 0 ? kBlock : static_cast<size_t>(__builtin_ctz(high));
#else
    size_t ascii = 0;
    while (ascii < kBlock && static_cast<unsigned char>(src[ascii]) < 0x80) {
        dst[ascii] = static_cast<unsigned char>(src[ascii]);
        ++ascii;
    }
    return ascii;
#endif
}

// Widens the ASCII bytes that lead the `size` bytes at `src` into `dst` (room for `size`
// units) and answers how many they are. Most texts are ASCII throughout: blocks of 16, the
// last one overlapping the one before, leave no byte to a loop of one byte a step. A text
// shorter than a block goes byte by byte: measured, smaller blocks for it cost more in their
// choice than they saved.
size_t widenAsciiPrefix(const char* src, unsigned short* dst, size_t size) {
    if (size >= kBlock) {
        size_t done = 0;
        while (done < size) {
            const size_t start = std::min(done, size - kBlock);
            const size_t ascii = widenAsciiBlock(src + start, dst + start);
            if (ascii != kBlock) {
                return start + ascii;
            }
            done = start + kBlock;
        }
        return size;
    }
    size_t done = 0;
    while (done < size && static_cast<unsigned char>(src[done]) < 0x80) {
        dst[done] = static_cast<unsigned char>(src[done]);
        ++done;
    }
    return done;
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

uint32_t DecodeUtf8Sequence(const unsigned char* src, size_t available, size_t& length) {
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

size_t ConvertUtf8ToUtf16(const char*& src, const char* end, unsigned short* dst, size_t capacity,
                          const char* readable) {
    size_t written = 0;
    for (;;) {
        const size_t room = std::min(static_cast<size_t>(end - src), capacity - written);
        if (room == 0) {
            return written;
        }
        size_t ascii = 0;
        if (readable != nullptr && readable - src >= std::ptrdiff_t{kBlock}) {
            // Whole blocks, past the end of the text if need be: the fewest decisions for the
            // short texts of most of expat's events.
            ascii = widenAsciiBlock(src, dst + written);
            if (ascii == kBlock && room > kBlock) {
                src += kBlock;
                written += kBlock;
                continue;
            }
            ascii = std::min(ascii, room);
        } else {
            ascii = widenAsciiPrefix(src, dst + written, room);
        }
        src += ascii;
        written += ascii;
        if (ascii == room) {
            return written;
        }
        // Two bytes, the accented letters of Latin scripts, inline; the rest decoded.
        const auto lead = static_cast<unsigned char>(src[0]);
        if (lead >= 0xC2 && lead <= 0xDF && end - src >= 2 &&
            isContinuation(static_cast<unsigned char>(src[1]))) {
            dst[written++] = static_cast<unsigned short>(
                (lead & 0x1Fu) << 6 | (static_cast<unsigned char>(src[1]) & 0x3Fu));
            src += 2;
            continue;
        }
        size_t length = 0;
        const uint32_t code = DecodeUtf8Sequence(reinterpret_cast<const unsigned char*>(src),
                                                 static_cast<size_t>(end - src), length);
        if (!putCodePoint(code, dst, capacity, written)) {
            return written;
        }
        src += length;
    }
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

} // namespace detail
} // namespace MSXML2
