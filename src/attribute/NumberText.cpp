#include "attribute/NumberText.h"

#include <charconv>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <locale.h>

namespace qorutils {
namespace {

bool IsSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// The rare texts left to the C library are read in the C locale, as the fast paths read every
// other text, so that a host's LC_NUMERIC never changes what a number text means.
locale_t CLocale() {
    static const locale_t c = newlocale(LC_ALL_MASK, "C", locale_t{});
    return c;
}

} // namespace

int FormatInteger(int value, char* out) {
    char* end = std::to_chars(out, out + kNumberTextSize - 1, value).ptr;
    *end = '\0';
    return static_cast<int>(end - out);
}

// std::to_chars with a precision writes what printf's "%.12g" writes in the C locale, rounding
// from the exact binary value; the test suite checks that byte for byte against snprintf.
int FormatReal(double value, char* out) {
    char* end =
        std::to_chars(out, out + kNumberTextSize - 1, value, std::chars_format::general, 12).ptr;
    *end = '\0';
    return static_cast<int>(end - out);
}

int ReadInteger(const char* text) {
    const char* p = text;
    while (IsSpace(*p)) {
        ++p;
    }
    const bool negative = *p == '-';
    if (*p == '-' || *p == '+') {
        ++p;
    }
    // Past 2^32 the value saturates anyway, so stop accumulating before 64 bits overflow.
    uint64_t magnitude = 0;
    for (; IsDigit(*p); ++p) {
        if (magnitude <= UINT32_MAX) {
            magnitude = magnitude * 10 + static_cast<uint64_t>(*p - '0');
        }
    }
    if (negative) {
        return magnitude >= 2147483648u ? INT_MIN : -static_cast<int>(magnitude);
    }
    return magnitude > INT_MAX ? INT_MAX : static_cast<int>(magnitude);
}

// Plain decimal texts go through std::from_chars, which rounds as strtod does. Everything
// else (hexadecimal, inf, nan, no number) is rare and left to sscanf itself, whose reading of
// those differs from strtod's in places ("0x" and "infin" read nothing at all).
double ReadReal(const char* text) {
    const char* p = text;
    while (IsSpace(*p)) {
        ++p;
    }
    const char* number = p;
    const bool negative = *p == '-';
    if (*p == '-' || *p == '+') {
        ++p;
    }
    const bool hex = p[0] == '0' && (p[1] == 'x' || p[1] == 'X');
    if ((IsDigit(p[0]) && !hex) || (p[0] == '.' && IsDigit(p[1]))) {
        double value = 0.0;
        auto [end, ec] = std::from_chars(p, p + std::strlen(p), value);
        (void)end;
        if (ec == std::errc()) {
            return negative ? -value : value;
        }
        // Out of range: strtod gives the infinity or the zero that "%lg" gives.
        return strtod_l(number, nullptr, CLocale());
    }
    const locale_t previous = uselocale(CLocale());
    double value = 0.0;
    const int read = std::sscanf(text, "%lg", &value);
    uselocale(previous);
    return read == 1 ? value : 0.0;
}

int RealToInteger(double value) {
    if (std::isnan(value)) {
        return 0;
    }
    if (value >= 2147483648.0) {
        return INT_MAX;
    }
    if (value <= -2147483649.0) {
        return INT_MIN;
    }
    return static_cast<int>(value);
}

} // namespace qorutils
