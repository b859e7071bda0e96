// Narrowing: the 8-bit text that handlers and log lines take, one byte per character. A
// character up to U+00FF becomes the byte of its value, any other '?' (a surrogate pair, one
// character, a single '?'). Text comes as UTF-16 from a SAX parser or straight from UTF-8,
// decoded as the conversion to UTF-16 decodes it, so that both give the same bytes. Pure
// functions on caller-owned buffers: thread-safe, no throw.
#pragma once

#include "text/TextKernels.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__x86_64__)
#include <emmintrin.h>
#endif

namespace qorutils {
namespace text {

// The most bytes a name, text piece or file name narrows to.
constexpr int kNarrowLimit = 4096;

#if defined(__x86_64__)
// Narrows a text of 2 to 16 units, each from 1 to 0xFF, with two overlapping loads and no
// loop; -1 (nothing written) when a unit is out of that range. Most names and values are such
// texts, and the call to a kernel costs more than narrowing them.
inline int NarrowShortLatin1(char* dest, const unsigned short* text, int length) noexcept {
    const auto n = static_cast<size_t>(length);
    // The first units and the last ones, overlapping: 8 and 8, or 4 and 4, or 2 and 2
    // repeated, so that every lane holds a unit of the text.
    __m128i head;
    __m128i tail;
    if (n >= 8) {
        head = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text));
        tail = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + n - 8));
    } else if (n >= 4) {
        head = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(text));
        tail = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(text + n - 4));
        head = tail = _mm_unpacklo_epi64(head, tail);
    } else {
        uint32_t first = 0;
        uint32_t last = 0;
        std::memcpy(&first, text, 4);
        std::memcpy(&last, text + n - 2, 4);
        head = tail = _mm_set_epi32(static_cast<int>(last), static_cast<int>(last),
                                    static_cast<int>(first), static_cast<int>(first));
    }
    const __m128i zero = _mm_setzero_si128();
    const __m128i low = _mm_set1_epi16(0xFF);
    // A unit above 0xFF leaves something when 0xFF is taken from it (unsigned, saturated).
    const __m128i over = _mm_or_si128(_mm_subs_epu16(head, low), _mm_subs_epu16(tail, low));
    const __m128i nul = _mm_or_si128(_mm_cmpeq_epi16(head, zero), _mm_cmpeq_epi16(tail, zero));
    const __m128i good = _mm_andnot_si128(nul, _mm_cmpeq_epi16(over, zero));
    if (_mm_movemask_epi8(good) != 0xFFFF) {
        return -1;
    }
    const __m128i bytes = _mm_packus_epi16(head, tail);
    if (n >= 8) {
        _mm_storel_epi64(reinterpret_cast<__m128i*>(dest), bytes);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(dest + n - 8), _mm_srli_si128(bytes, 8));
    } else if (n >= 4) {
        const uint64_t both = static_cast<uint64_t>(_mm_cvtsi128_si64(bytes));
        const auto first = static_cast<uint32_t>(both);
        const auto last = static_cast<uint32_t>(both >> 32);
        std::memcpy(dest, &first, 4);
        std::memcpy(dest + n - 4, &last, 4);
    } else {
        const uint64_t both = static_cast<uint64_t>(_mm_cvtsi128_si64(bytes));
        const auto first = static_cast<uint16_t>(both);
        const auto last = static_cast<uint16_t>(both >> 32);
        std::memcpy(dest, &first, 2);
        std::memcpy(dest + n - 2, &last, 2);
    }
    dest[n] = '\0';
    return length;
}
#endif

// Narrows at most `length` code units of `text` into `dest`, writing at most `limit` bytes and
// a NUL after them; stops early at a zero code unit. A null text or a negative length narrows
// to the empty text. Returns the bytes written. All `length` units must be readable: for a
// NUL-terminated text, give BoundedLength.
inline int Narrow(char* dest, const unsigned short* text, int length, int limit) noexcept {
    if (text == nullptr || length < 0) {
        length = 0;
        text = nullptr;
    }
#if defined(__x86_64__)
    if (length >= 2 && length <= 16 && length <= limit) {
        const int narrowed = NarrowShortLatin1(dest, text, length);
        if (narrowed >= 0) {
            return narrowed;
        }
    }
#endif
    return ActiveTextKernels().narrowUtf16(dest, text, length, limit);
}

// Whether `text` narrows (as Narrow does, to at most `limit` bytes) to exactly `expected`;
// compares as it goes, writing nothing.
bool NarrowsTo(const unsigned short* text, int length, const char* expected, int limit) noexcept;

// Narrows UTF-8 text ended by a NUL or the `stop` byte: at most `limit` bytes and a NUL.
// Leaves `text` where it stopped; returns the bytes written.
int NarrowUtf8Until(char* dest, const char*& text, char stop, int limit) noexcept;

// NarrowUtf8Until for a text ended by its NUL.
inline int NarrowUtf8(char* dest, const char* text, int limit) noexcept {
    return NarrowUtf8Until(dest, text, '\0', limit);
}

// Whether the `length` bytes of UTF-8 at `text` narrow to exactly `expected` (cut, as
// narrowing cuts, after `limit` bytes).
bool Utf8NarrowsTo(const char* text, size_t length, const char* expected, int limit) noexcept;

// The length of a NUL-terminated text, counting no further than `limit`; 0 for null.
int BoundedLength(const unsigned short* text, int limit) noexcept;

// Narrow for a text that may end at a zero unit before `length`, as hosts that give a generous
// length for a NUL-terminated text expect: it reads nothing past the zero that could fault. The
// kernels read ahead within `length`; within one page of memory (4 KiB, or a multiple) that is
// harmless, so only a text that reaches into another page is first cut at its zero. Twice
// `limit` units may narrow to `limit` bytes (a surrogate pair narrows to one).
inline int NarrowToZero(char* dest, const unsigned short* text, int length, int limit) noexcept {
    const int units = length < 2 * limit ? length : 2 * limit;
    const auto first = reinterpret_cast<uintptr_t>(text);
    const uintptr_t last = first + 2 * static_cast<uintptr_t>(units > 0 ? units : 1) - 1;
    constexpr uintptr_t k_page = 4096;
    const bool onePage = (first ^ last) < k_page;
    return Narrow(dest, text, onePage ? units : BoundedLength(text, units), limit);
}

} // namespace text
} // namespace qorutils
