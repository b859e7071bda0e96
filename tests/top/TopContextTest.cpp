#include <QorUtils/top/TopContext.h>
#include <QorUtils/top/TopCursorBase.h>

#include <QorUtils/object/Entry.h>

#include "support/ObjectTestSupport.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <string>

using FI::EntryCursor;
using FI::ObjectPtr;
using qortest::TestContext;

namespace {

std::string NameOf(const EntryCursor& cursor) {
    FIAttribute name;
    return testing::PrintToString(cursor.GetName(name));
}

class TopContextTest : public testing::Test {
protected:
    void SetUp() override {
        inner = new TestContext;
        top = ObjectPtr<FI::Context>(new FI::TopContext(ObjectPtr<FI::Context>(inner)));
    }
    void TearDown() override {
        top.reset();
        EXPECT_EQ(TestContext::s_live, 0) << "the wrapped context was not released";
        EXPECT_EQ(qortest::TestEntry::s_live, 0);
    }
    EntryCursor Cursor() { return top->CreateCursor(FI::InclIdsAll); }

    TestContext* inner = nullptr;
    ObjectPtr<FI::Context> top;
};

} // namespace

TEST_F(TopContextTest, CursorsAndTheirEntriesHoldTheWrappedContext) {
    EXPECT_EQ(top->CreateCursor(FI::InclIdsNone).GetImpl(), nullptr) << "a copy of the empty one";
    {
        EntryCursor cursor = top->CreateCursor(static_cast<FI::InclIds>(7));
        EXPECT_TRUE(cursor.AtFirst());
        EXPECT_EQ(NameOf(cursor), "short text 'Top'");
        ObjectPtr<FI::Entry> entry = cursor.GetEntry();
        EXPECT_NE(entry, cursor.GetEntry()) << "a new entry on every call";
        EXPECT_EQ(entry->GetContext(), inner);
        EXPECT_EQ(inner->Count(), 3);

        FIAttribute value("stale");
        EXPECT_STREQ(entry->GetName(value).c_str(), "Top");
        EXPECT_TRUE(entry->GetNamedAttribute(FIAttribute("id"), value).isNull());
        EXPECT_FALSE(entry->GetAttributeCollection());
    }
    EXPECT_EQ(inner->Count(), 1);
}

TEST_F(TopContextTest, SeekFollowsItsTableAndAlwaysAnswersTrue) {
    struct Case {
        bool startAtEnd;
        int origin;
        int steps;
        bool atEnd;
    };
    const Case cases[] = {
        {false, 0, 1, true},  {true, 0, -1, false}, {true, 0, 0, true},   {false, 1, 3, true},
        {true, 1, -1, false}, {true, 1, 0, true},   {false, 2, -1, true}, {true, 2, 1, false},
        {false, 2, 0, false}, {false, 5, 1, false}, {true, -1, 1, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "from " << (c.startAtEnd ? "end" : "item") << " Seek("
                                        << c.origin << ", " << c.steps << ")");
        EntryCursor cursor = Cursor();
        cursor.Seek(2, c.startAtEnd ? -1 : 1);
        EXPECT_TRUE(cursor.Seek(c.origin, c.steps));
        EXPECT_EQ(cursor.AtEnd(), c.atEnd);
        EXPECT_EQ(cursor.AtFirst(), !c.atEnd);
        EXPECT_EQ(NameOf(cursor), c.atEnd ? "null" : "short text 'Top'");
        EXPECT_EQ(static_cast<bool>(cursor.GetEntry()), !c.atEnd);
    }
}

TEST_F(TopContextTest, SeekNameAndSeekElementMatchTopExactly) {
    EntryCursor cursor = Cursor();
    for (const std::string& name :
         {std::string("top"), std::string("Top "), std::string(), std::string("Top\0", 4)}) {
        SCOPED_TRACE(name);
        cursor.Seek(0, -1);
        EXPECT_FALSE(cursor.SeekName(0, name));
        EXPECT_TRUE(cursor.AtEnd());
    }
    EXPECT_TRUE(cursor.SeekName(7, "Top"));
    EXPECT_TRUE(cursor.AtFirst());
    ObjectPtr<FI::Entry> item = cursor.GetEntry();

    EXPECT_FALSE(cursor.SeekElement(0, ObjectPtr<FI::Entry>(new qortest::TestEntry("Other"))));
    EXPECT_TRUE(cursor.SeekElement(0, item));
    EXPECT_FALSE(cursor.SeekElement(0, ObjectPtr<FI::Entry>(new qortest::TestEntry(5))));
    EXPECT_FALSE(cursor.SeekElement(0, nullptr)) << "a null handle goes to the end";
    EXPECT_TRUE(cursor.AtEnd());
}

TEST_F(TopContextTest, CompareTellsCursorClassesApart) {
    EntryCursor cursor = Cursor();
    EntryCursor other = Cursor();
    EntryCursor foreign(new qortest::TestEntryCursor({"Top"}));
    EXPECT_EQ(cursor.Compare(cursor), 0);
    EXPECT_EQ(cursor.Compare(other), 0);
    EXPECT_EQ(cursor.Compare(foreign), -2);
    other.Seek(1, 1);
    EXPECT_EQ(other.Compare(cursor), -1) << "a cleared name sorts before \"Top\"";
    EXPECT_EQ(cursor.Compare(other), -2) << "a text compared with a cleared name";
}

TEST_F(TopContextTest, DeepCloneMovesIndependently) {
    EntryCursor cursor = Cursor();
    cursor.Seek(1, 1);
    EntryCursor clone(cursor.GetImpl()->Clone(true));
    clone.GetImpl()->Release();
    EXPECT_EQ(inner->Count(), 3);
    clone.Seek(1, -1);
    EXPECT_FALSE(clone.AtEnd());
    EXPECT_TRUE(cursor.AtEnd());
}

TEST(TopContext, OverANullContextYieldsEntriesWithoutContext) {
    ObjectPtr<FI::Context> top(new FI::TopContext(nullptr));
    EntryCursor cursor = top->CreateCursor(FI::InclIdsAll);
    top.reset();
    EXPECT_FALSE(cursor.GetEntry()->GetContext());
}

TEST(TopContext, CopiesShareTheContextButNotTheCount) {
    auto* inner = new TestContext;
    ObjectPtr<FI::Context> innerHandle(inner);
    auto* original = new FI::TopContext(innerHandle);
    ObjectPtr<FI::Context> holdOriginal(original);
    auto* copy = new FI::TopContext(*original);
    EXPECT_EQ(inner->Count(), 3);
    EXPECT_EQ(copy->AddRef(), 1) << "a copy starts with no reference";
    EXPECT_EQ(copy->Release(), 0);

    ObjectPtr<FI::Context> holdOther(new FI::TopContext(nullptr));
    static_cast<FI::TopContext&>(*holdOther) = *original;
    EXPECT_EQ(inner->Count(), 3);
    EXPECT_EQ(holdOther->AddRef(), 2) << "assignment keeps the target's count";
    holdOther->Release();
    holdOriginal.reset();
    holdOther.reset();
    EXPECT_EQ(inner->Count(), 1);
}
