// The SSE2 kernels: ASCII (or, in UTF-16, units 1 to 255) sixteen at a time, which is most of
// any text, and the odd character on its own, after which the blocks resume. A text shorter
// than a block, where its buffer may be read that far, is taken as one block too.
#include "text/KernelSets.h"
#include "text/Utf8.h"

#if defined(__x86_64__)

#include <emmintrin.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace qorutils {
namespace text {
namespace {

constexpr size_t kBlock = 16;

// Widens kBlock bytes as if all of them were ASCII, and answers how many leading ones really
// are: those units are right, the rest are overwritten by the caller.
size_t WidenAsciiBlock(const char* src, unsigned short* dst) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src));
    const __m128i zero = _mm_setzero_si128();
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), _mm_unpacklo_epi8(bytes, zero));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 8), _mm_unpackhi_epi8(bytes, zero));
    const auto high = static_cast<unsigned>(_mm_movemask_epi8(bytes));
    return high == 0 ? kBlock : static_cast<size_t>(__builtin_ctz(high));
}

// Widens the ASCII bytes that lead the `size` bytes at `src` into `dst` (room for `size`
// units) and answers how many they are: blocks of 16, the last one overlapping the one before;
// a text shorter than a block byte by byte (measured, smaller blocks for it cost more in their
// choice than they saved).
size_t WidenAsciiPrefix(const char* src, unsigned short* dst, size_t size) {
    if (size >= kBlock) {
        size_t done = 0;
        while (done < size) {
            const size_t start = std::min(done, size - kBlock);
            const size_t ascii = WidenAsciiBlock(src + start, dst + start);
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

} // namespace

size_t Utf8ToUtf16Sse2(const char*& src, const char* end, unsigned short* dst, size_t capacity,
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
            ascii = WidenAsciiBlock(src, dst + written);
            if (ascii == kBlock && room > kBlock) {
                src += kBlock;
                written += kBlock;
                continue;
            }
            ascii = std::min(ascii, room);
        } else {
            ascii = WidenAsciiPrefix(src, dst + written, room);
        }
        src += ascii;
        written += ascii;
        if (ascii == room) {
            return written;
        }
        // Two bytes, the accented letters of Latin scripts, inline; the rest decoded.
        const auto lead = static_cast<unsigned char>(src[0]);
        if (lead >= 0xC2 && lead <= 0xDF && end - src >= 2 &&
            IsContinuation(static_cast<unsigned char>(src[1]))) {
            dst[written++] = static_cast<unsigned short>(
                (lead & 0x1Fu) << 6 | (static_cast<unsigned char>(src[1]) & 0x3Fu));
            src += 2;
            continue;
        }
        size_t length = 0;
        const uint32_t code = DecodeUtf8Sequence(reinterpret_cast<const unsigned char*>(src),
                                                 static_cast<size_t>(end - src), length);
        if (!PutCodePoint(code, dst, capacity, written)) {
            return written;
        }
        src += length;
    }
}

namespace {

NarrowedRun NarrowUtf8(char* dest, const char*& src, const char* end, size_t capacity,
                       const char* readable) {
    NarrowedRun run{0, 0};
    for (;;) {
        const size_t room = std::min(static_cast<size_t>(end - src), capacity - run.units);
        if (room == 0) {
            return run;
        }
        // The ASCII that leads the rest, a block at a time when the bytes may be read that far
        // (past the end of a short text: the fewest decisions for the short texts of most
        // events); ASCII narrows to itself, a unit a byte.
        size_t ascii = 0;
        if (readable != nullptr && readable - src >= std::ptrdiff_t{kBlock}) {
            const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(dest + run.bytes), bytes);
            const auto high = static_cast<unsigned>(_mm_movemask_epi8(bytes));
            ascii = high == 0 ? kBlock : static_cast<size_t>(__builtin_ctz(high));
            if (ascii == kBlock && room > kBlock) {
                src += kBlock;
                run.bytes += kBlock;
                run.units += kBlock;
                continue;
            }
            ascii = std::min(ascii, room);
        } else {
            while (ascii < room && static_cast<unsigned char>(src[ascii]) < 0x80) {
                dest[run.bytes + ascii] = src[ascii];
                ++ascii;
            }
        }
        src += ascii;
        run.bytes += ascii;
        run.units += ascii;
        if (ascii == room) {
            return run;
        }
        // One character beyond ASCII.
        if (!NarrowCharacter(dest, run, src, end, capacity)) {
            return run;
        }
    }
}

// Per unit: all ones when it is 0 or above 255, that is, when it does not narrow to the byte
// of its own value.
__m128i OutsidePlain(__m128i units) {
    const __m128i zero = _mm_setzero_si128();
    return _mm_or_si128(_mm_cmpeq_epi16(units, zero),
                        _mm_cmpgt_epi16(_mm_srli_epi16(units, 8), zero));
}

// Narrows N units (16, 8 or 4) as if all of them lay in 1..255, and answers how many leading
// ones really do: those bytes are right, the rest are overwritten by the caller.
template <int N> int NarrowPlainBlock(char* dest, const unsigned short* units) {
    const __m128i first = N == 4 ? _mm_loadl_epi64(reinterpret_cast<const __m128i*>(units))
                                 : _mm_loadu_si128(reinterpret_cast<const __m128i*>(units));
    __m128i outside = OutsidePlain(first);
    if constexpr (N == 16) {
        const __m128i second = _mm_loadu_si128(reinterpret_cast<const __m128i*>(units + 8));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dest), _mm_packus_epi16(first, second));
        outside = _mm_packs_epi16(outside, OutsidePlain(second));
    } else if constexpr (N == 8) {
        _mm_storel_epi64(reinterpret_cast<__m128i*>(dest), _mm_packus_epi16(first, first));
        outside = _mm_packs_epi16(outside, outside);
    } else {
        const int packed = _mm_cvtsi128_si32(_mm_packus_epi16(first, first));
        std::memcpy(dest, &packed, 4);
        outside = _mm_packs_epi16(outside, outside);
    }
    const unsigned marks = static_cast<unsigned>(_mm_movemask_epi8(outside)) & ((1u << N) - 1u);
    return marks == 0 ? N : __builtin_ctz(marks);
}

// The leading plain units of N to 2N - 1: two blocks of N, the second overlapping the first.
template <int N> int NarrowPlainPair(char* dest, const unsigned short* units, int count) {
    const int first = NarrowPlainBlock<N>(dest, units);
    if (first != N) {
        return first;
    }
    return count - N + NarrowPlainBlock<N>(dest + count - N, units + count - N);
}

// Narrows the units in 1..255 that lead the `count` units at `text` (all of which `dest` has
// room for) and answers how many they are: blocks of 16, the last one overlapping the one
// before, and for a shorter text two overlapping blocks of 8 or 4.
int NarrowPlainPrefix(char* dest, const unsigned short* text, int count) {
    if (count >= static_cast<int>(kBlock)) {
        int done = 0;
        while (done < count) {
            const int start = std::min(done, count - static_cast<int>(kBlock));
            const int plain = NarrowPlainBlock<kBlock>(dest + start, text + start);
            if (plain != static_cast<int>(kBlock)) {
                return start + plain;
            }
            done = start + static_cast<int>(kBlock);
        }
        return count;
    }
    if (count >= 8) {
        return NarrowPlainPair<8>(dest, text, count);
    }
    if (count >= 4) {
        return NarrowPlainPair<4>(dest, text, count);
    }
    int done = 0;
    while (done < count && text[done] - 1u <= 0xFEu) {
        dest[done] = static_cast<char>(text[done]);
        ++done;
    }
    return done;
}

} // namespace

int NarrowUtf16Sse2(char* dest, const unsigned short* text, int length, int limit) {
    int i = 0;
    int written = 0;
    for (;;) {
        // written <= i: the prefix stays within min(length, limit) bytes.
        const int plain =
            NarrowPlainPrefix(dest + written, text + i, std::min(length - i, limit - written));
        i += plain;
        written += plain;
        if (i == length || written == limit) {
            break;
        }
        const unsigned unit = text[i++];
        if (unit == 0) {
            break;
        }
        StepOverPair(unit, text, length, i);
        dest[written++] = '?';
    }
    dest[written] = '\0';
    return written;
}

const TextKernels kSse2Kernels = {"sse2", &Utf8ToUtf16Sse2, &NarrowUtf8, &NarrowUtf16Sse2};

} // namespace text
} // namespace qorutils

#endif
