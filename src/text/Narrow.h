// Narrowing: the 8-bit text that handlers and log lines take, one byte per character. A
// character up to U+00FF becomes the byte of its value, any other '?' (a surrogate pair, one
// character, a single '?'). Text comes as UTF-16 from a SAX parser or straight from UTF-8,
// decoded as the conversion to UTF-16 decodes it, so that both give the same bytes. Pure
// functions on caller-owned buffers: thread-safe, no throw.
#pragma once

#include "text/TextKernels.h"

#include <cstddef>

namespace qorutils {
namespace text {

// The most bytes a name, text piece or file name narrows to.
constexpr int kNarrowLimit = 4096;

// Narrows at most `length` code units of `text` into `dest`, writing at most `limit` bytes and
// a NUL after them; stops early at a zero code unit. A null text or a negative length narrows
// to the empty text. Returns the bytes written. All `length` units must be readable: for a
// NUL-terminated text, give BoundedLength.
inline int Narrow(char* dest, const unsigned short* text, int length, int limit) noexcept {
    if (text == nullptr || length < 0) {
        length = 0;
        text = nullptr;
    }
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

} // namespace text
} // namespace qorutils
