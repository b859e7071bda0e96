#include <QorUtils/object/ObjectPtr.h>

#include "support/ObjectTestSupport.h"

#include <gtest/gtest.h>

#include <utility>

using FI::ObjectPtr;
using qortest::TestEntry;

namespace {

class ObjectPtrTest : public testing::Test {
protected:
    void TearDown() override { EXPECT_EQ(TestEntry::s_live, 0) << "an entry was not destroyed"; }
};

} // namespace

TEST_F(ObjectPtrTest, ConstructionTakesOneReferencePerHandle) {
    auto* entry = new TestEntry("a");
    {
        ObjectPtr<FI::Entry> first(entry);
        EXPECT_EQ(entry->Count(), 1);
        ObjectPtr<FI::Entry> copy(first);
        EXPECT_EQ(entry->Count(), 2);
        ObjectPtr<FI::Entry> moved(std::move(copy));
        EXPECT_EQ(entry->Count(), 2);
        EXPECT_FALSE(copy);
        EXPECT_EQ(moved.get(), entry);
    }
    EXPECT_EQ(TestEntry::s_live, 0);

    ObjectPtr<FI::Entry> empty(static_cast<FI::Entry*>(nullptr));
    ObjectPtr<FI::Entry> emptyCopy(empty);
    EXPECT_FALSE(empty);
    EXPECT_FALSE(emptyCopy);
}

TEST_F(ObjectPtrTest, AssignmentMovesTheReferenceFromOldToNew) {
    auto* a = new TestEntry("a");
    auto* b = new TestEntry("b");
    ObjectPtr<FI::Entry> holdA(a);
    ObjectPtr<FI::Entry> holdB(b);
    ObjectPtr<FI::Entry> target(a);
    EXPECT_EQ(a->Count(), 2);

    target = holdB;
    EXPECT_EQ(a->Count(), 1);
    EXPECT_EQ(b->Count(), 2);

    target = std::move(holdA);
    EXPECT_EQ(a->Count(), 1);
    EXPECT_EQ(b->Count(), 1);
    EXPECT_FALSE(holdA);

    target = b;
    EXPECT_EQ(TestEntry::s_live, 1) << "a lost its last handle";
    EXPECT_EQ(b->Count(), 2);

    target = nullptr;
    EXPECT_EQ(b->Count(), 1);
}

TEST_F(ObjectPtrTest, SelfAssignmentKeepsExactlyOneReference) {
    auto* entry = new TestEntry("a");
    ObjectPtr<FI::Entry> handle(entry);
    ObjectPtr<FI::Entry>& alias = handle;

    handle = alias;
    EXPECT_EQ(entry->Count(), 1);
    handle = std::move(alias);
    EXPECT_EQ(entry->Count(), 1);
    EXPECT_EQ(handle.get(), entry);
    handle = entry;
    EXPECT_EQ(entry->Count(), 1);
    EXPECT_EQ(TestEntry::s_live, 1);
}

TEST_F(ObjectPtrTest, ResetGivesTheReferenceBackAndDestroysAtZero) {
    auto* entry = new TestEntry("a");
    ObjectPtr<FI::Entry> first(entry);
    ObjectPtr<FI::Entry> second(first);

    first.reset();
    EXPECT_FALSE(first);
    EXPECT_EQ(entry->Count(), 1);
    first.reset();
    EXPECT_EQ(entry->Count(), 1) << "resetting an empty handle released again";

    second.reset();
    EXPECT_EQ(TestEntry::s_live, 0);
}

TEST_F(ObjectPtrTest, AccessAndComparisonLeaveCountsAlone) {
    auto* entry = new TestEntry("a");
    ObjectPtr<FI::Entry> handle(entry);
    ObjectPtr<FI::Entry> same(handle);
    ObjectPtr<FI::Entry> other(new TestEntry("b"));
    ObjectPtr<FI::Entry> empty;

    EXPECT_TRUE(handle == same);
    EXPECT_TRUE(handle != other);
    EXPECT_TRUE(handle == entry);
    EXPECT_TRUE(entry == handle);
    EXPECT_TRUE(empty == nullptr);
    EXPECT_TRUE(handle != nullptr);
    EXPECT_EQ(&*handle, entry);
    FIAttribute name;
    EXPECT_STREQ(handle->GetName(name).c_str(), "a");
    EXPECT_EQ(entry->Count(), 2);
}
