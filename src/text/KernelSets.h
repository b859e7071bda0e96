// The kernel sets that TextKernels.cpp chooses among, one per file: each file defines its set
// for the processors it is written for, and none where they cannot exist.
#pragma once

#include "text/TextKernels.h"

#include <cstddef>
#include <cstdint>

namespace qorutils {
namespace text {

// Plain C++: every processor, and the reference the others are tested against.
extern const TextKernels kPlainKernels;
#if defined(__x86_64__)
// SSE2: every x86-64 processor.
extern const TextKernels kSse2Kernels;
#endif

// Shared by the kernels: a code point as one or two UTF-16 units at dst[written], when they
// fit in `capacity`; false when they do not.
inline bool PutCodePoint(uint32_t code, unsigned short* dst, size_t capacity, size_t& written) {
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

// A UTF-16 unit that is not narrowed to its own value (zero, or beyond 0xFF) at text[i - 1]:
// a surrogate pair is one character, whose second unit is stepped over.
inline void StepOverPair(unsigned unit, const unsigned short* text, int length, int& i) {
    if (unit >= 0xD800 && unit <= 0xDBFF && i < length && text[i] >= 0xDC00 && text[i] <= 0xDFFF) {
        ++i;
    }
}

} // namespace text
} // namespace qorutils
