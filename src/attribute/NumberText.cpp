#include "attribute/NumberText.h"

#include <cfenv>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <locale.h>

namespace qorutils {
namespace {

// The rare texts left to the C library are read in the C locale, as the fast paths read every
// other text, so that a host's LC_NUMERIC never changes what a number text means.
locale_t CLocale() {
    static const locale_t c = newlocale(LC_ALL_MASK, "C", locale_t{});
    return c;
}

// std::from_chars and the C library round a text's number as the current rounding mode says;
// a text must mean the same number in every process, so it is read rounding to nearest, and a
// host's own rounding mode is put back afterwards.
class RoundToNearest {
public:
    RoundToNearest() : m_mode(std::fegetround()) {
        if (m_mode != FE_TONEAREST) {
            std::fesetround(FE_TONEAREST);
        }
    }
    ~RoundToNearest() {
        if (m_mode != FE_TONEAREST) {
            std::fesetround(m_mode);
        }
    }
    RoundToNearest(const RoundToNearest&) = delete;
    RoundToNearest& operator=(const RoundToNearest&) = delete;

private:
    int m_mode;
};

} // namespace

// Plain decimal texts go through std::from_chars, which rounds as strtod does. Everything
// else (hexadecimal, inf, nan, no number) is rare and left to sscanf itself, whose reading of
// those differs from strtod's in places ("0x" and "infin" read nothing at all).
double ReadReal(const char* text) {
    const RoundToNearest rounding;
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
        if (std::from_chars(p, p + std::strlen(p), value).ec == std::errc()) {
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

} // namespace qorutils
