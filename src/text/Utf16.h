// UTF-8 to UTF-16, as the SAX interfaces take text, and the growable UTF-16 buffer that the
// reader fills with names and values. Nothing here throws: a buffer that cannot grow reports it
// by value. A buffer is used by one thread at a time.
#pragma once

#include "text/TextKernels.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#if defined(__x86_64__)
#include <emmintrin.h>
#endif

namespace qorutils {
namespace text {

// Converts UTF-8 from `src` up to `end` into at most `capacity` code units at `dst`, and
// advances `src` past what was converted. A character that does not fit whole (a surrogate
// pair needs two units) is left for the next call. A malformed byte becomes U+FFFD.
// Returns the number of code units written. With `readable` (at or after `end`), the bytes up
// to it may be read and `dst` has room for kBlockSlack - 1 units beyond `capacity`, whose
// contents are then undefined.
inline size_t ConvertUtf8ToUtf16(const char*& src, const char* end, unsigned short* dst,
                                 size_t capacity, const char* readable = nullptr) {
    return ActiveTextKernels().utf8ToUtf16(src, end, dst, capacity, readable);
}

// Widens `length` bytes from `src` into as many units at `dst`, as if all were ASCII, reading
// and writing none beyond them, and answers whether they were: blocks of 8 bytes, the last one
// overlapping the one before, and for a text of 4 to 7 bytes two overlapping blocks of 4. When
// it answers false, the units are to be converted again.
inline bool WidenAscii(unsigned short* dst, const char* src, size_t length) {
#if defined(__x86_64__)
    const __m128i zero = _mm_setzero_si128();
    uint64_t bits = 0;
    const auto widen8 = [&](size_t at) {
        uint64_t word = 0;
        std::memcpy(&word, src + at, 8);
        bits |= word;
        const __m128i units =
            _mm_unpacklo_epi8(_mm_cvtsi64_si128(static_cast<long long>(word)), zero);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + at), units);
    };
    const auto widen4 = [&](size_t at) {
        uint32_t word = 0;
        std::memcpy(&word, src + at, 4);
        bits |= word;
        const __m128i units = _mm_unpacklo_epi8(_mm_cvtsi32_si128(static_cast<int>(word)), zero);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(dst + at), units);
    };
    if (length >= 8) {
        for (size_t at = 0; at + 8 < length; at += 8) {
            widen8(at);
        }
        widen8(length - 8);
        return (bits & 0x8080808080808080u) == 0;
    }
    if (length >= 4) {
        widen4(0);
        widen4(length - 4);
        return (bits & 0x80808080u) == 0;
    }
#endif
    unsigned any = 0;
    for (size_t i = 0; i < length; ++i) {
        const auto byte = static_cast<unsigned char>(src[i]);
        dst[i] = byte;
        any |= byte;
    }
    return any < 0x80;
}

// A reusable run of UTF-16 code units. Its storage only grows, and only inside reserve(), so
// pointers into it stay valid until the next reserve() or clear() that is followed by growth.
class Utf16Buffer {
public:
    Utf16Buffer() = default;
    ~Utf16Buffer() { std::free(m_data); }
    Utf16Buffer(const Utf16Buffer&) = delete;
    Utf16Buffer& operator=(const Utf16Buffer&) = delete;

    // Makes room for `extra` more units; null when memory runs out.
    unsigned short* reserve(size_t extra) {
        return m_capacity - m_size >= extra ? m_data + m_size : grow(extra);
    }
    void commit(size_t count) { m_size += count; }
    void clear() { m_size = 0; }
    // Forgets what follows `size` units.
    void truncate(size_t size) {
        if (size < m_size) {
            m_size = size;
        }
    }
    unsigned short* data() const { return m_data; }
    size_t size() const { return m_size; }

    // Appends the `length` bytes of UTF-8 at `text` and a NUL. Returns the offset of the text,
    // or -1 when memory runs out. Inline: most names and values are short ASCII, widened as they
    // are; the others are converted again.
    long appendUtf8(const char* text, size_t length) {
        // A byte of UTF-8 never gives more than one unit of UTF-16.
        unsigned short* dst = reserve(length + 1);
        if (dst == nullptr) {
            return -1;
        }
        const size_t units = WidenAscii(dst, text, length) ? length : convert(dst, text, length);
        dst[units] = 0;
        const size_t offset = m_size;
        m_size += units + 1;
        return static_cast<long>(offset);
    }
    // Appends UTF-8 text up to its NUL or the `stop` byte, and a NUL; leaves `text` at the
    // byte where it stopped. Returns the offset of the text, or -1 when memory runs out; the
    // stored text's length is size() - offset - 1 afterwards.
    long appendUtf8(const char*& text, char stop = '\0');

private:
    // reserve() when the buffer must grow.
    unsigned short* grow(size_t extra);
    // The conversion of a text that is not ASCII, out of line; the units written.
    static size_t convert(unsigned short* dst, const char* text, size_t length);

    // Texts up to this many bytes that are ASCII are converted in one scan.
    static constexpr size_t kShortText = 32;

    unsigned short* m_data = nullptr;
    size_t m_size = 0;
    size_t m_capacity = 0;
};

} // namespace text
} // namespace qorutils
