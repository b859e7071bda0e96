#include <QorUtils/object/AttrCursor.h>
#include <QorUtils/object/EntryCursor.h>
#include <QorUtils/object/EntryListCursor.h>

#include "support/FailingHeap.h"
#include "support/ObjectTestSupport.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

using FI::AttrCursor;
using FI::EntryCursor;
using qortest::OtherEntryCursor;
using qortest::TestAttrCursor;
using qortest::TestEntryCursor;

namespace {

std::string NameOf(const EntryCursor& cursor) {
    FIAttribute name;
    cursor.GetName(name);
    return name.c_str() != nullptr ? name.c_str() : "(null)";
}

// A context that keeps its entries in a vector and lists them through FI::EntryListCursor.
class ListContext : public qortest::Counted<FI::Context> {
public:
    ListContext() {
        for (const char* name : {"a", "b", "c"}) {
            Add(name);
        }
    }
    void Add(const char* name) { entries.emplace_back(new qortest::TestEntry(name)); }
    EntryCursor CreateCursor(FI::InclIds) override {
        return FI::CreateEntryListCursor(this, entries);
    }

    std::vector<FI::ObjectPtr<qortest::TestEntry>> entries;
};

class CursorTest : public testing::Test {
protected:
    void SetUp() override { std::fill(std::begin(Counters()), std::end(Counters()), 0); }
    void TearDown() override {
        std::fill(std::begin(Counters()), std::end(Counters()), 0);
        EXPECT_EQ(TestEntryCursor::s_live, 0) << "an entry cursor was not destroyed";
        EXPECT_EQ(TestAttrCursor::s_live, 0) << "an attribute cursor was not destroyed";
        EXPECT_EQ(qortest::TestEntry::s_live, 0);
    }
    static int32_t (&Counters())[20] { return EntryCursor::S_refcount_on_seek; }
};

} // namespace

TEST_F(CursorTest, HandlesShareOneImplementationAndItsPosition) {
    auto* impl = new TestEntryCursor({"a", "b", "c"});
    EntryCursor first(impl);
    EXPECT_EQ(impl->Count(), 1);
    {
        EntryCursor copy(first);
        EXPECT_EQ(copy.GetImpl(), impl);
        EXPECT_EQ(impl->Count(), 2);
        EXPECT_TRUE(copy.Seek(1, 1));
        EXPECT_EQ(NameOf(first), "b");
    }
    EXPECT_EQ(impl->Count(), 1);
    first.reset();
    EXPECT_EQ(TestEntryCursor::s_live, 0);
}

TEST_F(CursorTest, CopiesMovesAndAssignmentsKeepOneReferencePerHandle) {
    auto* a = new TestEntryCursor({"a"});
    auto* b = new TestEntryCursor({"b"});
    EntryCursor holdA(a);
    EntryCursor holdB(b);

    EntryCursor moved(std::move(holdA));
    EXPECT_EQ(holdA.GetImpl(), nullptr);
    EXPECT_EQ(a->Count(), 1);

    EntryCursor target(moved);
    target = holdB;
    EXPECT_EQ(a->Count(), 1);
    EXPECT_EQ(b->Count(), 2);

    EntryCursor& alias = target;
    target = alias;
    EXPECT_EQ(b->Count(), 2);
    target = std::move(alias);
    EXPECT_EQ(b->Count(), 2);
    EXPECT_EQ(target.GetImpl(), b);

    target = std::move(moved);
    EXPECT_EQ(a->Count(), 1);
    EXPECT_EQ(b->Count(), 1);
    moved = EntryCursor(nullptr);
    EXPECT_EQ(moved.GetImpl(), nullptr);
}

TEST_F(CursorTest, AttributeCursorHandlesCountLikeEntryCursorHandles) {
    auto* impl = new TestAttrCursor({"x", "y"});
    AttrCursor first(impl);
    AttrCursor copy(first);
    EXPECT_EQ(impl->Count(), 2);
    AttrCursor& alias = copy;
    copy = alias;
    EXPECT_EQ(impl->Count(), 2);

    EXPECT_TRUE(copy.SeekElement(0, "y"));
    FIAttribute value;
    EXPECT_STREQ(first.GetValue(value).c_str(), "Y");

    AttrCursor moved(std::move(copy));
    EXPECT_EQ(impl->Count(), 2);
    moved.reset();
    first = AttrCursor();
    EXPECT_EQ(TestAttrCursor::s_live, 0);
}

TEST_F(CursorTest, EntryCursorsOfDifferentClassesCompareAsUnordered) {
    EntryCursor test(new TestEntryCursor({"a", "b"}));
    EntryCursor sameName(new TestEntryCursor({"a"}));
    EntryCursor later(new TestEntryCursor({"b"}));
    EntryCursor other(new OtherEntryCursor({"a"}));

    EXPECT_EQ(test.Compare(test), 0);
    EXPECT_EQ(test.Compare(sameName), 0);
    EXPECT_EQ(test.Compare(later), -1);
    EXPECT_EQ(later.Compare(test), 1);
    EXPECT_EQ(test.Compare(other), -2);
    EXPECT_EQ(other.Compare(test), -2);
}

TEST_F(CursorTest, EmptyCursorsAnswerWithoutAnImplementation) {
    EntryCursor entries(nullptr);
    AttrCursor attributes;
    EntryCursor full(new TestEntryCursor({"a"}));
    AttrCursor fullAttributes(new TestAttrCursor({"a"}));
    FIAttribute name("stale");
    FIAttribute value("stale");

    EXPECT_FALSE(entries.Seek(0, 0));
    EXPECT_FALSE(entries.SeekName(0, "a"));
    EXPECT_FALSE(entries.SeekElement(0, FI::ObjectPtr<FI::Entry>(new qortest::TestEntry("a"))));
    EXPECT_FALSE(entries.AtFirst());
    EXPECT_TRUE(entries.AtEnd());
    EXPECT_TRUE(entries.GetName(name).isNull());
    EXPECT_FALSE(entries.GetEntry());
    EXPECT_EQ(entries.Compare(EntryCursor(nullptr)), 0);
    EXPECT_EQ(entries.Compare(full), -2);
    EXPECT_EQ(full.Compare(entries), -2);

    EXPECT_FALSE(attributes.Seek(1, 1));
    EXPECT_FALSE(attributes.SeekName(0, "a"));
    EXPECT_FALSE(attributes.SeekElement(0, "a"));
    EXPECT_FALSE(attributes.AtFirst());
    EXPECT_TRUE(attributes.AtEnd());
    name = "stale";
    EXPECT_TRUE(attributes.GetName(name).isNull());
    EXPECT_TRUE(attributes.GetValue(value).isNull());
    EXPECT_EQ(attributes.Compare(AttrCursor()), 0);
    EXPECT_EQ(attributes.Compare(fullAttributes), -2);
    EXPECT_EQ(fullAttributes.Compare(attributes), -2);
}

TEST_F(CursorTest, SeeksAreCountedByTheImplementationsCount) {
    auto* impl = new TestEntryCursor({"a", "b"});
    std::vector<EntryCursor> handles;
    handles.reserve(25);
    handles.emplace_back(impl);
    handles[0].Seek(0, 0);
    handles[0].SeekName(0, "b");
    handles.emplace_back(handles[0]);
    handles[1].SeekElement(0, FI::ObjectPtr<FI::Entry>(new qortest::TestEntry("a")));
    EXPECT_EQ(Counters()[1], 2);
    EXPECT_EQ(Counters()[2], 1);

    handles.resize(25, handles[0]);
    handles[0].Seek(1, 0);
    handles.resize(19, handles[0]);
    handles[0].Seek(1, 0);
    handles.resize(18, handles[0]);
    handles[0].Seek(1, 0);
    EXPECT_EQ(Counters()[19], 2) << "25 and 19 references both count at 19";
    EXPECT_EQ(Counters()[18], 1);
    EXPECT_EQ(impl->Count(), 18) << "counting a seek left the count as it was";

    EntryCursor(nullptr).Seek(0, 0);
    int total = 0;
    for (int32_t n : Counters()) {
        total += n;
    }
    EXPECT_EQ(total, 6) << "a seek on an empty cursor is not counted";
}

TEST_F(CursorTest, PrintECountsWritesAHeaderAndTwentyLines) {
    Counters()[0] = 0;
    Counters()[3] = 12;
    Counters()[19] = 7;
    testing::internal::CaptureStderr();
    printECounts();
    std::string expected = " refcnt   number of seeks with\n";
    for (int i = 0; i < 20; ++i) {
        const int n = i == 3 ? 12 : i == 19 ? 7 : 0;
        expected += "  " + std::to_string(i) + "        " + std::to_string(n) + "\n";
    }
    EXPECT_EQ(testing::internal::GetCapturedStderr(), expected);
}

TEST_F(CursorTest, EntryListCursorSeeksStopAtBothEnds) {
    struct Step {
        int origin;
        int steps;
        bool result;
        const char* name; // afterwards; "(null)" at the end
    };
    // Steps from every position beyond what a 32-bit long holds added to it.
    constexpr int kFar = INT_MAX;
    const Step steps[] = {
        {1, 1, true, "b"},          {1, 1, true, "c"},       {1, 1, false, "(null)"},
        {1, 1, false, "(null)"},    {2, -1, true, "c"},      {0, -1, false, "a"},
        {0, 5, false, "(null)"},    {1, -2, true, "b"},      {7, 1, false, "b"},
        {0, 0, true, "a"},          {2, 0, false, "(null)"}, {0, 2, true, "c"},
        {1, kFar, false, "(null)"}, {2, -kFar, false, "a"},  {1, kFar, false, "(null)"},
        {2, kFar, false, "(null)"},
    };
    EntryCursor cursor = FI::ObjectPtr<FI::Context>(new ListContext)->CreateCursor(FI::InclIdsAll);
    EXPECT_TRUE(cursor.AtFirst());
    for (const Step& step : steps) {
        SCOPED_TRACE(testing::Message() << "Seek(" << step.origin << ", " << step.steps << ")");
        EXPECT_EQ(cursor.Seek(step.origin, step.steps), step.result);
        EXPECT_EQ(NameOf(cursor), step.name);
        EXPECT_EQ(cursor.AtEnd(), std::string(step.name) == "(null)");
    }
}

TEST_F(CursorTest, EntryListCursorStepsFromTheEndWhereverItsPositionLies) {
    struct Case {
        size_t position; // given to the cursor
        size_t removed;  // entries removed from the end afterwards
        int steps;       // from the position
        bool result;
        const char* name;
    };
    const Case cases[] = {
        {SIZE_MAX, 0, 1, false, "(null)"},
        {SIZE_MAX, 0, -1, true, "c"},
        {10, 0, -1, true, "c"},
        {2, 2, -1, true, "a"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "at " << c.position << ", " << c.removed << " removed");
        FI::ObjectPtr<ListContext> context(new ListContext);
        EntryCursor cursor(new FI::EntryListCursor<std::vector<FI::ObjectPtr<qortest::TestEntry>>>(
            context.get(), context->entries, c.position));
        context->entries.resize(context->entries.size() - c.removed);
        EXPECT_EQ(cursor.Seek(1, c.steps), c.result);
        EXPECT_EQ(NameOf(cursor), c.name);
    }
}

TEST_F(CursorTest, EntryListCursorKeepsItsContextAndReadsItsEntriesAfresh) {
    auto* context = new ListContext;
    EntryCursor cursor = FI::ObjectPtr<FI::Context>(context)->CreateCursor(FI::InclIdsAll);
    EXPECT_EQ(context->Count(), 1) << "the cursor holds the context";
    std::string walked;
    for (; !cursor.AtEnd(); cursor.Seek(1, 1)) {
        walked += NameOf(cursor);
        if (walked == "a") {
            context->Add("d");
        }
    }
    EXPECT_EQ(walked, "abcd") << "an entry added during the walk is reached";
    EXPECT_TRUE(cursor.SeekName(0, "c"));
    EXPECT_EQ(cursor.GetEntry(), context->entries[2].get());
    EXPECT_FALSE(cursor.SeekName(0, "C"));
    EXPECT_TRUE(cursor.SeekElement(0, FI::ObjectPtr<FI::Entry>(new qortest::TestEntry("b"))));
    EXPECT_FALSE(cursor.SeekElement(0, nullptr));
    EXPECT_FALSE(cursor.GetEntry());

    cursor.Seek(0, 1);
    EntryCursor deep(cursor.GetImpl()->Clone(true));
    deep.GetImpl()->Release();
    EXPECT_EQ(cursor.Compare(deep), 0);
    deep.Seek(1, 1);
    EXPECT_EQ(cursor.Compare(deep), -1);
    EXPECT_EQ(cursor.Compare(EntryCursor(new TestEntryCursor({"b"}))), -2);
    EXPECT_EQ(NameOf(cursor), "b") << "a deep clone moves on its own";
    cursor.reset();
    deep.reset();
    EXPECT_EQ(ListContext::s_live, 0) << "the last cursor released the context";
}

TEST_F(CursorTest, EntryListCursorWithoutMemoryIsEmptyAndClonesNothing) {
    if (!qortest::HeapCanRefuse()) {
        GTEST_SKIP() << "the sanitizer owns malloc in this build; refusals are tested in the "
                        "normal build";
    }
    auto* context = new ListContext;
    FI::ObjectPtr<FI::Context> hold(context);
    EntryCursor cursor = context->CreateCursor(FI::InclIdsAll);
    EntryCursor refused;
    FI::EntryCursorImpl* clone = cursor.GetImpl();
    const qortest::HeapUse use = qortest::HeapUseOf(
        [&] {
            refused = context->CreateCursor(FI::InclIdsAll);
            clone = cursor.GetImpl()->Clone(true);
        },
        {qortest::Refusal::From, 0});
    EXPECT_EQ(refused.GetImpl(), nullptr);
    EXPECT_EQ(clone, nullptr);
    EXPECT_EQ(use.live, 0);
    EXPECT_EQ(context->Count(), 2) << "only the cursor's reference";
}
