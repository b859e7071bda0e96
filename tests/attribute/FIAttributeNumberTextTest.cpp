// The value writes numbers byte for byte as snprintf "%d" / "%.12lg" and reads texts as
// sscanf "%d" / "%lg" (an out-of-range integer saturates instead of wrapping). Checked here
// against the C library itself over large generated sets.
#include <QorUtils/attribute/FIAttribute.h>

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cfenv>
#include <cfloat>
#include <climits>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr int kScale = qortest::kSanitized ? 4 : 1;

// A million values in the normal build; a quarter under the sanitizers, which run ten times
// slower.
constexpr int kRealCount = 1000000 / kScale;
constexpr int kTextCount = 400000 / kScale;

double FromBits(uint64_t bits) {
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

std::string Printf(const char* format, double value) {
    char text[512];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

// Random decimals as a person would type them: up to 17 digits, a point, an exponent.
double RandomDecimal(std::mt19937_64& random) {
    const int digits = 1 + static_cast<int>(random() % 17);
    std::string text;
    for (int i = 0; i < digits; ++i) {
        text += static_cast<char>('0' + random() % 10);
    }
    text.insert(random() % (text.size() + 1), ".");
    text += "e" + std::to_string(static_cast<int>(random() % 80) - 40);
    return std::strtod(text.c_str(), nullptr);
}

// Values that sit exactly halfway between two 12-digit texts: N + m / 2^j with 13 significant
// digits, the last one a 5.
double RoundingTie(std::mt19937_64& random) {
    const int j = 1 + static_cast<int>(random() % 12);
    const int integerDigits = 13 - j;
    uint64_t low = 1;
    for (int i = 1; i < integerDigits; ++i) {
        low *= 10;
    }
    const uint64_t n = low + random() % (9 * low);
    const uint64_t m = (random() % (uint64_t{1} << j)) | 1;
    return std::ldexp(static_cast<double>((n << j) + m), -j);
}

std::vector<double> RealsToWrite() {
    std::mt19937_64 random(20240611);
    std::vector<double> values;
    for (int e = -330; e <= 310; ++e) {
        const double power = std::strtod(("1e" + std::to_string(e)).c_str(), nullptr);
        for (double v : {power, std::nextafter(power, 0.0), std::nextafter(power, HUGE_VAL)}) {
            values.push_back(v);
            values.push_back(-v);
        }
    }
    for (double v : {0.0, -0.0, HUGE_VAL, -HUGE_VAL, std::nan(""), -std::nan(""), DBL_MIN, DBL_MAX,
                     DBL_TRUE_MIN, 0.5, 1.0 / 3.0, 2.0 / 3.0, 999999999999.5, 9999999999995.0,
                     0.000099999999999995, 123456789012.5}) {
        values.push_back(v);
    }
    while (values.size() < static_cast<size_t>(kRealCount)) {
        switch (values.size() % 5) {
        case 0:
            values.push_back(FromBits(random()));
            break;
        case 1:
            values.push_back(RandomDecimal(random));
            break;
        case 2:
            values.push_back(RoundingTie(random) * ((random() & 1) ? 1 : -1));
            break;
        case 3:
            // Thirteen-digit integers ending in 5 tie at twelve digits too.
            values.push_back(
                static_cast<double>((1000000000000 + random() % 9000000000000) / 10 * 10 + 5));
            break;
        default:
            values.push_back(static_cast<double>(static_cast<int64_t>(random())) /
                             static_cast<double>(uint64_t{1} << (random() % 64)));
        }
    }
    return values;
}

// Every way a text may (not) start with a number.
std::vector<std::string> TextsToRead() {
    std::vector<std::string> texts = {"",
                                      " ",
                                      "0",
                                      "-0",
                                      "+0",
                                      "12abc",
                                      " 42abc",
                                      "\t\n\v\f\r 7",
                                      "3.9",
                                      "-3.9",
                                      ".5",
                                      "-.5",
                                      "5.",
                                      "1.e5",
                                      "1..5",
                                      "1e",
                                      "1e+",
                                      "1e-",
                                      "1e+x",
                                      "1.5e+x",
                                      "+.e5",
                                      ".",
                                      "-",
                                      "+",
                                      "+-5",
                                      "- 5",
                                      "e5",
                                      "0x",
                                      "0X",
                                      "0xg",
                                      "0x10",
                                      "0x1p3",
                                      "0x1P-2",
                                      "0x.8",
                                      "0x.p1",
                                      "0x1p",
                                      "-0x",
                                      "00x1",
                                      "0x1e",
                                      "inf",
                                      "-inf",
                                      "+INF",
                                      "infinity",
                                      "Infinity",
                                      "infin",
                                      "infinx",
                                      "in",
                                      "i",
                                      "nan",
                                      "-nan",
                                      "NaN",
                                      "nan(",
                                      "nan()",
                                      "nan(abc)",
                                      "nan(12)",
                                      "nanx",
                                      "1e400",
                                      "-1e400",
                                      "1e-400",
                                      "-1e-400",
                                      "4e-324",
                                      "2.4703282292062327e-324",
                                      "2.4703282292062328e-324",
                                      "1.7976931348623157e308",
                                      "1.7976931348623159e308",
                                      "2.2250738585072011e-308",
                                      "2147483647",
                                      "2147483648",
                                      "-2147483648",
                                      "-2147483649",
                                      "4294967296",
                                      "4294967295",
                                      "-4294967296",
                                      "99999999999999999999",
                                      "-99999999999999999999",
                                      "18446744073709551616",
                                      "9223372036854775808",
                                      "0000000000000000000000000000012",
                                      "1,5",
                                      "1 5",
                                      "\xa0"
                                      "5",
                                      "abc"};
    std::mt19937_64 random(77);
    const std::string prefixes[] = {"", "", " ", "\t\n ", "+", "-", " -", "-+"};
    const std::string suffixes[] = {"", "", "x", "e", "e+", "e-", "5", ".", "abc", " 1", "e5"};
    const char* formats[] = {"%.17g", "%.12g", "%a", "%e", "%.0f", "%.3f", "%g"};
    const char alphabet[] = " +-.0123456789eExXpPaAfFiInNtTyY()";
    while (texts.size() < static_cast<size_t>(kTextCount)) {
        const size_t kind = texts.size() % 4;
        if (kind == 3) {
            std::string text;
            const size_t length = 1 + random() % 12;
            for (size_t i = 0; i < length; ++i) {
                text += alphabet[random() % (sizeof alphabet - 1)];
            }
            texts.push_back(text);
            continue;
        }
        const double value = kind == 0 ? FromBits(random()) : RandomDecimal(random);
        std::string text = Printf(formats[random() % 7], std::fabs(value));
        if (kind == 2 && random() % 8 == 0) {
            // Long runs of digits that no double holds exactly.
            text = std::string(1 + random() % 400, static_cast<char>('1' + random() % 9)) + text;
        }
        texts.push_back(prefixes[random() % 8] + text + suffixes[random() % 11]);
    }
    return texts;
}

// What sscanf "%d" gives, with an integer beyond 32 bits saturated by its sign.
int ExpectedInteger(const std::string& text) {
    int value = 0;
    if (std::sscanf(text.c_str(), "%d", &value) != 1) {
        return 0;
    }
    const char* p = text.c_str();
    while (*p == ' ' || (*p >= '\t' && *p <= '\r')) {
        ++p;
    }
    errno = 0;
    const long long wide = std::strtoll(p, nullptr, 10);
    if (errno == ERANGE || wide > INT_MAX || wide < INT_MIN) {
        return (wide < 0) ? INT_MIN : INT_MAX;
    }
    return value;
}

// What "%lg" reads. A decimal number followed by an "e" without digits ("1e", "1.5e+x") reads
// as the number before the "e", as strtod reads it and as glibc's sscanf read it up to 2.41;
// glibc 2.43's sscanf fails such a text whole (the C standard's scanf cannot take the "e"
// back), but the value keeps the reading stored files were written with.
double ExpectedReal(const std::string& text) {
    double value = 0.0;
    if (std::sscanf(text.c_str(), "%lg", &value) == 1) {
        return value;
    }
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return end != text.c_str() && (*end == 'e' || *end == 'E') ? value : 0.0;
}

std::string Escaped(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        char hex[8];
        std::snprintf(hex, sizeof hex, c < 0x20 || c >= 0x7f ? "\\x%02x" : "%c", c);
        out += hex;
    }
    return "'" + out + "'";
}

} // namespace

TEST(FIAttributeNumberText, IntegersWriteAsPercentD) {
    // Every length and sign, the neighbourhood of every power of ten, and random bits.
    std::vector<int> values = {INT_MAX, INT_MIN, INT_MIN + 1};
    for (long long p = 1; p <= 1000000000; p *= 10) {
        for (long long v = p - 1000; v <= p + 1000; ++v) {
            values.push_back(static_cast<int>(v));
            values.push_back(static_cast<int>(-v));
        }
    }
    std::mt19937 random(5);
    while (values.size() < static_cast<size_t>(kRealCount)) {
        const int bits = static_cast<int>(random());
        values.push_back(values.size() % 2 == 0 ? bits : bits >> (random() % 32));
    }
    int mismatches = 0;
    for (int v : values) {
        char expected[32];
        std::snprintf(expected, sizeof expected, "%d", v);
        FIAttribute value(v);
        if (std::strcmp(value.ChangeType(FIAttribute::FT_SHORT_TEXT).c_str(), expected) != 0 &&
            ++mismatches <= 10) {
            ADD_FAILURE() << v << " gave '" << value.c_str() << "', \"%d\" gives '" << expected
                          << "'";
        }
    }
    EXPECT_EQ(mismatches, 0);
}

TEST(FIAttributeNumberText, RealsWriteAsPercent12lg) {
    const std::vector<double> values = RealsToWrite();
    ASSERT_GE(values.size(), static_cast<size_t>(kRealCount));
    int mismatches = 0;
    for (double v : values) {
        char expected[64];
        std::snprintf(expected, sizeof expected, "%.12lg", v);
        FIAttribute value(v);
        if (std::strcmp(value.ChangeType(FIAttribute::FT_SHORT_TEXT).c_str(), expected) != 0 &&
            ++mismatches <= 10) {
            ADD_FAILURE() << Printf("%a", v) << " gave '" << value.c_str()
                          << "', \"%.12lg\" gives '" << expected << "'";
        }
    }
    EXPECT_EQ(mismatches, 0);
}

TEST(FIAttributeNumberText, TextsReadAsScanfReadsThem) {
    const std::vector<std::string> texts = TextsToRead();
    int mismatches = 0;
    for (const std::string& text : texts) {
        const double expectedReal = ExpectedReal(text);
        const int expectedInteger = ExpectedInteger(text);
        const FIAttribute value(text.c_str());
        const double real = value.rval();
        const int integer = value.ival();
        if ((std::memcmp(&real, &expectedReal, sizeof real) != 0 || integer != expectedInteger) &&
            ++mismatches <= 10) {
            ADD_FAILURE() << Escaped(text) << " read " << Printf("%a", real) << " and " << integer
                          << ", sscanf gives " << Printf("%a", expectedReal) << " and "
                          << expectedInteger;
        }
    }
    EXPECT_EQ(mismatches, 0);
}

TEST(FIAttributeNumberText, OutOfRangeIntegerTextsSaturate) {
    struct Case {
        const char* text;
        int expected;
    };
    const Case cases[] = {
        {"2147483647", INT_MAX},       {"2147483648", INT_MAX},
        {"-2147483648", INT_MIN},      {"-2147483649", INT_MIN},
        {"4294967296", INT_MAX},       {" -99999999999999999999999x", INT_MIN},
        {"+000002147483647", INT_MAX},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(FIAttribute(c.text).ival(), c.expected);
        FIAttribute value(c.text);
        EXPECT_EQ(value.ChangeType(FIAttribute::FT_INTEGER).ival(), c.expected);
    }
}

namespace {

// Makes LC_NUMERIC a locale whose decimal point is a comma: an installed one, or else one that
// localedef builds into `dir` (found through LOCPATH) from a definition and a character map of
// its own, so that no locale sources need be installed. False when neither can be had.
bool UseCommaLocale(const qortest::ScopedTempDir& dir) {
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "de_DE", "fr_FR"}) {
        if (std::setlocale(LC_NUMERIC, name) != nullptr) {
            return true;
        }
    }
    std::string charmap = "<code_set_name> ASCII-COMMA\n<comment_char> %\n<escape_char> /\n"
                          "<mb_cur_min> 1\n<mb_cur_max> 1\nCHARMAP\n";
    for (int c = 0; c < 128; ++c) {
        char line[32];
        std::snprintf(line, sizeof line, "<U%04X> /x%02x\n", c, c);
        charmap += line;
    }
    charmap += "END CHARMAP\n";
    const std::string definition = "LC_NUMERIC\ndecimal_point \"<U002C>\"\n"
                                   "thousands_sep \"<U002E>\"\ngrouping 3;3\nEND LC_NUMERIC\n";
    if (!qortest::WriteFile(dir.file("charmap"), charmap) ||
        !qortest::WriteFile(dir.file("comma.def"), definition)) {
        return false;
    }
    // -c writes the locale although the definition leaves the other categories out.
    const std::string command = "localedef -c -f '" + dir.file("charmap") + "' -i '" +
                                dir.file("comma.def") + "' '" + dir.file("comma") +
                                "' >/dev/null 2>&1";
    if (std::system(command.c_str()) == -1) {
        return false;
    }
    setenv("LOCPATH", dir.path().c_str(), 1);
    return std::setlocale(LC_NUMERIC, "comma") != nullptr;
}

} // namespace

TEST(FIAttributeNumberText, NumberTextsIgnoreTheProcessLocaleAndRoundingMode) {
    struct Restore {
        std::string locale = std::setlocale(LC_NUMERIC, nullptr);
        const char* locpath = std::getenv("LOCPATH");
        std::string savedLocpath = locpath != nullptr ? locpath : "";
        int rounding = std::fegetround();
        ~Restore() {
            std::setlocale(LC_NUMERIC, locale.c_str());
            if (locpath != nullptr) {
                setenv("LOCPATH", savedLocpath.c_str(), 1);
            } else {
                unsetenv("LOCPATH");
            }
            std::fesetround(rounding);
        }
    } restore;
    qortest::ScopedTempDir dir;
    ASSERT_TRUE(UseCommaLocale(dir)) << "no locale with a decimal comma, and localedef built none";
    ASSERT_STREQ(std::localeconv()->decimal_point, ",");
    for (const int rounding : {FE_TONEAREST, FE_UPWARD, FE_DOWNWARD, FE_TOWARDZERO}) {
        SCOPED_TRACE(rounding);
        std::fesetround(rounding);
        FIAttribute half(0.5);
        EXPECT_STREQ(half.ChangeType(FIAttribute::FT_SHORT_TEXT).c_str(), "0.5");
        FIAttribute third(1.0 / 3.0);
        EXPECT_STREQ(third.ChangeType(FIAttribute::FT_SHORT_TEXT).c_str(), "0.333333333333");
        EXPECT_EQ(FIAttribute("1.5").rval(), 1.5);
        EXPECT_EQ(FIAttribute("0.1").rval(), 0.1);
        EXPECT_EQ(FIAttribute("-2.675e-3").rval(), -2.675e-3);
        EXPECT_EQ(FIAttribute("0x1.8p1").rval(), 3.0);
        EXPECT_EQ(FIAttribute("1.5e999").rval(), HUGE_VAL);
    }
}
