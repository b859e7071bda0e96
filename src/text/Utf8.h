// UTF-8 as the library reads it: one character decoded at a time, the ASCII test and the count
// of characters. Every conversion of the library (to UTF-16, to narrowed 8-bit text) decodes by
// DecodeUtf8Sequence's rules, malformed bytes included, so that the reader's UTF-16 and the
// handler tree's narrowed text agree byte for byte. Pure functions: thread-safe, no throw.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__x86_64__)
#include <emmintrin.h>
#endif

namespace qorutils {
namespace text {

// What a malformed byte decodes to.
constexpr uint32_t kReplacementCharacter = 0xFFFD;

inline bool IsContinuation(unsigned char byte) {
    return (byte & 0xC0) == 0x80;
}

// The two halves of a UTF-16 surrogate pair, which every conversion from UTF-16 takes as one
// character.
inline bool IsHighSurrogate(unsigned unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}
inline bool IsLowSurrogate(unsigned unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

// Decodes one multi-byte sequence at `src` (its first byte is 0x80 or above), reading no
// further than `available` bytes nor past a byte that is no continuation byte (so a
// NUL-terminated text is never overrun). Returns the code point and sets `length` to the
// bytes used; a malformed sequence (overlong, a surrogate, beyond U+10FFFF, cut short) gives
// U+FFFD and 1.
uint32_t DecodeUtf8Sequence(const unsigned char* src, size_t available, size_t& length);

// The byte a character narrows to: itself up to U+00FF, '?' beyond.
inline char NarrowCodePoint(uint32_t code) {
    return static_cast<char>(code <= 0xFF ? code : '?');
}

// Whether the `length` bytes at `text` are all ASCII; reads none beyond them.
inline bool IsAscii(const char* text, size_t length) noexcept {
    constexpr uint64_t k_high = 0x8080808080808080u;
    uint64_t bits = 0;
    if (length >= 8) {
        for (size_t i = 0; i + 8 <= length; i += 8) {
            uint64_t word = 0;
            std::memcpy(&word, text + i, 8);
            bits |= word;
        }
        uint64_t last = 0;
        std::memcpy(&last, text + length - 8, 8);
        return ((bits | last) & k_high) == 0;
    }
    if (length >= 4) {
        uint32_t first = 0;
        uint32_t last = 0;
        std::memcpy(&first, text, 4);
        std::memcpy(&last, text + length - 4, 4);
        return ((first | last) & 0x80808080u) == 0;
    }
    for (size_t i = 0; i < length; ++i) {
        bits |= static_cast<unsigned char>(text[i]);
    }
    return (bits & 0x80u) == 0;
}

// IsAscii for a text of at most 32 bytes in a buffer that may be read for 32 bytes: one test of
// whole blocks, without a loop.
inline bool IsAsciiWithin32(const char* text, size_t length) noexcept {
#if defined(__x86_64__)
    const auto low = static_cast<uint32_t>(
        _mm_movemask_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(text))));
    const auto high = static_cast<uint32_t>(
        _mm_movemask_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(text + 16))));
    return ((low | high << 16) & static_cast<uint32_t>((uint64_t{1} << length) - 1u)) == 0;
#else
    return IsAscii(text, length);
#endif
}

// The number of characters (code points) in well-formed UTF-8.
size_t CountUtf8Characters(const char* src, size_t size);

} // namespace text
} // namespace qorutils
