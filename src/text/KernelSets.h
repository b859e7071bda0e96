// The kernel sets that TextKernels.cpp chooses among, one per file: each file defines its set
// for the processors it is written for, and none where they cannot exist.
#pragma once

#include "text/TextKernels.h"
#include "text/Utf8.h"

#include <cstddef>
#include <cstdint>

namespace qorutils {
namespace text {

// Plain C++: every processor, and the reference the others are tested against.
extern const TextKernels kPlainKernels;
#if defined(__x86_64__)
// SSE2: every x86-64 processor. Its conversion to UTF-16 and its narrowing of UTF-16 serve the
// sets below too.
extern const TextKernels kSse2Kernels;
size_t Utf8ToUtf16Sse2(const char*& src, const char* end, unsigned short* dst, size_t capacity,
                       const char* readable);
int NarrowUtf16Sse2(char* dest, const unsigned short* text, int length, int limit);
// SSSE3, AVX2 with POPCNT, and AVX-512 with byte compression (VBMI2): narrowing from UTF-8
// 16, 32 or 64 bytes at a time, characters beyond ASCII included, the continuation bytes
// taken out by a shuffle or a compression.
extern const TextKernels kSsse3Kernels;
extern const TextKernels kAvx2Kernels;
extern const TextKernels kAvx512Kernels;
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

// Narrows the one character at `src` (before `end`) to dest[run.bytes] and moves past it; false,
// with nothing done, when its units do not fit in `capacity` (the caller has made sure that one
// unit does).
inline bool NarrowCharacter(char* dest, NarrowedRun& run, const char*& src, const char* end,
                            size_t capacity) {
    const auto lead = static_cast<unsigned char>(src[0]);
    if (lead < 0x80) {
        dest[run.bytes++] = static_cast<char>(lead);
        ++src;
        ++run.units;
        return true;
    }
    // Two bytes, the accented letters of Latin scripts, inline; the rest decoded.
    if (lead >= 0xC2 && lead <= 0xDF && end - src >= 2 &&
        IsContinuation(static_cast<unsigned char>(src[1]))) {
        const unsigned code = (lead & 0x1Fu) << 6 | (static_cast<unsigned char>(src[1]) & 0x3Fu);
        dest[run.bytes++] = NarrowCodePoint(code);
        src += 2;
        ++run.units;
        return true;
    }
    size_t length = 0;
    const uint32_t code = DecodeUtf8Sequence(reinterpret_cast<const unsigned char*>(src),
                                             static_cast<size_t>(end - src), length);
    const size_t units = code < 0x10000 ? 1 : 2;
    if (capacity - run.units < units) {
        return false;
    }
    dest[run.bytes++] = NarrowCodePoint(code);
    src += length;
    run.units += units;
    return true;
}

// A UTF-16 unit that is not narrowed to its own value (zero, or beyond 0xFF) at text[i - 1]:
// a surrogate pair is one character, whose second unit is stepped over.
inline void StepOverPair(unsigned unit, const unsigned short* text, int length, int& i) {
    if (IsHighSurrogate(unit) && i < length && IsLowSurrogate(text[i])) {
        ++i;
    }
}

} // namespace text
} // namespace qorutils
