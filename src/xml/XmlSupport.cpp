#include "xml/XmlSupport.h"

#include <QorUtils/log/FILog.h>

#include <cstdarg>
#include <cstdio>
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

// Narrows a block of k_block units when all of them lie in 1..255 (they then narrow one to
// one); otherwise writes nothing and answers false. Most text is of that kind, and doing it a
// block at a time costs a fraction of the unit-by-unit loop.
bool NarrowPlainBlock(char* dest, const unsigned short* units) {
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    const __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i*>(units));
    const __m128i second = _mm_loadu_si128(reinterpret_cast<const __m128i*>(units + 8));
    const __m128i above255 = _mm_or_si128(_mm_srli_epi16(first, 8), _mm_srli_epi16(second, 8));
    const __m128i zeros = _mm_or_si128(_mm_cmpeq_epi16(first, zero), _mm_cmpeq_epi16(second, zero));
    if (_mm_movemask_epi8(_mm_or_si128(_mm_cmpgt_epi16(above255, zero), zeros)) != 0) {
        return false;
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dest), _mm_packus_epi16(first, second));
    return true;
#else
    unsigned outside = 0;
    for (int k = 0; k < k_block; ++k) {
        outside |= static_cast<unsigned>(units[k] - 1u > 0xFEu);
    }
    if (outside != 0) {
        return false;
    }
    for (int k = 0; k < k_block; ++k) {
        dest[k] = static_cast<char>(units[k]);
    }
    return true;
#endif
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
    const int plain = length < limit ? length : limit;
    int i = 0;
    while (i + k_block <= plain && NarrowPlainBlock(dest + i, text + i)) {
        i += k_block;
    }
    int written = i;
    for (; i < length && written < limit; ++i) {
        const unsigned unit = text[i];
        if (unit <= 0xFF) {
            if (unit == 0) {
                break;
            }
            dest[written++] = static_cast<char>(unit);
            continue;
        }
        if (IsHighSurrogate(unit) && i + 1 < length && IsLowSurrogate(text[i + 1])) {
            ++i;
        }
        dest[written++] = '?';
    }
    dest[written] = '\0';
    return written;
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
