// Counts the heap allocations the value makes, and refuses them on purpose where the build
// allows it (support/FailingHeap.h).
#include <QorUtils/attribute/FIAttribute.h>

#include "support/FailingHeap.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <string>

namespace {

using qortest::Describe;

// Counts the allocations that one piece of work makes, refusing every one from the
// (zero-based) index refuseFrom on.
template <typename Work> int AllocationsOf(Work&& work, int refuseFrom = -1) {
    const qortest::Refusal refusal =
        refuseFrom < 0 ? qortest::Refusal{} : qortest::Refusal{qortest::Refusal::From, refuseFrom};
    return qortest::HeapUseOf(work, refusal).allocations;
}

const char kEighteen[] = "abcdefghijklmnopqr";
const char kNineteen[] = "abcdefghijklmnopqrs";

} // namespace

TEST(FIAttributeHeap, CountingSeesTheFirstBufferOfALongText) {
    ASSERT_TRUE(qortest::HeapCountingInstalled());
    FIAttribute value;
    EXPECT_EQ(AllocationsOf([&] { value = kNineteen; }), 1);
    EXPECT_EQ(AllocationsOf([&] { FIAttribute copy(value); }), 1);
    EXPECT_EQ(AllocationsOf([&] { value.Append(kNineteen); }), 1);
}

TEST(FIAttributeHeap, TextsOfUpTo18CharactersStayOffTheHeap) {
    FIAttribute value;
    FIAttribute other("abc");
    FIAttribute number(12);
    char dest[32];
    const std::string eighteen(kEighteen);
    const int allocations = AllocationsOf([&] {
        FIAttribute constructed(kEighteen);
        value = kEighteen;
        value = 3.5;
        value = eighteen;
        FIAttribute copy(value);
        copy = other;
        (void)value.compare(copy);
        (void)number.compare(value);
        (void)value.ival();
        (void)value.rval();
        (void)value.stvallen();
        value.stval(dest, sizeof dest);
        value.FixXML();
        number.ChangeType(FIAttribute::FT_SHORT_TEXT).ChangeType(FIAttribute::FT_REAL);
        value.Clear();
    });
    EXPECT_EQ(allocations, 0);
    EXPECT_EQ(Describe(number), "real 12");
}

TEST(FIAttributeHeap, AppendCharStaysOffTheHeapUpTo19Characters) {
    FIAttribute value;
    FIAttribute real(-1.23456789012e-300);
    const int allocations = AllocationsOf([&] {
        for (const char* c = kNineteen; *c != '\0'; ++c) {
            value.AppendChar(*c);
        }
        real.ChangeType(FIAttribute::FT_SHORT_TEXT);
    });
    EXPECT_EQ(allocations, 0);
    EXPECT_EQ(Describe(value), std::string("short text '") + kNineteen + "'");
    EXPECT_EQ(real.length(), 19);
    EXPECT_EQ(AllocationsOf([&] { value.AppendChar('t'); }), 1);
    EXPECT_EQ(value.GetType(), FIAttribute::FT_LONG_TEXT);
}

TEST(FIAttributeHeap, RefusedAllocationLeavesAValidValue) {
    if (!qortest::HeapCanRefuse()) {
        GTEST_SKIP() << "the sanitizer owns malloc in this build; refusals are tested in the "
                        "normal build";
    }
    FIAttribute value(42);
    AllocationsOf([&] { value = kNineteen; }, 0);
    EXPECT_EQ(Describe(value), "integer 42");
    AllocationsOf([&] { value.ChangeType(FIAttribute::FT_LONG_TEXT); }, 0);
    EXPECT_EQ(Describe(value), "integer 42");

    value = "ab";
    AllocationsOf([&] { value.Append("cd"); }, 0);
    EXPECT_EQ(Describe(value), "short text 'ab'");

    // A buffer that cannot grow keeps its text.
    value.Append("cd");
    const std::string forty(40, 'x');
    AllocationsOf([&] { value.Append(forty); }, 0);
    EXPECT_EQ(Describe(value), "long text 'abcd' (length 4, capacity 32)");

    FIAttribute copy("xyz");
    AllocationsOf([&] { copy = value; }, 0);
    EXPECT_TRUE(copy.isNull());

    // Eight escapes need a first buffer and one growth; either refusal keeps the text.
    FIAttribute escaped("<<<<<<<<");
    for (int allowed = 0; allowed < 2; ++allowed) {
        SCOPED_TRACE(allowed);
        AllocationsOf([&] { escaped.FixXML(); }, allowed);
        EXPECT_EQ(Describe(escaped), "short text '<<<<<<<<'");
    }
    EXPECT_EQ(AllocationsOf([&] { escaped.FixXML(); }), 2);
    EXPECT_EQ(escaped.length(), 32);
}
