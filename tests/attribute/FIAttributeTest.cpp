#include <QorUtils/attribute/FIAttribute.h>

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <string>
#include <vector>

using qortest::Describe;

namespace {

// A text of n characters 'a', 'b', ... (no zero byte, no character FixXML escapes).
std::string Letters(size_t n) {
    std::string text;
    for (size_t i = 0; i < n; ++i) {
        text += static_cast<char>('a' + i % 26);
    }
    return text;
}

// A long text of the given length assigned to a fresh value.
FIAttribute LongText(size_t n) {
    FIAttribute value;
    value = Letters(n);
    return value;
}

} // namespace

TEST(FIAttribute, KeepsTheDocumentedLayout) {
    static_assert(sizeof(FIAttribute::FT_TYPE) == 4);
    // The kind, then one storage area of 20 bytes aligned for a double: at eight bytes on every
    // target, 32-bit x86 included.
    static_assert(alignof(FIAttribute) == 8 && alignof(FIAttribute) >= alignof(double));
    static_assert(sizeof(FIAttribute) == 32);
    EXPECT_EQ(FIAttribute::FT_NULL, 0);
    EXPECT_EQ(FIAttribute::FT_INTEGER, 1);
    EXPECT_EQ(FIAttribute::FT_REAL, 2);
    EXPECT_EQ(FIAttribute::FT_SHORT_TEXT, 3);
    EXPECT_EQ(FIAttribute::FT_LONG_TEXT, 4);
}

TEST(FIAttribute, ConstructorsGiveTheKindOfTheirArgument) {
    EXPECT_EQ(Describe(FIAttribute()), "null");
    EXPECT_TRUE(FIAttribute().isNull());
    EXPECT_EQ(Describe(FIAttribute(-7)), "integer -7");
    EXPECT_EQ(Describe(FIAttribute(0.5)), "real 0.5");
    EXPECT_EQ(Describe(FIAttribute("abc")), "short text 'abc'");
    EXPECT_EQ(Describe(FIAttribute(Letters(19).c_str())),
              "long text '" + Letters(19) + "' (length 19, capacity 32)");
    EXPECT_FALSE(FIAttribute("").isNull());
}

TEST(FIAttribute, TextAssignmentKeepsUpTo18CharactersInline) {
    struct Case {
        size_t length;
        FIAttribute::FT_TYPE type;
        int capacity;
    };
    const Case cases[] = {
        {0, FIAttribute::FT_SHORT_TEXT, 0},      {1, FIAttribute::FT_SHORT_TEXT, 0},
        {18, FIAttribute::FT_SHORT_TEXT, 0},     {19, FIAttribute::FT_LONG_TEXT, 32},
        {31, FIAttribute::FT_LONG_TEXT, 32},     {32, FIAttribute::FT_LONG_TEXT, 64},
        {40, FIAttribute::FT_LONG_TEXT, 64},     {63, FIAttribute::FT_LONG_TEXT, 64},
        {64, FIAttribute::FT_LONG_TEXT, 128},    {100, FIAttribute::FT_LONG_TEXT, 128},
        {1000, FIAttribute::FT_LONG_TEXT, 1024},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.length);
        const std::string text = Letters(c.length);
        for (FIAttribute value :
             {FIAttribute(), FIAttribute(5), FIAttribute(2.5), FIAttribute("x")}) {
            value = text.c_str();
            EXPECT_EQ(value.GetType(), c.type);
            EXPECT_STREQ(value.c_str(), text.c_str());
            EXPECT_EQ(value.length(), static_cast<int>(c.length));
            EXPECT_EQ(value.capacity(), c.capacity);
        }
        const FIAttribute constructed(text.c_str());
        EXPECT_EQ(constructed.GetType(), c.type);
        EXPECT_EQ(constructed.capacity(), c.capacity);
    }
}

TEST(FIAttribute, LongTextKeepsItsBufferWhateverTextItIsGiven) {
    FIAttribute value = LongText(40);
    const char* buffer = value.c_str();
    value = "ab";
    EXPECT_EQ(Describe(value), "long text 'ab' (length 2, capacity 64)");
    EXPECT_EQ(value.c_str(), buffer);
    value = std::string();
    EXPECT_EQ(Describe(value), "long text '' (length 0, capacity 64)");
    value = Letters(100);
    EXPECT_EQ(value.capacity(), 128);
    value = "x";
    EXPECT_EQ(Describe(value), "long text 'x' (length 1, capacity 128)");
    value.ChangeType(FIAttribute::FT_SHORT_TEXT);
    EXPECT_EQ(Describe(value), "long text 'x' (length 1, capacity 128)");
}

TEST(FIAttribute, NumberAndClearReleaseTheLongText) {
    FIAttribute value = LongText(40);
    value = 42;
    EXPECT_EQ(Describe(value), "integer 42");
    value = Letters(40);
    value = -0.25;
    EXPECT_EQ(Describe(value), "real -0.25");
    value = Letters(40);
    EXPECT_EQ(Describe(value.Clear()), "null");
    EXPECT_EQ(value.capacity(), 0);
    // A number assigned over a short text simply overwrites it.
    value = "abc";
    value = 7;
    EXPECT_EQ(Describe(value), "integer 7");
}

TEST(FIAttribute, NullTextPointerIsTheEmptyText) {
    const char* none = nullptr;
    EXPECT_EQ(Describe(FIAttribute(none)), "short text ''");
    FIAttribute value = LongText(20);
    value = none;
    EXPECT_EQ(Describe(value), "long text '' (length 0, capacity 32)");
    value.Append(none);
    EXPECT_EQ(Describe(value), "long text '' (length 0, capacity 32)");
}

TEST(FIAttribute, StringSizeDecidesTheKindAndTheTextEndsAtItsZeroByte) {
    std::string twenty(20, 'z');
    twenty[2] = '\0';
    FIAttribute value;
    value = twenty;
    EXPECT_EQ(Describe(value), "long text 'zz' (length 2, capacity 32)");

    std::string five("ab\0cd", 5);
    value.Clear() = five;
    EXPECT_EQ(Describe(value), "short text 'ab'");
    EXPECT_EQ(value.length(), 2);
}

TEST(FIAttribute, ChangeTypeFollowsTheConversionTable) {
    using T = FIAttribute;
    struct Case {
        std::function<FIAttribute()> make;
        FIAttribute::FT_TYPE target;
        std::string expected;
    };
    const auto text = [](const char* t) { return [t] { return FIAttribute(t); }; };
    const auto number = [](auto n) { return [n] { return FIAttribute(n); }; };
    const auto null = [] { return FIAttribute(); };
    const auto forty = [] { return LongText(40); };
    const auto longNumber = [] {
        FIAttribute value = LongText(40);
        value = " -12.75e1xyz";
        return value;
    };
    const std::vector<Case> cases = {
        {null, T::FT_NULL, "null"},
        {null, T::FT_INTEGER, "integer 0"},
        {null, T::FT_REAL, "real 0"},
        {null, T::FT_SHORT_TEXT, "short text ''"},
        {null, T::FT_LONG_TEXT, "long text '' (length 0, capacity 32)"},
        {number(42), T::FT_NULL, "null"},
        {number(42), T::FT_INTEGER, "integer 42"},
        {number(42), T::FT_REAL, "real 42"},
        {number(42), T::FT_SHORT_TEXT, "short text '42'"},
        {number(42), T::FT_LONG_TEXT, "long text '42' (length 2, capacity 32)"},
        {number(INT_MIN), T::FT_SHORT_TEXT, "short text '-2147483648'"},
        {number(-2.7), T::FT_INTEGER, "integer -2"},
        {number(2.7), T::FT_INTEGER, "integer 2"},
        {number(2147483647.9), T::FT_INTEGER, "integer 2147483647"},
        {number(-2147483648.9), T::FT_INTEGER, "integer -2147483648"},
        {number(2147483648.0), T::FT_INTEGER, "integer 2147483647"},
        {number(-1e300), T::FT_INTEGER, "integer -2147483648"},
        {number(std::numeric_limits<double>::infinity()), T::FT_INTEGER, "integer 2147483647"},
        {number(std::nan("")), T::FT_INTEGER, "integer 0"},
        {number(0.5), T::FT_REAL, "real 0.5"},
        {number(0.5), T::FT_LONG_TEXT, "long text '0.5' (length 3, capacity 32)"},
        {number(1.0 / 3.0), T::FT_SHORT_TEXT, "short text '0.333333333333'"},
        {number(1.0 / 3.0), T::FT_LONG_TEXT, "long text '0.333333333333' (length 14, capacity 32)"},
        {number(2.0 / 3.0), T::FT_SHORT_TEXT, "short text '0.666666666667'"},
        {number(123456789012.0), T::FT_SHORT_TEXT, "short text '123456789012'"},
        {number(1234567890123.0), T::FT_SHORT_TEXT, "short text '1.23456789012e+12'"},
        {number(0.0001), T::FT_SHORT_TEXT, "short text '0.0001'"},
        {number(0.00001), T::FT_SHORT_TEXT, "short text '1e-05'"},
        {number(1e20), T::FT_SHORT_TEXT, "short text '1e+20'"},
        {number(-0.0), T::FT_SHORT_TEXT, "short text '-0'"},
        {number(-std::numeric_limits<double>::infinity()), T::FT_SHORT_TEXT, "short text '-inf'"},
        // The longest text "%.12lg" writes takes the nineteenth inline place.
        {number(-1.23456789012e-300), T::FT_SHORT_TEXT, "short text '-1.23456789012e-300'"},
        {text(" 42abc"), T::FT_INTEGER, "integer 42"},
        {text("3.9"), T::FT_INTEGER, "integer 3"},
        {text("3.9"), T::FT_REAL, "real 3.9"},
        {text("1e3"), T::FT_REAL, "real 1000"},
        {text("abc"), T::FT_INTEGER, "integer 0"},
        {text("abc"), T::FT_REAL, "real 0"},
        {text(""), T::FT_INTEGER, "integer 0"},
        {text("4294967296"), T::FT_INTEGER, "integer 2147483647"},
        {text("-99999999999999999999"), T::FT_INTEGER, "integer -2147483648"},
        {text("1e999"), T::FT_REAL, "real inf"},
        {text("ab"), T::FT_NULL, "null"},
        {text("ab"), T::FT_SHORT_TEXT, "short text 'ab'"},
        {text("ab"), T::FT_LONG_TEXT, "long text 'ab' (length 2, capacity 32)"},
        {forty, T::FT_SHORT_TEXT, "long text '" + Letters(40) + "' (length 40, capacity 64)"},
        {forty, T::FT_LONG_TEXT, "long text '" + Letters(40) + "' (length 40, capacity 64)"},
        {forty, T::FT_NULL, "null"},
        {longNumber, T::FT_INTEGER, "integer -12"},
        {longNumber, T::FT_REAL, "real -127.5"},
        {number(9), static_cast<T::FT_TYPE>(5), "integer 9"},
        {text("ab"), static_cast<T::FT_TYPE>(-1), "short text 'ab'"},
    };
    for (const Case& c : cases) {
        FIAttribute value = c.make();
        SCOPED_TRACE(Describe(value) + " to kind " + std::to_string(c.target));
        EXPECT_EQ(Describe(value.ChangeType(c.target)), c.expected);
    }
}

TEST(FIAttribute, ShortTextMovesWholeIntoItsFirstBuffer) {
    FIAttribute value;
    for (char c : Letters(19)) {
        value.AppendChar(c);
    }
    ASSERT_EQ(value.GetType(), FIAttribute::FT_SHORT_TEXT);
    value.ChangeType(FIAttribute::FT_LONG_TEXT);
    EXPECT_EQ(Describe(value), "long text '" + Letters(19) + "' (length 19, capacity 32)");
}

TEST(FIAttribute, ReadAccessorsReadEveryKind) {
    EXPECT_EQ(FIAttribute().ival(), 0);
    EXPECT_EQ(FIAttribute().rval(), 0.0);
    EXPECT_EQ(FIAttribute(-5).rval(), -5.0);
    EXPECT_EQ(FIAttribute(-5.9).ival(), -5);
    EXPECT_EQ(FIAttribute("12.5").ival(), 12);
    EXPECT_EQ(FIAttribute("12.5").rval(), 12.5);
    EXPECT_EQ(LongText(30).ival(), 0);

    EXPECT_EQ(FIAttribute().c_str(), nullptr);
    EXPECT_EQ(FIAttribute(1).c_str(), nullptr);
    EXPECT_EQ(FIAttribute(1.5).c_str(), nullptr);

    EXPECT_EQ(FIAttribute().stvallen(), 0);
    EXPECT_EQ(FIAttribute(-123).stvallen(), 4);
    EXPECT_EQ(FIAttribute(1.0 / 3.0).stvallen(), 14);
    EXPECT_EQ(FIAttribute("abc").stvallen(), 3);
    EXPECT_EQ(LongText(40).stvallen(), 40);

    // Reading a number leaves it a number.
    const FIAttribute real(0.5);
    EXPECT_EQ(real.stvallen(), 3);
    EXPECT_EQ(real.GetType(), FIAttribute::FT_REAL);
}

TEST(FIAttribute, LongTextLengthIsWhereTheNextTextGoes) {
    // A zero byte appended inside a long text: stvallen counts up to it, length() does not.
    FIAttribute value = LongText(20);
    value.AppendChar('\0').AppendChar('z');
    EXPECT_EQ(value.length(), 22);
    EXPECT_EQ(value.stvallen(), 20);
    EXPECT_EQ(std::strlen(value.c_str()), 20u);
}

TEST(FIAttribute, StvalCutsToSizeAndFillsWithZeroBytes) {
    struct Case {
        FIAttribute value;
        int size;
        std::string expected; // all size bytes
    };
    const Case cases[] = {
        {FIAttribute("abcdef"), 4, std::string("abc\0", 4)},
        {FIAttribute("abcdef"), 7, std::string("abcdef\0", 7)},
        {FIAttribute("abcdef"), 9, std::string("abcdef\0\0\0", 9)},
        {FIAttribute("abcdef"), 1, std::string("\0", 1)},
        {LongText(40), 5, std::string("abcd\0", 5)},
        {FIAttribute(-123), 3, std::string("-1\0", 3)},
        {FIAttribute(-123), 6, std::string("-123\0\0", 6)},
        {FIAttribute(1.0 / 3.0), 16, std::string("0.333333333333\0\0", 16)},
        {FIAttribute(7), 1, std::string("\0", 1)},
        // A null value sets only the first byte.
        {FIAttribute(), 3, std::string("\0##", 3)},
        {FIAttribute(), 1, std::string("\0", 1)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Describe(c.value) + " size " + std::to_string(c.size));
        char dest[32];
        std::memset(dest, '#', sizeof dest);
        EXPECT_EQ(c.value.stval(dest, c.size), dest);
        EXPECT_EQ(std::string(dest, static_cast<size_t>(c.size)), c.expected);
        EXPECT_EQ(dest[c.size], '#');
    }
    char untouched = '#';
    FIAttribute("abc").stval(&untouched, 0);
    EXPECT_EQ(untouched, '#');
}

TEST(FIAttribute, CopiesAreDeepAndKeepTheSourceCapacity) {
    FIAttribute source = LongText(40);
    source = "ab";
    FIAttribute copy(source);
    EXPECT_EQ(Describe(copy), "long text 'ab' (length 2, capacity 64)");
    EXPECT_NE(copy.c_str(), source.c_str());
    copy.Append("cd");
    EXPECT_EQ(Describe(source), "long text 'ab' (length 2, capacity 64)");

    FIAttribute assigned(5);
    assigned = source;
    EXPECT_EQ(Describe(assigned), "long text 'ab' (length 2, capacity 64)");
    assigned = FIAttribute("xy");
    EXPECT_EQ(Describe(assigned), "short text 'xy'");
    assigned = FIAttribute(2.5);
    EXPECT_EQ(Describe(assigned), "real 2.5");
    assigned = FIAttribute();
    EXPECT_EQ(Describe(assigned), "null");
}

TEST(FIAttribute, AssigningAValueOrItsOwnTextToItselfKeepsIt) {
    FIAttribute value = LongText(40);
    const char* buffer = value.c_str();
    const FIAttribute& alias = value;
    value = alias;
    EXPECT_EQ(Describe(value), "long text '" + Letters(40) + "' (length 40, capacity 64)");
    EXPECT_EQ(value.c_str(), buffer);

    value = value.c_str() + 30;
    EXPECT_EQ(Describe(value),
              "long text '" + Letters(40).substr(30) + "' (length 10, capacity 64)");

    FIAttribute inlined("abc");
    inlined = inlined.c_str() + 1;
    EXPECT_EQ(Describe(inlined), "short text 'bc'");

    // Nineteen characters inline move to a buffer while being assigned.
    FIAttribute nineteen;
    for (char c : Letters(19)) {
        nineteen.AppendChar(c);
    }
    nineteen = nineteen.c_str();
    EXPECT_EQ(Describe(nineteen), "long text '" + Letters(19) + "' (length 19, capacity 32)");
}
