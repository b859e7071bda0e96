#include <QorUtils/object/AttributeTable.h>

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <iterator>
#include <string>

using FI::FI_ATTRIBUTE_ENTRY;

namespace {

// The owner of the table below: which rows are available, and what the getters saw.
struct Owner {
    bool hiddenAvailable = false;
    uint32_t lastData = 0;
    int getterCalls = 0;
};

bool IsAvailable(void* owner, uint32_t data) {
    static_cast<Owner*>(owner)->lastData = data;
    return static_cast<Owner*>(owner)->hiddenAvailable;
}

bool Never(void*, uint32_t) {
    return false;
}

FIAttribute& GetPlain(void* owner, FIAttribute& out) {
    ++static_cast<Owner*>(owner)->getterCalls;
    return out = "plain";
}

FIAttribute& GetWithData(void* owner, FIAttribute& out, uint32_t data) {
    ++static_cast<Owner*>(owner)->getterCalls;
    return out = static_cast<int>(data);
}

FIAttribute& GetSecond(void*, FIAttribute& out) {
    return out = "second";
}

const FI_ATTRIBUTE_ENTRY kTable[] = {
    {"id", FI::k_getOwner, nullptr, GetPlain, 0},
    {"data", FI::k_getOwnerData, nullptr, FI::AsGetProc(GetWithData), 42},
    {"hidden", FI::k_getOwner, IsAvailable, GetPlain, 9},
    {"dup", FI::k_getOwner, Never, GetPlain, 0},
    {"dup", FI::k_getOwner, nullptr, GetSecond, 0},
    {"nokind", 0, nullptr, GetPlain, 0},
    {"oddkind", 3, nullptr, GetPlain, 0},
    {"", FI::k_getOwner, nullptr, GetSecond, 0},
    {nullptr, 0, nullptr, nullptr, 0},
};
const FI_ATTRIBUTE_ENTRY* const kBegin = std::begin(kTable);
const FI_ATTRIBUTE_ENTRY* const kEnd = std::end(kTable) - 1;

std::string Query(Owner& owner, const char* name) {
    FIAttribute out("stale");
    FIAttribute& result = FI::InternalAttributeQuery(&owner, kBegin, kEnd, name, out);
    EXPECT_EQ(&result, &out);
    return testing::PrintToString(out);
}

} // namespace

TEST(AttributeTable, FindReturnsTheFirstMatchingRowIfAvailable) {
    Owner owner;
    struct Case {
        const char* name;
        const FI_ATTRIBUTE_ENTRY* expected;
    };
    const Case cases[] = {
        {"id", &kTable[0]}, {"data", &kTable[1]}, {"ID", kEnd},  {"i", kEnd},
        {"id ", kEnd},      {"hidden", kEnd},     {"dup", kEnd}, {"missing", kEnd},
        {"", &kTable[7]},   {nullptr, kEnd},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name != nullptr ? c.name : "(null)");
        EXPECT_EQ(FI::InternalFindAttribute(&owner, kBegin, kEnd, c.name), c.expected);
        if (c.name != nullptr) {
            EXPECT_EQ(FI::InternalFindAttribute(&owner, kBegin, kEnd, std::string(c.name)),
                      c.expected);
        }
    }
    EXPECT_EQ(FI::InternalFindAttribute(&owner, kBegin, kEnd, std::string()), &kTable[7])
        << "an empty string matches the row named \"\"";
    EXPECT_EQ(FI::InternalFindAttribute(&owner, kBegin, kBegin + 7, std::string()), kBegin + 7);
}

TEST(AttributeTable, PredicateDecidesAvailabilityWithTheRowsData) {
    Owner owner;
    EXPECT_FALSE(FI::InternalHasAttribute(&owner, &kTable[2]));
    EXPECT_EQ(owner.lastData, 9u);
    EXPECT_TRUE(FI::InternalHasAttribute(&owner, &kTable[0]));
    EXPECT_TRUE(FI::InternalHasAttribute(&owner, kEnd)) << "no predicate: always available";
    EXPECT_FALSE(FI::InternalHasAttribute(&owner, nullptr));

    EXPECT_EQ(Query(owner, "hidden"), "null");
    owner.hiddenAvailable = true;
    EXPECT_EQ(FI::InternalFindAttribute(&owner, kBegin, kEnd, "hidden"), &kTable[2]);
    EXPECT_EQ(Query(owner, "hidden"), "short text 'plain'");
}

TEST(AttributeTable, QueryReadsThroughTheRowsGetterKind) {
    Owner owner;
    struct Case {
        const char* name;
        const char* expected;
    };
    const Case cases[] = {
        {"id", "short text 'plain'"}, {"data", "integer 42"}, {"nokind", "null"},
        {"oddkind", "null"},          {"dup", "null"},        {"Id", "null"},
        {"", "short text 'second'"},  {nullptr, "null"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name != nullptr ? c.name : "(null)");
        EXPECT_EQ(Query(owner, c.name), c.expected);
    }
    EXPECT_EQ(owner.getterCalls, 2) << "only kinds 1 and 2 call their getter";

    FIAttribute out;
    EXPECT_STREQ(FI::InternalAttributeQuery(&owner, kBegin, kEnd, std::string("id"), out).c_str(),
                 "plain");
}

TEST(AttributeTable, GetIgnoresAvailabilityAndClearsWithoutAGetter) {
    Owner owner;
    FIAttribute out("stale");
    EXPECT_STREQ(FI::InternalGetAttribute(&owner, &kTable[2], out).c_str(), "plain");
    EXPECT_TRUE(FI::InternalGetAttribute(&owner, kEnd, out).isNull());
    out = "stale";
    EXPECT_TRUE(FI::InternalGetAttribute(&owner, nullptr, out).isNull());
}

TEST(AttributeTable, EmptyRangeFindsNothing) {
    Owner owner;
    FIAttribute out("stale");
    EXPECT_EQ(FI::InternalFindAttribute(&owner, kBegin, kBegin, "id"), kBegin);
    EXPECT_TRUE(FI::InternalAttributeQuery(&owner, kBegin, kBegin, "id", out).isNull());
    EXPECT_EQ(FI::InternalFindAttribute(&owner, kEnd, kBegin, "id"), kBegin);
    EXPECT_EQ(owner.getterCalls, 0);
}
