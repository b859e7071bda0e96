// Counts the heap allocations the value makes. The normal build replaces malloc, calloc,
// realloc and free for this whole program with counting wrappers over the C library's own
// allocator; under AddressSanitizer, which owns malloc, the sanitizer's allocation hook counts
// instead. Refusing an allocation on purpose is possible only with the wrappers.
#include <QorUtils/attribute/FIAttribute.h>

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <string>

#if defined(__SANITIZE_ADDRESS__)
#define QORTEST_SANITIZER_HEAP 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QORTEST_SANITIZER_HEAP 1
#endif
#endif

#if QORTEST_SANITIZER_HEAP
#include <sanitizer/allocator_interface.h>
#endif

namespace {

bool g_counting = false;
int g_allocations = 0;
// Number of further allocations that succeed before the next one is refused; -1 for never.
int g_refuseAfter = -1;

// Counts one allocation; answers whether it is refused.
bool CountAllocation() {
    if (!g_counting) {
        return false;
    }
    ++g_allocations;
    if (g_refuseAfter == 0) {
        return true;
    }
    if (g_refuseAfter > 0) {
        --g_refuseAfter;
    }
    return false;
}

} // namespace

#if QORTEST_SANITIZER_HEAP

namespace {

void OnSanitizerMalloc(const volatile void*, size_t) {
    CountAllocation();
}
void OnSanitizerFree(const volatile void*) {}
const bool g_hooked =
    __sanitizer_install_malloc_and_free_hooks(OnSanitizerMalloc, OnSanitizerFree) != 0;

} // namespace

bool CountingInstalled() {
    return g_hooked;
}
constexpr bool kCanRefuse = false;

#else

extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* block, size_t size);
void __libc_free(void* block);

void* malloc(size_t size) noexcept {
    return CountAllocation() ? nullptr : __libc_malloc(size);
}
void* calloc(size_t count, size_t size) noexcept {
    return CountAllocation() ? nullptr : __libc_calloc(count, size);
}
void* realloc(void* block, size_t size) noexcept {
    return CountAllocation() ? nullptr : __libc_realloc(block, size);
}
void free(void* block) noexcept {
    __libc_free(block);
}
}

bool CountingInstalled() {
    return true;
}
constexpr bool kCanRefuse = true;

#endif

namespace {

using qortest::Describe;

// Counts the allocations that one piece of work makes, refusing the ones past refuseAfter.
template <typename Work> int AllocationsOf(Work&& work, int refuseAfter = -1) {
    g_allocations = 0;
    g_refuseAfter = refuseAfter;
    g_counting = true;
    work();
    g_counting = false;
    g_refuseAfter = -1;
    return g_allocations;
}

const char kEighteen[] = "abcdefghijklmnopqr";
const char kNineteen[] = "abcdefghijklmnopqrs";

} // namespace

TEST(FIAttributeHeap, CountingSeesTheFirstBufferOfALongText) {
    ASSERT_TRUE(CountingInstalled());
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
    if (!kCanRefuse) {
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
