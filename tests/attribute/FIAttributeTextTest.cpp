#include <QorUtils/attribute/FIAttribute.h>

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include <unistd.h>

using qortest::Describe;

namespace {

FIAttribute Text(const std::string& text) {
    FIAttribute value;
    value = text;
    return value;
}

// A text built with AppendChar, which may keep 19 characters inline.
FIAttribute Typed(const std::string& text) {
    FIAttribute value;
    for (char c : text) {
        value.AppendChar(c);
    }
    return value;
}

std::string Long(const std::string& text, int capacity) {
    return "long text '" + text + "' (length " + std::to_string(text.size()) + ", capacity " +
           std::to_string(capacity) + ")";
}

} // namespace

TEST(FIAttributeCompare, FollowsTheKindTableOnBothSides) {
    struct Case {
        FIAttribute left;
        FIAttribute right;
        int expected;
    };
    const FIAttribute null;
    const Case cases[] = {
        {null, null, 0},
        {null, FIAttribute(""), 0},
        {null, FIAttribute().Append(""), 0},
        {null, FIAttribute("a"), -1},
        {null, FIAttribute(0), 0},
        {null, FIAttribute(0.0), 0},
        {null, FIAttribute(-0.0), 0},
        {null, FIAttribute(1), -1},
        {null, FIAttribute(-1.5), -1},
        {null, FIAttribute(std::nan("")), -1},
        {FIAttribute(1), null, -2},
        {FIAttribute(0.0), null, -2},
        {FIAttribute("a"), null, -2},
        {FIAttribute(""), null, -2},
        {FIAttribute("a"), FIAttribute(1), -2},
        {FIAttribute("1"), FIAttribute(1), -2},
        {FIAttribute("a"), FIAttribute(1.0), -2},
        {FIAttribute(3), FIAttribute("10"), -1},
        {FIAttribute(3), FIAttribute(3.0), 0},
        {FIAttribute(3.0), FIAttribute(3), 0},
        {FIAttribute(3), FIAttribute(3.5), -1},
        {FIAttribute(4), FIAttribute(3.5), 1},
        // A text is read as the number's own kind reads it.
        {FIAttribute(2), FIAttribute("2.7"), 0},
        {FIAttribute(2.0), FIAttribute("2.7"), -1},
        {FIAttribute(3), FIAttribute("abc"), 1},
        {FIAttribute(0), FIAttribute("abc"), 0},
        {FIAttribute(-1.0), FIAttribute(""), -1},
        {FIAttribute(5), FIAttribute("99999999999"), -1},
        {FIAttribute(std::nan("")), FIAttribute(1), -1},
        {FIAttribute(1), FIAttribute(std::nan("")), -1},
        {FIAttribute(std::nan("")), FIAttribute(std::nan("")), -1},
        {FIAttribute(1.0), FIAttribute("nan"), -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Describe(c.left) + " against " + Describe(c.right));
        EXPECT_EQ(c.left.compare(c.right), c.expected);
    }
}

TEST(FIAttributeCompare, TextsCompareByUnsignedBytes) {
    struct Case {
        FIAttribute left;
        FIAttribute right;
        int expected;
    };
    FIAttribute longText = Text(std::string(40, 'x'));
    longText = "abc";
    const Case cases[] = {
        {FIAttribute("abc"), FIAttribute("abd"), -1},
        {FIAttribute("abd"), FIAttribute("abc"), 1},
        {FIAttribute("abc"), FIAttribute("ab"), 1},
        {FIAttribute("ab"), FIAttribute("abc"), -1},
        {FIAttribute("abc"), longText, 0},
        {longText, FIAttribute("abc"), 0},
        {FIAttribute(""), FIAttribute(""), 0},
        {FIAttribute(""), FIAttribute("a"), -1},
        {FIAttribute("\x80"), FIAttribute("z"), 1},
        {FIAttribute("z"), FIAttribute("\xff"), -1},
        {FIAttribute("10"), FIAttribute("9"), -1},
        {Text(std::string(64, 'q') + "a"), Text(std::string(64, 'q') + "b"), -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Describe(c.left) + " against " + Describe(c.right));
        EXPECT_EQ(c.left.compare(c.right), c.expected);
    }
}

TEST(FIAttributeAppend, EveryOverloadLeavesALongText) {
    struct Case {
        FIAttribute start;
        std::function<void(FIAttribute&)> append;
        std::string expected;
    };
    FIAttribute nullArgument;
    FIAttribute seven(7);
    FIAttribute third(1.0 / 3.0);
    FIAttribute shortArgument("st");
    FIAttribute longArgument = Text(std::string(20, 'L'));
    const Case cases[] = {
        {FIAttribute(), [](FIAttribute& v) { v.Append("xyz"); }, Long("xyz", 32)},
        {FIAttribute("ab"), [](FIAttribute& v) { v.Append(""); }, Long("ab", 32)},
        {FIAttribute(), [](FIAttribute& v) { v.Append(""); }, Long("", 32)},
        {FIAttribute("a"), [](FIAttribute& v) { v.Append(-5); }, Long("a-5", 32)},
        {FIAttribute("a"), [](FIAttribute& v) { v.Append(0.1); }, Long("a0.1", 32)},
        {FIAttribute("a"), [](FIAttribute& v) { v.Append(1e-7); }, Long("a1e-07", 32)},
        {FIAttribute(12), [](FIAttribute& v) { v.Append("x"); }, Long("12x", 32)},
        {FIAttribute(0.5), [](FIAttribute& v) { v.Append(2); }, Long("0.52", 32)},
        {FIAttribute("a"), [](FIAttribute& v) { v.Append(std::string("b\0c", 3)); },
         Long("ab", 32)},
        {FIAttribute("ab"), [&](FIAttribute& v) { v.Append(nullArgument); }, Long("ab", 32)},
        {FIAttribute(), [&](FIAttribute& v) { v.Append(nullArgument); }, Long("", 32)},
        {FIAttribute("x"), [&](FIAttribute& v) { v.Append(seven); }, Long("x7", 32)},
        {FIAttribute("x"), [&](FIAttribute& v) { v.Append(third); }, Long("x0.333333333333", 32)},
        {FIAttribute(1), [&](FIAttribute& v) { v.Append(shortArgument); }, Long("1st", 32)},
        {FIAttribute("x"), [&](FIAttribute& v) { v.Append(longArgument); },
         Long("x" + std::string(20, 'L'), 32)},
        {Text(std::string(30, 'a')), [](FIAttribute& v) { v.Append("b"); },
         Long(std::string(30, 'a') + "b", 32)},
        {Text(std::string(31, 'a')), [](FIAttribute& v) { v.Append("b"); },
         Long(std::string(31, 'a') + "b", 64)},
        {Text(std::string(31, 'a')), [](FIAttribute& v) { v.Append(std::string(100, 'b')); },
         Long(std::string(31, 'a') + std::string(100, 'b'), 256)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Describe(c.start));
        FIAttribute value = c.start;
        c.append(value);
        EXPECT_EQ(Describe(value), c.expected);
    }
    // The argument value is left as it was.
    EXPECT_EQ(Describe(seven), "integer 7");
    EXPECT_EQ(Describe(shortArgument), "short text 'st'");
    EXPECT_TRUE(nullArgument.isNull());
}

TEST(FIAttributeAppend, GrowsByDoublingFrom32) {
    FIAttribute value;
    std::vector<int> capacities;
    for (int i = 0; i < 1000; ++i) {
        value.Append("0123456789");
        if (capacities.empty() || capacities.back() != value.capacity()) {
            capacities.push_back(value.capacity());
        }
    }
    EXPECT_EQ(value.length(), 10000);
    EXPECT_EQ(capacities, (std::vector<int>{32, 64, 128, 256, 512, 1024, 2048, 4096, 8192, 16384}));
}

TEST(FIAttributeAppend, ItsOwnTextDoubles) {
    struct Case {
        FIAttribute start;
        bool throughPointer;
        std::string expected;
    };
    const std::string forty(40, 'f');
    const Case cases[] = {
        {FIAttribute("ab"), false, Long("abab", 32)},
        {FIAttribute("ab"), true, Long("abab", 32)},
        {FIAttribute(12), false, Long("1212", 32)},
        {FIAttribute(), false, Long("", 32)},
        {Text(forty), false, Long(forty + forty, 128)},
        {Text(forty), true, Long(forty + forty, 128)},
        {Typed("abcdefghijklmnopqrs"), true, Long("abcdefghijklmnopqrsabcdefghijklmnopqrs", 64)},
        {Typed("abcdefghijklmnopqrs"), false, Long("abcdefghijklmnopqrsabcdefghijklmnopqrs", 64)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Describe(c.start) + (c.throughPointer ? " through c_str()" : ""));
        FIAttribute value = c.start;
        if (c.throughPointer) {
            value.Append(value.c_str());
        } else {
            value.Append(value);
        }
        EXPECT_EQ(Describe(value), c.expected);
    }
    // The tail of its own buffer, while the buffer moves.
    FIAttribute value = Text(std::string(30, 'a') + "bc");
    value.Append(value.c_str() + 30);
    EXPECT_EQ(Describe(value), Long(std::string(30, 'a') + "bcbc", 64));
}

TEST(FIAttributeAppendChar, KeepsUpTo19CharactersInline) {
    struct Case {
        FIAttribute start;
        char c;
        std::string expected;
    };
    const std::string eighteen = "abcdefghijklmnopqr";
    const Case cases[] = {
        {FIAttribute(), 'a', "short text 'a'"},
        {FIAttribute(""), 'a', "short text 'a'"},
        {FIAttribute(eighteen.c_str()), 's', "short text '" + eighteen + "s'"},
        {Typed(eighteen + "s"), 't', Long(eighteen + "st", 32)},
        {FIAttribute(7), '%', "short text '7%'"},
        {FIAttribute(2.5), 'x', "short text '2.5x'"},
        {FIAttribute(-1.23456789012e-300), 'x', Long("-1.23456789012e-300x", 32)},
        {Text(std::string(30, 'a')), 'b', Long(std::string(30, 'a') + "b", 32)},
        {Text(std::string(31, 'a')), 'b', Long(std::string(31, 'a') + "b", 64)},
        {FIAttribute(), '\xe9', "short text '\xe9'"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Describe(c.start));
        FIAttribute value = c.start;
        EXPECT_EQ(Describe(value.AppendChar(c.c)), c.expected);
    }
}

TEST(FIAttributeAppendChar, BuildsAMegabyteByDoubling) {
    FIAttribute value;
    const int size = 1 << 20;
    for (int i = 0; i < size; ++i) {
        value.AppendChar(static_cast<char>('a' + i % 26));
    }
    EXPECT_EQ(value.length(), size);
    EXPECT_EQ(value.capacity(), 2 * size);
    EXPECT_EQ(value.c_str()[size - 1], static_cast<char>('a' + (size - 1) % 26));
    EXPECT_EQ(value.c_str()[size], '\0');
}

TEST(FIAttributeFixXML, EscapesQuoteAmpersandAndLessThan) {
    struct Case {
        FIAttribute value;
        std::string expected;
    };
    const Case cases[] = {
        {FIAttribute("a<b"), Long("a&lt;b", 32)},
        {FIAttribute("\"x\" &y"), Long("&quot;x&quot; &amp;y", 32)},
        {FIAttribute("<"), Long("&lt;", 32)},
        {FIAttribute("&lt;"), Long("&amp;lt;", 32)},
        {FIAttribute("<<<<<<<<<<"), Long("&lt;&lt;&lt;&lt;&lt;&lt;&lt;&lt;&lt;&lt;", 64)},
        {FIAttribute("a&"), Long("a&amp;", 32)},
        // Untouched: no character to escape, or no text at all.
        {FIAttribute("a>b 'c'\t\x01\xff"), "short text 'a>b 'c'\t\x01\xff'"},
        {FIAttribute(""), "short text ''"},
        {Text(std::string(40, '>')), Long(std::string(40, '>'), 64)},
        {FIAttribute(12), "integer 12"},
        {FIAttribute(0.5), "real 0.5"},
        {FIAttribute(), "null"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Describe(c.value));
        FIAttribute value = c.value;
        value.FixXML();
        EXPECT_EQ(Describe(value), c.expected);
    }
}

TEST(FIAttributeFixXML, EscapeLongerThan4GiBLeavesTheTextAsItWas) {
    const long long freeBytes =
        static_cast<long long>(sysconf(_SC_AVPHYS_PAGES)) * sysconf(_SC_PAGESIZE);
    if (qortest::kSanitized || freeBytes < (3LL << 30)) {
        GTEST_SKIP() << "two texts of 1 GiB need free memory, and a build without sanitizers";
    }
    // Escaped, these come to 2^32 + 1073741820 bytes, of which the 1 GiB buffer takes the first
    // 1073741820: a length counted in 32 bits would take that part for the whole.
    const size_t quotes = 894784852;
    FIAttribute value = Text(std::string(quotes, '"') + "abcd");
    value.FixXML();
    EXPECT_EQ(value.length(), static_cast<int>(quotes + 4));
    EXPECT_EQ(std::string(value.c_str() + value.length() - 4), "abcd");
}

TEST(FIAttributeFixXML, ResultHasTheCapacityOfItsOwnLength) {
    // The escaped text is built afresh, so a large old buffer is not kept.
    FIAttribute value = Text(std::string(200, 'x'));
    value = "a<b";
    ASSERT_EQ(value.capacity(), 256);
    value.FixXML();
    EXPECT_EQ(Describe(value), Long("a&lt;b", 32));
}
