#include <QorUtils/top/AttrMapBase.h>
#include <QorUtils/top/FITopEntry.h>

#include "support/ObjectTestSupport.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <functional>
#include <initializer_list>
#include <iterator>
#include <string>
#include <vector>

using FI::AttrCursor;
using FI::FI_ATTRIBUTE_ENTRY;
using FI::ObjectPtr;

namespace {

std::string NameAt(const AttrCursor& cursor) {
    FIAttribute name;
    return testing::PrintToString(cursor.GetName(name));
}

std::string ValueAt(const AttrCursor& cursor) {
    FIAttribute value;
    return testing::PrintToString(cursor.GetValue(value));
}

struct SeekStep {
    int origin;
    int steps;
    bool result;
    const char* name; // at the position afterwards; "null" at the end
};

// Runs the steps one after another on the same cursor.
void RunSeeks(AttrCursor& cursor, std::initializer_list<SeekStep> steps) {
    for (const SeekStep& step : steps) {
        SCOPED_TRACE(testing::Message() << "from " << NameAt(cursor) << " Seek(" << step.origin
                                        << ", " << step.steps << ")");
        EXPECT_EQ(cursor.Seek(step.origin, step.steps), step.result);
        EXPECT_EQ(NameAt(cursor), step.name);
        EXPECT_EQ(cursor.AtEnd(), std::string(step.name) == "null");
    }
}

bool Never(void*, uint32_t) {
    return false;
}

// A table whose rows "x", "h" and "z" are never available: first, middle and last.
const FI_ATTRIBUTE_ENTRY kSparse[] = {
    {"x", 0, Never, nullptr, 0},   {"a", 0, nullptr, nullptr, 0}, {"h", 0, Never, nullptr, 0},
    {"b", 0, nullptr, nullptr, 0}, {"z", 0, Never, nullptr, 0},   {nullptr, 0, nullptr, nullptr, 0},
};

// An owner of an attribute table T, counted as FI::AttrMapBase wants it.
template <class T> class CountedOwner : public FI::AttrMapBase<T> {
public:
    int AddRef() { return ++m_nRef; }
    int Release() {
        if (--m_nRef == 0) {
            delete static_cast<T*>(this);
            return 0;
        }
        return m_nRef;
    }

private:
    int m_nRef = 0;
};

class SparseOwner : public CountedOwner<SparseOwner> {
public:
    const FI_ATTRIBUTE_ENTRY* begin() const { return kSparse; }
    const FI_ATTRIBUTE_ENTRY* end() const { return std::end(kSparse) - 1; }
};

// A node whose first row, "parent", is available only when it has a parent; the row's getter
// reads the parent without testing it, as a getter that relies on its test may.
class Node : public CountedOwner<Node> {
public:
    const FI_ATTRIBUTE_ENTRY* begin() const { return kRows; }
    const FI_ATTRIBUTE_ENTRY* end() const { return std::end(kRows) - 1; }

    Node* parent = nullptr;

private:
    static bool HasParent(void* owner, uint32_t) { return static_cast<Node*>(owner)->parent; }
    static FIAttribute& GetParent(void* owner, FIAttribute& out) {
        return out = static_cast<Node*>(owner)->parent->m_name;
    }
    static FIAttribute& GetName(void* owner, FIAttribute& out) {
        return out = static_cast<Node*>(owner)->m_name;
    }
    static inline const FI_ATTRIBUTE_ENTRY kRows[] = {
        {"parent", FI::k_getOwner, HasParent, GetParent, 0},
        {"name", FI::k_getOwner, nullptr, GetName, 0},
        {"kind", FI::k_getOwner, nullptr, GetName, 0},
        {nullptr, 0, nullptr, nullptr, 0},
    };

    const char* m_name = "n";
};

class AttrMapCursorTest : public testing::Test {
protected:
    void SetUp() override {
        context = new qortest::TestContext;
        top = FITopEntry::Create(ObjectPtr<FI::Context>(context), nullptr);
        holdTop = top;
    }
    void TearDown() override {
        holdTop.reset();
        EXPECT_EQ(qortest::TestContext::s_live, 0) << "a cursor kept the entry alive";
    }

    qortest::TestContext* context = nullptr;
    FITopEntry* top = nullptr;
    ObjectPtr<FI::Entry> holdTop;
};

} // namespace

TEST_F(AttrMapCursorTest, CursorHoldsOneReferenceAndKeepsTheEntryAlive) {
    AttrCursor cursor = holdTop->GetAttributeCollection()->CreateAttrCursor();
    EXPECT_TRUE(cursor.AtFirst());
    EXPECT_EQ(NameAt(cursor), "short text 'id'");
    EXPECT_EQ(ValueAt(cursor), "short text 'Top'");
    AttrCursor copy = cursor;
    EXPECT_EQ(top->AddRef(), 3) << "one reference per cursor, not per handle";
    top->Release();

    holdTop.reset();
    copy.reset();
    EXPECT_EQ(context->Count(), 1) << "the entry still holds its context";
    EXPECT_TRUE(cursor.Seek(1, 1));
    EXPECT_EQ(ValueAt(cursor), "short text 'TopNode'");
    cursor.reset();
    EXPECT_EQ(qortest::TestContext::s_live, 0) << "the last cursor destroyed the entry";
}

TEST_F(AttrMapCursorTest, SeekWalksTheRowsAndStopsAtBothEnds) {
    AttrCursor cursor = top->CreateAttrCursor();
    RunSeeks(cursor, {
                         {1, 1, true, "short text 'type'"},
                         {1, 1, false, "null"},
                         {1, -1, false, "null"},
                         {2, -1, false, "null"},
                         {0, 0, true, "short text 'id'"},
                         {0, 1, true, "short text 'type'"},
                         {0, 2, false, "null"},
                         {0, -1, false, "short text 'id'"},
                         {0, 1, true, "short text 'type'"},
                         {1, -3, false, "short text 'id'"},
                     });
    EXPECT_TRUE(cursor.SeekName(0, "type"));
    EXPECT_FALSE(cursor.SeekElement(0, "TYPE"));
    EXPECT_EQ(ValueAt(cursor), "null");
}

TEST(AttrMapCursor, UnavailableRowsArePassedOverUncounted) {
    AttrCursor cursor = (new SparseOwner)->CreateAttrCursor();
    EXPECT_EQ(NameAt(cursor), "short text 'a'") << "a fresh cursor stands on the first available";
    EXPECT_TRUE(cursor.AtFirst());
    RunSeeks(cursor, {
                         {0, 0, true, "short text 'a'"},
                         {0, 1, true, "short text 'b'"},
                         {1, -1, true, "short text 'a'"},
                         {0, 2, false, "null"},
                         {0, 0, true, "short text 'a'"},
                         {1, -1, false, "short text 'a'"},
                         {7, 1, false, "short text 'a'"},
                     });
    EXPECT_TRUE(cursor.AtFirst());
    EXPECT_FALSE(cursor.SeekName(0, "h"));
    EXPECT_TRUE(cursor.AtEnd());
}

// A table of 64 rows whose first 48 are unavailable; every availability test is counted.
class LongSparseOwner : public CountedOwner<LongSparseOwner> {
public:
    static constexpr int kRows = 64;
    static constexpr int kUnavailable = 48;
    static inline int s_tests = 0;

    const FI_ATTRIBUTE_ENTRY* begin() const { return Rows().data(); }
    const FI_ATTRIBUTE_ENTRY* end() const { return Rows().data() + kRows; }

private:
    static bool Has(void*, uint32_t row) {
        ++s_tests;
        return row >= kUnavailable;
    }
    static const std::vector<FI_ATTRIBUTE_ENTRY>& Rows() {
        static const std::vector<FI_ATTRIBUTE_ENTRY> rows = [] {
            std::vector<FI_ATTRIBUTE_ENTRY> made;
            for (uint32_t row = 0; row < kRows; ++row) {
                made.push_back({"r", 0, Has, nullptr, row});
            }
            return made;
        }();
        return rows;
    }
};

TEST(AttrMapCursor, AWalkTestsEachRowAFewTimesOnly) {
    struct Case {
        const char* how;
        int start;
        int step;
        bool askFirst; // at every row, as a walk that puts separators between rows does
    };
    const Case cases[] = {
        {"forward", 0, 1, false},
        {"backward", 15, -1, false},
        {"forward, asking AtFirst", 0, 1, true},
        {"backward, asking AtFirst", 15, -1, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.how);
        AttrCursor cursor = (new LongSparseOwner)->CreateAttrCursor();
        ASSERT_TRUE(cursor.Seek(0, c.start));
        LongSparseOwner::s_tests = 0;
        int visited = 0;
        int firsts = 0;
        do {
            ++visited;
            firsts += c.askFirst && cursor.AtFirst();
        } while (cursor.Seek(1, c.step));
        EXPECT_EQ(visited, LongSparseOwner::kRows - LongSparseOwner::kUnavailable);
        EXPECT_EQ(firsts, c.askFirst ? 1 : 0);
        EXPECT_LE(LongSparseOwner::s_tests, 4 * LongSparseOwner::kRows);
    }
}

TEST_F(AttrMapCursorTest, CompareUsesTheNamesAtBothPositions) {
    AttrCursor onId = top->CreateAttrCursor();
    AttrCursor onType = top->CreateAttrCursor();
    onType.Seek(1, 1);
    AttrCursor deep(onId.GetImpl()->Clone(true));
    deep.GetImpl()->Release();
    AttrCursor foreign(new qortest::TestAttrCursor({"id"}));

    EXPECT_EQ(onId.Compare(onId), 0);
    EXPECT_EQ(onId.Compare(deep), 0);
    EXPECT_EQ(onId.Compare(onType), -1);
    EXPECT_EQ(onType.Compare(onId), 1);
    EXPECT_EQ(onId.Compare(foreign), 0) << "no test of the other cursor's class";
    deep.Seek(1, 1);
    EXPECT_EQ(NameAt(onId), "short text 'id'") << "a deep clone moves on its own";
}

TEST(AttrMapCursor, NoGetterRunsForARowItsTestRefuses) {
    struct Case {
        const char* how;
        std::function<void(AttrCursor&)> move;
    };
    const Case cases[] = {
        {"fresh", [](AttrCursor&) {}},
        {"Seek(0, 0)", [](AttrCursor& c) { c.Seek(0, 0); }},
        {"Seek(0, -1)", [](AttrCursor& c) { c.Seek(0, -1); }},
        {"back past the first",
         [](AttrCursor& c) {
             c.Seek(1, 1);
             c.Seek(1, -5);
         }},
        {"back from the first", [](AttrCursor& c) { c.Seek(1, -1); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.how);
        AttrCursor cursor = (new Node)->CreateAttrCursor();
        c.move(cursor);
        EXPECT_EQ(NameAt(cursor), "short text 'name'");
        EXPECT_EQ(ValueAt(cursor), "short text 'n'");
        EXPECT_TRUE(cursor.AtFirst());
    }

    auto* parent = new Node;
    auto* child = new Node;
    AttrCursor holdParent = parent->CreateAttrCursor();
    child->parent = parent;
    AttrCursor cursor = child->CreateAttrCursor();
    EXPECT_EQ(ValueAt(cursor), "short text 'n'") << "on the row \"parent\"";
    child->parent = nullptr;
    EXPECT_EQ(ValueAt(cursor), "null") << "the row is no longer available";
}
