// Narrowing from UTF-8 a block at a time, characters beyond ASCII included, without a branch
// that depends on the text: every byte is classed by its value (ASCII, continuation, lead of
// two, three or four bytes), a lead of C2 or C3 and its continuation make the byte of their
// character, any other lead becomes '?', and a shuffle (SSSE3) moves the bytes that begin a
// character together. A block ends before a character that goes on past it. What makes a
// sequence malformed (a continuation where none is due or none where one is, an overlong form,
// a surrogate, a code point beyond U+10FFFF) is only noted on the way; a run that had any is
// narrowed again by the SSE2 kernel, which decodes malformed bytes as the plain one does. The
// SSSE3 set takes blocks of 16 bytes, the AVX2 set blocks of 32. Each function carries its
// instruction set as a target attribute: the file builds for every x86-64 processor, and the
// choice among the sets (TextKernels.cpp) runs only what the processor has.
#include "text/KernelSets.h"

#if defined(__x86_64__)

#include <immintrin.h>

#include <cstdint>

namespace qorutils {
namespace text {
namespace {

// For each 8-bit mask of the bytes to keep: a shuffle that moves them, in order, to the front
// (the rest of its indices 0x80, which the shuffle makes zero), and their number.
struct Compaction {
    uint64_t shuffle[256];
    uint8_t count[256];
};

constexpr Compaction MakeCompaction() {
    Compaction table{};
    for (unsigned mask = 0; mask < 256; ++mask) {
        uint64_t shuffle = 0x8080808080808080u;
        unsigned kept = 0;
        for (unsigned bit = 0; bit < 8; ++bit) {
            if ((mask >> bit & 1u) != 0) {
                shuffle &= ~(uint64_t{0xFF} << (8 * kept));
                shuffle |= uint64_t{bit} << (8 * kept);
                ++kept;
            }
        }
        table.shuffle[mask] = shuffle;
        table.count[mask] = static_cast<uint8_t>(kept);
    }
    return table;
}

constexpr Compaction kCompaction = MakeCompaction();

// The sequences that are malformed by their lead and the byte after it, as flags: one table by
// the lead's high half, one by its low half, one by the next byte's high half; a pair is
// malformed when the three share a flag. C0 and C1 before a continuation (overlong),
// E0 before 80-9F (overlong), ED before A0-BF (a surrogate), F0 before 80-8F (overlong),
// F4 before 90-BF and F5-FF before any continuation (beyond U+10FFFF).
enum : uint8_t {
    kOverlong2 = 1,
    kOverlong3 = 2,
    kSurrogate = 4,
    kOverlong4 = 8,
    kBeyondF4 = 16,
    kBeyondF5 = 32,
};

constexpr uint8_t kLeadHigh[16] = {0,
                                   0,
                                   0,
                                   0,
                                   0,
                                   0,
                                   0,
                                   0,
                                   0,
                                   0,
                                   0,
                                   0,
                                   kOverlong2,
                                   0,
                                   kOverlong3 | kSurrogate,
                                   kOverlong4 | kBeyondF4 | kBeyondF5};
constexpr uint8_t kLeadLow[16] = {kOverlong2 | kOverlong3 | kOverlong4,
                                  kOverlong2,
                                  0,
                                  0,
                                  kBeyondF4,
                                  kBeyondF5,
                                  kBeyondF5,
                                  kBeyondF5,
                                  kBeyondF5,
                                  kBeyondF5,
                                  kBeyondF5,
                                  kBeyondF5,
                                  kBeyondF5,
                                  kSurrogate | kBeyondF5,
                                  kBeyondF5,
                                  kBeyondF5};
constexpr uint8_t kNextHigh[16] = {0,
                                   0,
                                   0,
                                   0,
                                   0,
                                   0,
                                   0,
                                   0,
                                   kOverlong2 | kOverlong3 | kOverlong4 | kBeyondF5,
                                   kOverlong2 | kOverlong3 | kBeyondF4 | kBeyondF5,
                                   kOverlong2 | kSurrogate | kBeyondF4 | kBeyondF5,
                                   kOverlong2 | kSurrogate | kBeyondF4 | kBeyondF5,
                                   0,
                                   0,
                                   0,
                                   0};

// The top four bits of a block's bytes, as masks (bit i for byte i): they class a byte as
// ASCII (0), a continuation (10), or the lead of two (110), three (1110) or four bytes (11110).
struct Classes {
    uint32_t bit7;
    uint32_t bit6;
    uint32_t bit5;
    uint32_t bit4;
};

// The running bookkeeping of a run of blocks: the continuations due in the next block (from
// the leads of a character that goes on past the last one), and whether any sequence so far
// was malformed.
struct Sequences {
    uint64_t due = 0;
    uint32_t errors = 0;
};

// Checks the continuations among the first `size` bytes of a block against its leads and those
// carried in, and answers the bytes that begin a character; `lead4` gets the leads of four
// bytes (two code units each).
inline uint32_t Check(const Classes& classes, size_t size, Sequences& sequences, uint32_t& lead4) {
    const auto within = static_cast<uint32_t>((uint64_t{1} << size) - 1u);
    const uint32_t continuation = classes.bit7 & ~classes.bit6 & within;
    const uint32_t lead = classes.bit7 & classes.bit6 & within;
    const uint32_t lead3 = lead & classes.bit5;
    lead4 = lead3 & classes.bit4;
    const uint64_t due =
        (uint64_t{lead} << 1 | uint64_t{lead3} << 2 | uint64_t{lead4} << 3) | sequences.due;
    sequences.errors |= (static_cast<uint32_t>(due) ^ continuation) & within;
    sequences.due = due >> size;
    return ~continuation & within;
}

__attribute__((target("ssse3"))) inline unsigned MaskOf(__m128i bytes) {
    return static_cast<unsigned>(_mm_movemask_epi8(bytes));
}

__attribute__((target("ssse3"))) inline __m128i Table16(const uint8_t* values) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(values));
}

// Per byte: the flags of the pair that `block` and `next` (next[i] is the byte after
// block[i]) make; zero but for malformed pairs.
__attribute__((target("ssse3"))) inline __m128i MalformedPairs(__m128i block, __m128i next) {
    const __m128i low = _mm_set1_epi8(0x0F);
    return _mm_and_si128(
        _mm_and_si128(
            _mm_shuffle_epi8(Table16(kLeadHigh), _mm_and_si128(_mm_srli_epi16(block, 4), low)),
            _mm_shuffle_epi8(Table16(kLeadLow), _mm_and_si128(block, low))),
        _mm_shuffle_epi8(Table16(kNextHigh), _mm_and_si128(_mm_srli_epi16(next, 4), low)));
}

// Narrows the block of 16 bytes at `src`, of which the first `size` belong to the run (all of
// them when kWhole): writes 16 bytes at `dest`, the first ones the narrowed characters that
// begin in the block (one that goes on past it included), and answers their number and their
// code units. `malformed` gathers the flags of malformed pairs.
template <bool kWhole>
__attribute__((target("ssse3"))) inline uint32_t
NarrowBlock16(const char* src, size_t size, char* dest, Sequences& sequences, __m128i& malformed,
              uint32_t& units) {
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src));
    const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 1));
    const Classes classes = {MaskOf(block), MaskOf(_mm_add_epi8(block, block)),
                             MaskOf(_mm_slli_epi16(block, 2)), MaskOf(_mm_slli_epi16(block, 3))};
    uint32_t lead4 = 0;
    const uint32_t keep = Check(classes, kWhole ? 16 : size, sequences, lead4);
    __m128i pairs = MalformedPairs(block, next);
    if (!kWhole) {
        pairs = _mm_and_si128(pairs, _mm_cmpgt_epi8(_mm_set1_epi8(static_cast<char>(size)),
                                                    _mm_setr_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10,
                                                                  11, 12, 13, 14, 15)));
    }
    malformed = _mm_or_si128(malformed, pairs);
    // ASCII stays; a lead of two bytes up to C3 (bits 5 to 2 clear; C0 and C1 are malformed)
    // and its continuation make a character up to U+00FF, the byte of its value; any other
    // lead is '?'. Continuations are dropped.
    const __m128i ascii = _mm_cmpgt_epi8(block, _mm_set1_epi8(-1));
    const __m128i small =
        _mm_cmpeq_epi8(_mm_and_si128(block, _mm_set1_epi8(0x3C)), _mm_setzero_si128());
    const __m128i value = _mm_or_si128(_mm_slli_epi16(_mm_and_si128(block, _mm_set1_epi8(3)), 6),
                                       _mm_and_si128(next, _mm_set1_epi8(0x3F)));
    __m128i narrowed =
        _mm_or_si128(_mm_and_si128(small, value), _mm_andnot_si128(small, _mm_set1_epi8('?')));
    narrowed = _mm_or_si128(_mm_and_si128(ascii, block), _mm_andnot_si128(ascii, narrowed));
    const __m128i shuffle =
        _mm_add_epi8(_mm_set_epi64x(static_cast<long long>(kCompaction.shuffle[keep >> 8]),
                                    static_cast<long long>(kCompaction.shuffle[keep & 0xFF])),
                     _mm_set_epi64x(0x0808080808080808, 0));
    const __m128i packed = _mm_shuffle_epi8(narrowed, shuffle);
    const unsigned first = kCompaction.count[keep & 0xFF];
    _mm_storel_epi64(reinterpret_cast<__m128i*>(dest), packed);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(dest + first), _mm_unpackhi_epi64(packed, packed));
    const uint32_t chars = first + kCompaction.count[keep >> 8];
    units = chars + kCompaction.count[lead4 & 0xFF] + kCompaction.count[lead4 >> 8];
    return chars;
}

__attribute__((target("avx2"))) inline uint32_t MaskOf(__m256i bytes) {
    return static_cast<uint32_t>(_mm256_movemask_epi8(bytes));
}

__attribute__((target("avx2"))) inline __m256i Table32(const uint8_t* values) {
    return _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(values)));
}

__attribute__((target("avx2"))) inline __m256i MalformedPairs(__m256i block, __m256i next) {
    const __m256i low = _mm256_set1_epi8(0x0F);
    return _mm256_and_si256(
        _mm256_and_si256(_mm256_shuffle_epi8(Table32(kLeadHigh),
                                             _mm256_and_si256(_mm256_srli_epi16(block, 4), low)),
                         _mm256_shuffle_epi8(Table32(kLeadLow), _mm256_and_si256(block, low))),
        _mm256_shuffle_epi8(Table32(kNextHigh), _mm256_and_si256(_mm256_srli_epi16(next, 4), low)));
}

// NarrowBlock16 for a block of 32 bytes.
template <bool kWhole>
__attribute__((target("avx2,popcnt"))) inline uint32_t
NarrowBlock32(const char* src, size_t size, char* dest, Sequences& sequences, __m256i& malformed,
              uint32_t& units) {
    const __m256i block = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src));
    const __m256i next = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + 1));
    const Classes classes = {MaskOf(block), MaskOf(_mm256_add_epi8(block, block)),
                             MaskOf(_mm256_slli_epi16(block, 2)),
                             MaskOf(_mm256_slli_epi16(block, 3))};
    uint32_t lead4 = 0;
    const uint32_t keep = Check(classes, kWhole ? 32 : size, sequences, lead4);
    __m256i pairs = MalformedPairs(block, next);
    if (!kWhole) {
        pairs = _mm256_and_si256(
            pairs, _mm256_cmpgt_epi8(_mm256_set1_epi8(static_cast<char>(size)),
                                     _mm256_setr_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13,
                                                      14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24,
                                                      25, 26, 27, 28, 29, 30, 31)));
    }
    malformed = _mm256_or_si256(malformed, pairs);
    const __m256i small =
        _mm256_cmpeq_epi8(_mm256_and_si256(block, _mm256_set1_epi8(0x3C)), _mm256_setzero_si256());
    const __m256i value =
        _mm256_or_si256(_mm256_slli_epi16(_mm256_and_si256(block, _mm256_set1_epi8(3)), 6),
                        _mm256_and_si256(next, _mm256_set1_epi8(0x3F)));
    // ASCII has its top bit clear: blendv keeps it as it is.
    const __m256i narrowed =
        _mm256_blendv_epi8(block, _mm256_blendv_epi8(_mm256_set1_epi8('?'), value, small), block);
    const __m256i shuffle = _mm256_add_epi8(
        _mm256_set_epi64x(static_cast<long long>(kCompaction.shuffle[keep >> 24]),
                          static_cast<long long>(kCompaction.shuffle[keep >> 16 & 0xFF]),
                          static_cast<long long>(kCompaction.shuffle[keep >> 8 & 0xFF]),
                          static_cast<long long>(kCompaction.shuffle[keep & 0xFF])),
        _mm256_set_epi64x(0x0808080808080808, 0, 0x0808080808080808, 0));
    const __m256i packed = _mm256_shuffle_epi8(narrowed, shuffle);
    const __m128i low = _mm256_castsi256_si128(packed);
    const __m128i high = _mm256_extracti128_si256(packed, 1);
    const unsigned first = kCompaction.count[keep & 0xFF];
    const unsigned second = first + kCompaction.count[keep >> 8 & 0xFF];
    const unsigned third = second + kCompaction.count[keep >> 16 & 0xFF];
    _mm_storel_epi64(reinterpret_cast<__m128i*>(dest), low);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(dest + first), _mm_unpackhi_epi64(low, low));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(dest + second), high);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(dest + third), _mm_unpackhi_epi64(high, high));
    const uint32_t chars = third + kCompaction.count[keep >> 24];
    units = chars + static_cast<uint32_t>(__builtin_popcount(lead4));
    return chars;
}

// Whether `count` bytes may be read at `src`: they lie before `end`, or before `readable`.
inline bool Readable(const char* src, const char* end, const char* readable, size_t count) {
    return static_cast<size_t>(end - src) >= count ||
           (readable != nullptr && readable - src >= static_cast<std::ptrdiff_t>(count));
}

// After the blocks: a character that went on past the last one is taken back (its lead is
// among the three bytes before `src`, its narrowed byte the last one written), to be narrowed
// whole; then the rest goes one character at a time. A run in which a block held a malformed
// sequence is narrowed again, whole, by the SSE2 kernel.
inline NarrowedRun Finish(char* dest, NarrowedRun run, const char*& src, const char* start,
                          const char* end, size_t capacity, const char* readable,
                          const Sequences& sequences, bool malformed) {
    if (sequences.errors != 0 || malformed) {
        src = start;
        return kSse2Kernels.narrowUtf8(dest, src, end, capacity, readable);
    }
    if (sequences.due != 0) {
        do {
            --src;
        } while (IsContinuation(static_cast<unsigned char>(*src)));
        run.bytes -= 1;
        run.units -= static_cast<unsigned char>(*src) >= 0xF0 ? 2 : 1;
    }
    while (src != end && run.units != capacity && NarrowCharacter(dest, run, src, end, capacity)) {
    }
    return run;
}

// Whether a block of `width` bytes may start with `used` of `capacity` units taken: a
// well-formed block gives at most one unit a byte, and one more when the lead of a four-byte
// character ends it (its pair is counted there, its other bytes in the next block).
inline bool RoomForBlock(size_t capacity, size_t used, size_t width) {
    return capacity - used > width;
}

// Whole blocks while the byte after each lies in the run and their units fit, then the rest as
// one block when the byte after it may be read. The blocks stop at the first malformed
// sequence found.
__attribute__((target("ssse3"))) NarrowedRun NarrowUtf8Ssse3(char* dest, const char*& src,
                                                             const char* end, size_t capacity,
                                                             const char* readable) {
    constexpr size_t kWidth = 16;
    const char* const start = src;
    const char* at = src;
    NarrowedRun run{0, 0};
    Sequences sequences;
    __m128i malformed = _mm_setzero_si128();
    uint32_t units = 0;
    while (sequences.errors == 0 && static_cast<size_t>(end - at) > kWidth &&
           RoomForBlock(capacity, run.units, kWidth)) {
        run.bytes += NarrowBlock16<true>(at, kWidth, dest + run.bytes, sequences, malformed, units);
        run.units += units;
        at += kWidth;
    }
    if (sequences.errors == 0 && at != end && RoomForBlock(capacity, run.units, kWidth) &&
        Readable(at, end, readable, kWidth + 1)) {
        const auto size = static_cast<size_t>(end - at);
        run.bytes += NarrowBlock16<false>(at, size, dest + run.bytes, sequences, malformed, units);
        run.units += units;
        at += size;
    }
    src = at;
    return Finish(dest, run, src, start, end, capacity, readable, sequences,
                  _mm_movemask_epi8(_mm_cmpeq_epi8(malformed, _mm_setzero_si128())) != 0xFFFF);
}

__attribute__((target("avx2,popcnt"))) NarrowedRun NarrowUtf8Avx2(char* dest, const char*& src,
                                                                  const char* end, size_t capacity,
                                                                  const char* readable) {
    constexpr size_t kWidth = 32;
    const char* const start = src;
    const char* at = src;
    NarrowedRun run{0, 0};
    Sequences sequences;
    __m256i malformed = _mm256_setzero_si256();
    uint32_t units = 0;
    while (sequences.errors == 0 && static_cast<size_t>(end - at) > kWidth &&
           RoomForBlock(capacity, run.units, kWidth)) {
        run.bytes += NarrowBlock32<true>(at, kWidth, dest + run.bytes, sequences, malformed, units);
        run.units += units;
        at += kWidth;
    }
    if (sequences.errors == 0 && at != end && RoomForBlock(capacity, run.units, kWidth) &&
        Readable(at, end, readable, kWidth + 1)) {
        const auto size = static_cast<size_t>(end - at);
        run.bytes += NarrowBlock32<false>(at, size, dest + run.bytes, sequences, malformed, units);
        run.units += units;
        at += size;
    }
    src = at;
    return Finish(dest, run, src, start, end, capacity, readable, sequences,
                  !_mm256_testz_si256(malformed, malformed));
}

// A block of 32 bytes with the AVX-512 instructions on 256-bit registers (which, unlike 512-bit
// ones, do not lower the processor's clock): classes as masks, the malformed pairs tested into a
// mask, and one instruction that compacts the narrowed bytes.
#define QORUTILS_AVX512 __attribute__((target("avx512f,avx512bw,avx512vl,avx512vbmi2,popcnt,bmi2")))

template <bool kWhole>
QORUTILS_AVX512 inline uint32_t NarrowBlockCompress(const char* src, size_t size, char* dest,
                                                    Sequences& sequences, uint32_t& units) {
    const __m256i block = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src));
    const __m256i next = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + 1));
    const Classes classes = {_mm256_movepi8_mask(block),
                             _mm256_movepi8_mask(_mm256_add_epi8(block, block)),
                             _mm256_movepi8_mask(_mm256_slli_epi16(block, 2)),
                             _mm256_movepi8_mask(_mm256_slli_epi16(block, 3))};
    uint32_t lead4 = 0;
    const uint32_t keep = Check(classes, kWhole ? 32 : size, sequences, lead4);
    const __m256i pairs = MalformedPairs(block, next);
    sequences.errors |= _mm256_test_epi8_mask(pairs, pairs) & keep;
    const uint32_t small = _mm256_cmpeq_epi8_mask(_mm256_and_si256(block, _mm256_set1_epi8(0x3C)),
                                                  _mm256_setzero_si256());
    const __m256i value =
        _mm256_or_si256(_mm256_slli_epi16(_mm256_and_si256(block, _mm256_set1_epi8(3)), 6),
                        _mm256_and_si256(next, _mm256_set1_epi8(0x3F)));
    const __m256i narrowed = _mm256_mask_blend_epi8(
        classes.bit7, block, _mm256_mask_blend_epi8(small, _mm256_set1_epi8('?'), value));
    const auto chars = static_cast<uint32_t>(__builtin_popcount(keep));
    _mm256_mask_storeu_epi8(dest, _bzhi_u32(~0u, chars),
                            _mm256_maskz_compress_epi8(keep, narrowed));
    units = chars + static_cast<uint32_t>(__builtin_popcount(lead4));
    return chars;
}

QORUTILS_AVX512 NarrowedRun NarrowUtf8Avx512(char* dest, const char*& src, const char* end,
                                             size_t capacity, const char* readable) {
    constexpr size_t kWidth = 32;
    const char* const start = src;
    const char* at = src;
    NarrowedRun run{0, 0};
    Sequences sequences;
    uint32_t units = 0;
    while (sequences.errors == 0 && static_cast<size_t>(end - at) > kWidth &&
           RoomForBlock(capacity, run.units, kWidth)) {
        run.bytes += NarrowBlockCompress<true>(at, kWidth, dest + run.bytes, sequences, units);
        run.units += units;
        at += kWidth;
    }
    if (sequences.errors == 0 && at != end && RoomForBlock(capacity, run.units, kWidth) &&
        Readable(at, end, readable, kWidth + 1)) {
        const auto size = static_cast<size_t>(end - at);
        run.bytes += NarrowBlockCompress<false>(at, size, dest + run.bytes, sequences, units);
        run.units += units;
        at += size;
    }
    src = at;
    return Finish(dest, run, src, start, end, capacity, readable, sequences, false);
}

#undef QORUTILS_AVX512

} // namespace

const TextKernels kSsse3Kernels = {"ssse3", &Utf8ToUtf16Sse2, &NarrowUtf8Ssse3, &NarrowUtf16Sse2};
const TextKernels kAvx2Kernels = {"avx2", &Utf8ToUtf16Sse2, &NarrowUtf8Avx2, &NarrowUtf16Sse2};
const TextKernels kAvx512Kernels = {"avx512", &Utf8ToUtf16Sse2, &NarrowUtf8Avx512,
                                    &NarrowUtf16Sse2};

} // namespace text
} // namespace qorutils

#endif
