// Texts that the system hands over as bytes, file names above all, carried through UTF-16 and
// given back byte for byte. They are mostly UTF-8, but a file may be named with any bytes (an
// archive from another system leaves Shift_JIS names): a byte that is no part of well-formed
// UTF-8 becomes the lone surrogate U+DC00 + byte (U+DC80 to U+DCFF), as file-name conversions
// elsewhere do, and comes back as that byte. Pure functions: thread-safe, no throw.
#pragma once

#include <cstddef>

namespace qorutils {
namespace text {

// Widens the `length` bytes at `src` into at most `length` units at `dst`; returns the units
// written.
size_t Utf16FromBytes(const char* src, size_t length, unsigned short* dst) noexcept;

// The inverse, for log lines: the UTF-16 at `text` up to its first zero unit or `length` units,
// as UTF-8 with the kept bytes given back; another lone surrogate becomes '?'. Writes at most
// `limit` bytes, never part of a character, and a NUL after them (`dest` holds `limit` + 1).
// Returns the bytes written; `taken`, when given, receives the units they came from.
int BytesFromUtf16(char* dest, const unsigned short* text, int length, int limit,
                   int* taken = nullptr) noexcept;

// The units of the first `length` of `text` without its last `count` characters (a surrogate
// pair is one); 0 when it has no more.
int WithoutLastCharacters(const unsigned short* text, int length, int count) noexcept;

} // namespace text
} // namespace qorutils
