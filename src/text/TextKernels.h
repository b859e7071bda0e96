// The conversions that carry most of the library's text (UTF-8 to UTF-16, UTF-8 to narrowed
// 8-bit text, UTF-16 to narrowed text), each written plainly and again with the vector
// instructions that x86-64 processors offer, and the choice among them: made once, on first
// use, from what the processor runs. Every set gives the same results as the plain one, which
// the tests and a fuzz target check. Private to the library; the sets are constant and the
// choice is thread-safe.
#pragma once

#include <cstddef>
#include <vector>

namespace qorutils {
namespace text {

// How far a kernel may read past `end` (up to `readable`) and write past what it converted.
constexpr size_t kBlockSlack = 64;

// What a run of UTF-8 narrowed to: the bytes written, and the UTF-16 code units that the same
// characters convert to.
struct NarrowedRun {
    size_t bytes;
    size_t units;
};

// One set of kernels; ConvertUtf8ToUtf16 and Narrow (Utf16.h, Narrow.h) give the contracts of
// the first and the last.
struct TextKernels {
    const char* name;
    size_t (*utf8ToUtf16)(const char*& src, const char* end, unsigned short* dst, size_t capacity,
                          const char* readable);
    // Narrows UTF-8 from `src` up to `end`, for as many whole characters as the conversion to
    // UTF-16 would put into at most `capacity` code units; advances `src` past them. With
    // `readable` (at or after `end`) the bytes up to it may be read, and `dest` has room for
    // kBlockSlack - 1 bytes beyond the bytes written, whose contents are then undefined.
    NarrowedRun (*narrowUtf8)(char* dest, const char*& src, const char* end, size_t capacity,
                              const char* readable);
    // For a text that is not null and a length that is not negative.
    int (*narrowUtf16)(char* dest, const unsigned short* text, int length, int limit);
};

// The fastest set this processor runs, chosen at the first call.
const TextKernels& ChooseTextKernels();
inline const TextKernels& ActiveTextKernels() {
    static const TextKernels& chosen = ChooseTextKernels();
    return chosen;
}

// Every set this processor runs, the plain one first.
std::vector<const TextKernels*> UsableTextKernels();

} // namespace text
} // namespace qorutils
