#include "xml/XmlSupport.h"

#include "platform/Utf16Text.h"

#include <QorUtils/log/FILog.h>

#include <algorithm>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace qorutils {

namespace {

bool IsHighSurrogate(unsigned unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}

bool IsLowSurrogate(unsigned unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

// Code units narrowed per step of the fast path.
constexpr int k_block = 16;

#if defined(__SSE2__)
// Per unit: all ones when it is 0 or above 255, that is, when it does not narrow to the byte
// of its own value.
__m128i OutsidePlain(__m128i units) {
    const __m128i zero = _mm_setzero_si128();
    return _mm_or_si128(_mm_cmpeq_epi16(units, zero),
                        _mm_cmpgt_epi16(_mm_srli_epi16(units, 8), zero));
}
#endif

// Narrows N units (16, 8 or 4) as if all of them lay in 1..255, and answers how many leading
// ones really do: those bytes are right, the rest are overwritten by the caller. Most text is
// of that kind, and a block at a time costs a fraction of a loop of one unit a step; a unit
// outside the range costs one step of that loop, not the rest of its text.
template <int N> int NarrowPlainBlock(char* dest, const unsigned short* units) {
#if defined(__SSE2__)
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
#else
    int plain = 0;
    while (plain < N && units[plain] - 1u <= 0xFEu) {
        dest[plain] = static_cast<char>(units[plain]);
        ++plain;
    }
    return plain;
#endif
}

// The leading plain units of N to 2N - 1: two blocks of N, the second overlapping the first.
template <int N> int NarrowPlainPair(char* dest, const unsigned short* units, int count) {
    const int first = NarrowPlainBlock<N>(dest, units);
    if (first != N) {
        return first;
    }
    return count - N + NarrowPlainBlock<N>(dest + count - N, units + count - N);
}

bool IsPlain(unsigned unit) {
    return unit - 1u <= 0xFEu;
}

// Narrows the units in 1..255 that lead the `count` units at `text` (all of which `dest` has
// room for) and answers how many they are. They narrow one to one, and most texts hold no
// other: blocks of 16, the last one overlapping the one before, and for a shorter text two
// overlapping blocks of 8 or 4, leave no unit to a loop of one unit a step.
int NarrowPlainPrefix(char* dest, const unsigned short* text, int count) {
    if (count >= k_block) {
        int done = 0;
        while (done < count) {
            const int start = std::min(done, count - k_block);
            const int plain = NarrowPlainBlock<k_block>(dest + start, text + start);
            if (plain != k_block) {
                return start + plain;
            }
            done = start + k_block;
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
    while (done < count && IsPlain(text[done])) {
        dest[done] = static_cast<char>(text[done]);
        ++done;
    }
    return done;
}

// The byte that the character at `text` narrows to; moves `text` past it. Decodes as the
// reader does, so that a text narrowed from UTF-8 matches its UTF-16 form narrowed.
unsigned NarrowNextUtf8(const unsigned char*& text) {
    const unsigned byte = *text;
    if (byte < 0x80) {
        ++text;
        return byte;
    }
    // Two bytes, the accented letters of Latin scripts, inline (the NUL after a text stops a
    // sequence as any byte that is no continuation byte does).
    if (byte >= 0xC2 && byte <= 0xDF && (text[1] & 0xC0u) == 0x80u) {
        const unsigned code = (byte & 0x1Fu) << 6 | (text[1] & 0x3Fu);
        text += 2;
        return code <= 0xFF ? code : '?';
    }
    size_t length = 0;
    const uint32_t code = MSXML2::detail::DecodeUtf8Sequence(text, 4, length);
    text += length;
    return code <= 0xFF ? code : '?';
}

// NarrowUtf8 for a text ended by a NUL or the `stop` byte; leaves `next` where it stopped.
int NarrowUtf8Until(char* dest, const unsigned char*& next, char stop, int limit) {
    const auto end = static_cast<unsigned char>(stop);
    int written = 0;
    while (written < limit) {
        const unsigned byte = *next;
        // ASCII (but the NUL), most of a value, stays as it is.
        if (byte - 1u < 0x7Fu && byte != end) {
            dest[written++] = static_cast<char>(byte);
            ++next;
        } else if (byte == 0 || byte == end) {
            break;
        } else {
            dest[written++] = static_cast<char>(NarrowNextUtf8(next));
        }
    }
    dest[written] = '\0';
    return written;
}

// The whole formatted line, or false when it cannot be composed.
bool Compose(std::string& line, const char* format, va_list args) {
    va_list sizing;
    va_copy(sizing, args);
    const int size = std::vsnprintf(nullptr, 0, format, sizing);
    va_end(sizing);
    if (size < 0) {
        return false;
    }
    try {
        line.resize(static_cast<size_t>(size));
    } catch (const std::bad_alloc&) {
        return false;
    }
    std::vsnprintf(line.data(), line.size() + 1, format, args);
    return true;
}

} // namespace

int Narrow(char* dest, const unsigned short* text, int length, int limit) noexcept {
    if (text == nullptr || length < 0) {
        length = 0;
    }
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
        if (IsHighSurrogate(unit) && i < length && IsLowSurrogate(text[i])) {
            ++i;
        }
        dest[written++] = '?';
    }
    dest[written] = '\0';
    return written;
}

bool NarrowsTo(const unsigned short* text, int length, const char* expected, int limit) noexcept {
    if (text == nullptr || length < 0) {
        length = 0;
    }
    const auto* want = reinterpret_cast<const unsigned char*>(expected);
    int i = 0;
    int written = 0;
    for (; i < length && written < limit; ++written) {
        unsigned byte = text[i++];
        if (byte == 0) {
            break;
        }
        if (byte > 0xFF) {
            if (IsHighSurrogate(byte) && i < length && IsLowSurrogate(text[i])) {
                ++i;
            }
            byte = '?';
        }
        if (want[written] != byte) {
            return false;
        }
    }
    return want[written] == 0;
}

int NarrowUtf8(char* dest, const char* text, int limit) noexcept {
    const auto* next = reinterpret_cast<const unsigned char*>(text);
    return NarrowUtf8Until(dest, next, '\0', limit);
}

NarrowedRun NarrowUtf8Run(char* dest, const char*& src, const char* end, size_t capacity,
                          const char* readable) noexcept {
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
#if defined(__SSE2__)
        if (readable != nullptr && readable - src >= std::ptrdiff_t{k_narrowBlock}) {
            const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(dest + run.bytes), bytes);
            const unsigned high = static_cast<unsigned>(_mm_movemask_epi8(bytes));
            ascii = high == 0 ? k_narrowBlock : static_cast<size_t>(__builtin_ctz(high));
            if (ascii == k_narrowBlock && room > k_narrowBlock) {
                src += k_narrowBlock;
                run.bytes += k_narrowBlock;
                run.units += k_narrowBlock;
                continue;
            }
            ascii = std::min(ascii, room);
        } else
#endif
        {
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
        // One character beyond ASCII: two bytes (the accented letters of Latin scripts)
        // inline, the rest decoded; two units when it is beyond the 16-bit range.
        const auto lead = static_cast<unsigned char>(src[0]);
        if (lead >= 0xC2 && lead <= 0xDF && end - src >= 2 &&
            (static_cast<unsigned char>(src[1]) & 0xC0u) == 0x80u) {
            const unsigned code =
                (lead & 0x1Fu) << 6 | (static_cast<unsigned char>(src[1]) & 0x3Fu);
            dest[run.bytes++] = static_cast<char>(code <= 0xFF ? code : '?');
            src += 2;
            ++run.units;
            continue;
        }
        size_t length = 0;
        const uint32_t code = MSXML2::detail::DecodeUtf8Sequence(
            reinterpret_cast<const unsigned char*>(src), static_cast<size_t>(end - src), length);
        const size_t units = code < 0x10000 ? 1 : 2;
        if (capacity - run.units < units) {
            return run;
        }
        dest[run.bytes++] = static_cast<char>(code <= 0xFF ? code : '?');
        src += length;
        run.units += units;
    }
}

int NarrowExpatLocalName(char* dest, const char* name, char separator, int limit) noexcept {
    // A name in a namespace has its URI first, and the local name after the separator that
    // ends it.
    const char* end = strchrnul(name, separator);
    const char* local = name;
    if (*end == separator) {
        local = end + 1;
        end = strchrnul(local, separator);
    }
    // Most names are ASCII, which narrows to itself.
    const auto length = static_cast<size_t>(end - local);
    if (length <= static_cast<size_t>(limit) && MSXML2::detail::IsAscii(local, length)) {
        std::memcpy(dest, local, length);
        dest[length] = '\0';
        return static_cast<int>(length);
    }
    const auto* next = reinterpret_cast<const unsigned char*>(local);
    return NarrowUtf8Until(dest, next, separator, limit);
}

bool Utf8NarrowsTo(const char* text, char stop, const char* expected, int limit) noexcept {
    const auto* next = reinterpret_cast<const unsigned char*>(text);
    const auto* want = reinterpret_cast<const unsigned char*>(expected);
    const auto end = static_cast<unsigned char>(stop);
    int written = 0;
    for (; written < limit; ++written) {
        unsigned byte = *next;
        if (byte == 0 || byte == end) {
            break;
        }
        if (byte < 0x80) {
            ++next;
        } else {
            byte = NarrowNextUtf8(next);
        }
        if (byte != want[written]) {
            return false;
        }
    }
    return want[written] == 0;
}

int BoundedLength(const unsigned short* text, int limit) noexcept {
    int length = 0;
    if (text != nullptr) {
        while (length < limit && text[length] != 0) {
            ++length;
        }
    }
    return length;
}

void LogLine(int level, const char* format, ...) noexcept {
    std::string line;
    va_list args;
    va_start(args, format);
    const bool composed = Compose(line, format, args);
    va_end(args);
    if (!composed) {
        return;
    }
    if (level == k_errorLevel) {
        FILogErr(line.c_str());
    } else {
        FILogTrace(line.c_str(), level);
    }
}

} // namespace qorutils
