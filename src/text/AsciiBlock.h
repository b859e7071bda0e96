// One block of ASCII, copied or widened with one load and one or two stores: the short texts
// that make up most of a parser's text events (the indentation between elements, a few words
// between references) take no loop at all. Inline for the reader's hot path; SSE2, which every
// x86-64 processor runs, and elsewhere no block (the callers take their general way).
#pragma once

#include <cstddef>

#if defined(__x86_64__)
#include <emmintrin.h>
#endif

namespace qorutils {
namespace text {

// The block: a text of at most this many bytes, readable for this many, into room for as many.
constexpr size_t kAsciiBlock = 16;

#if defined(__x86_64__)
// Loads the block at `src`; false when one of its first `size` bytes is beyond ASCII.
inline bool LoadAsciiBlock(const char* src, size_t size, __m128i& block) {
    block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src));
    const auto high = static_cast<unsigned>(_mm_movemask_epi8(block));
    return (high & ((1u << size) - 1u)) == 0;
}
#endif

// Copies the `size` bytes (at most kAsciiBlock) at `src` to `dest` when none of them is beyond
// ASCII; false, with nothing of meaning written, otherwise. kAsciiBlock bytes are read and
// written whatever `size`.
inline bool CopyAsciiBlock(char* dest, const char* src, size_t size) {
#if defined(__x86_64__)
    __m128i block;
    if (!LoadAsciiBlock(src, size, block)) {
        return false;
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dest), block);
    return true;
#else
    (void)dest;
    (void)src;
    (void)size;
    return false;
#endif
}

// CopyAsciiBlock into UTF-16 units: kAsciiBlock units are written whatever `size`.
inline bool WidenAsciiBlock(unsigned short* dest, const char* src, size_t size) {
#if defined(__x86_64__)
    __m128i block;
    if (!LoadAsciiBlock(src, size, block)) {
        return false;
    }
    const __m128i zero = _mm_setzero_si128();
    auto* to = reinterpret_cast<__m128i*>(dest);
    _mm_storeu_si128(to, _mm_unpacklo_epi8(block, zero));
    _mm_storeu_si128(to + 1, _mm_unpackhi_epi8(block, zero));
    return true;
#else
    (void)dest;
    (void)src;
    (void)size;
    return false;
#endif
}

} // namespace text
} // namespace qorutils
