#include <QorUtils/object/EmptyObjects.h>

#include "support/ObjectTestSupport.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <thread>

using FI::ObjectPtr;

TEST(EmptyObjects, AccessorsReturnTheSameObjectOnEveryCall) {
    EXPECT_EQ(&FI::GetEmptyContextPtr(), &FI::GetEmptyContextPtr());
    EXPECT_EQ(&FI::GetEmptyEntryPtr(), &FI::GetEmptyEntryPtr());
    EXPECT_EQ(&FI::GetEmptyCursor(), &FI::GetEmptyCursor());
    EXPECT_TRUE(FI::GetEmptyContextPtr());
    EXPECT_TRUE(FI::GetEmptyEntryPtr());
    EXPECT_EQ(FI::GetEmptyCursor().GetImpl(), nullptr);
}

TEST(EmptyObjects, CountsStayFixedWhateverTheCalls) {
    FI::Context* context = FI::GetEmptyContextPtr().get();
    FI::Entry* entry = FI::GetEmptyEntryPtr().get();
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(context->AddRef(), 1);
        EXPECT_EQ(entry->AddRef(), 1);
    }
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(context->Release(), 0);
        EXPECT_EQ(entry->Release(), 0);
    }
    {
        ObjectPtr<FI::Context> handle(context);
        ObjectPtr<FI::Entry> copy = FI::GetEmptyEntryPtr();
    }
    FIAttribute name("x");
    EXPECT_TRUE(FI::GetEmptyEntryPtr()->GetName(name).isNull()) << "still usable";
}

TEST(EmptyObjects, EmptyContextListsNothing) {
    for (int incl : {0, 1, 2, -1}) {
        SCOPED_TRACE(incl);
        FI::EntryCursor cursor =
            FI::GetEmptyContextPtr()->CreateCursor(static_cast<FI::InclIds>(incl));
        EXPECT_EQ(cursor.GetImpl(), nullptr);
    }
    char moniker[] = "a.b";
    char* rest = nullptr;
    FIAttribute path("p");
    EXPECT_TRUE(FI::GetEmptyContextPtr()->MonikerToPath(moniker, path, &rest).isNull());
    EXPECT_EQ(rest, moniker);
}

TEST(EmptyObjects, EmptyEntryAnswersNothingAndBelongsToTheEmptyContext) {
    FI::Entry& entry = *FI::GetEmptyEntryPtr();
    FIAttribute name("stale");
    FIAttribute value(4);
    EXPECT_EQ(&entry.GetName(name), &name);
    EXPECT_TRUE(name.isNull());
    EXPECT_TRUE(entry.GetNamedAttribute(FIAttribute("id"), value).isNull());
    EXPECT_FALSE(entry.GetAttributeCollection());
    EXPECT_FALSE(entry.HasChildren());
    EXPECT_EQ(entry.GetContext(), FI::GetEmptyContextPtr());

    FI::FIError error;
    FIAttribute unit("m");
    EXPECT_STREQ(entry.SetApplicationUnit(unit, error).c_str(), "Not Supported");
    FI::Solver* solver = nullptr;
    EXPECT_FALSE(entry.GetSolver(FISolverPrimary, &solver));
    EXPECT_EQ(entry.Compare(FI::GetEmptyEntryPtr()), FI::CompareEqual);
}

TEST(EmptyObjects, DefaultEntryCursorIsACopyOfTheEmptyCursor) {
    FI::EntryCursor cursor;
    EXPECT_EQ(cursor.GetImpl(), nullptr);

    // A host that puts an implementation into the empty cursor shares it with default cursors.
    auto* impl = new qortest::TestEntryCursor({"a"});
    FI::GetEmptyCursor() = FI::EntryCursor(impl);
    {
        FI::EntryCursor shared;
        EXPECT_EQ(shared.GetImpl(), impl);
        EXPECT_EQ(impl->Count(), 2);
    }
    FI::GetEmptyCursor().reset();
    EXPECT_EQ(qortest::TestEntryCursor::s_live, 0);
}

// Threads may go on copying the empty objects while the process exits: the library's exit work
// writes nothing into handles that hold its own objects (ThreadSanitizer reports any write).
TEST(EmptyObjectsDeathTest, StayReadableOnOtherThreadsWhileTheProcessExits) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    static std::atomic<bool> s_reading{false};
    EXPECT_EXIT(
        {
            std::thread([] {
                for (;;) {
                    ObjectPtr<FI::Entry> entry = FI::GetEmptyEntryPtr();
                    ObjectPtr<FI::Context> context = FI::GetEmptyContextPtr();
                    FI::EntryCursor cursor;
                    s_reading = true;
                }
            }).detach();
            while (!s_reading) {
            }
            std::exit(0);
        },
        testing::ExitedWithCode(0), "");
}
