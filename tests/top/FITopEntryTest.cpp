#include <QorUtils/top/FITopEntry.h>

#include "support/ObjectTestSupport.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <string>

using FI::ObjectPtr;
using qortest::TestContext;
using qortest::TestSolver;

namespace {

class FITopEntryTest : public testing::Test {
protected:
    void SetUp() override {
        context = new TestContext;
        holdContext = context;
    }
    void TearDown() override {
        holdContext.reset();
        EXPECT_EQ(TestContext::s_live, 0) << "an entry kept its context";
    }
    // A new entry over `context`, count 0.
    FITopEntry* Make(FI::Solver* solver = nullptr) {
        return FITopEntry::Create(holdContext, nullptr, solver);
    }

    TestContext* context = nullptr;
    ObjectPtr<FI::Context> holdContext;
};

} // namespace

TEST_F(FITopEntryTest, EveryFaceCountsOnTheSameCount) {
    FITopEntry* top = Make();
    EXPECT_EQ(context->Count(), 2) << "exactly one reference from the entry";
    EXPECT_EQ(top->AddRef(), 1);

    ObjectPtr<FI::AttrCol> asCollection = top->GetAttributeCollection();
    ObjectPtr<FI::Context> asContext(top);
    EXPECT_EQ(asCollection, static_cast<FI::AttrCol*>(top));
    EXPECT_EQ(asCollection->AddRef(), 4);
    EXPECT_EQ(asContext->Release(), 3);
    EXPECT_EQ(top->Release(), 2);
    EXPECT_EQ(top->GetContext(), context);

    asCollection.reset();
    EXPECT_EQ(context->Count(), 2);
    asContext.reset();
    EXPECT_EQ(context->Count(), 1) << "the last release destroyed the entry";
}

TEST_F(FITopEntryTest, NamedAttributesAreIdAndTypeExactly) {
    ObjectPtr<FI::Entry> top(Make());
    struct Case {
        FIAttribute name;
        const char* expected;
    };
    const Case cases[] = {
        {"id", "short text 'Top'"},
        {"type", "short text 'TopNode'"},
        {"ID", "null"},
        {"Type", "null"},
        {"", "null"},
        {FIAttribute(5), "null"},
        {FIAttribute(), "null"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.name));
        FIAttribute out("stale");
        EXPECT_EQ(testing::PrintToString(top->GetNamedAttribute(c.name, out)), c.expected);
    }
    FIAttribute name;
    EXPECT_STREQ(top->GetName(name).c_str(), "Top");
}

TEST_F(FITopEntryTest, TableHasTwoRowsEndedByTheTerminator) {
    ObjectPtr<FITopEntry> top(Make());
    int count = -1;
    const FI::FI_ATTRIBUTE_ENTRY* rows = FITopEntry::_GetEntries(&count);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(top->begin(), rows);
    EXPECT_EQ(top->end(), rows + 2);
    EXPECT_EQ(top->end()->pszName, nullptr);
    EXPECT_EQ(top->find("type"), rows + 1);
    EXPECT_EQ(top->find(std::string("TYPE")), top->end());
    EXPECT_EQ(top->find(static_cast<const char*>(nullptr)), top->end());

    FIAttribute out;
    EXPECT_STREQ(top->_InternalAttributeQuery("id", out).c_str(), "Top");
    EXPECT_STREQ(top->_InternalAttributeQuery(std::string("type"), out).c_str(), "TopNode");
    EXPECT_TRUE(top->_InternalAttributeQuery("Top", out).isNull());
    EXPECT_TRUE(top->_InternalAttributeQuery(static_cast<const char*>(nullptr), out).isNull());
}

TEST_F(FITopEntryTest, AsAContextItListsTheCreationContextsTopItem) {
    ObjectPtr<FI::Context> top(Make());
    ObjectPtr<FI::Entry> item = top->CreateCursor(FI::InclIdsAll).GetEntry();
    EXPECT_NE(item.get(), static_cast<FI::Entry*>(static_cast<FITopEntry*>(top.get())));
    EXPECT_EQ(item->GetContext(), context);
}

TEST_F(FITopEntryTest, SolverIsHandedOutForTypeOneAndDeletedOnce) {
    const int deleted = TestSolver::s_deleted;
    auto* solver = new TestSolver;
    FI::Solver* out = nullptr;
    {
        ObjectPtr<FI::Entry> top(Make(solver));
        EXPECT_TRUE(top->GetSolver(FISolverPrimary, &out));
        EXPECT_EQ(out, solver);
        for (int type : {0, 2}) {
            SCOPED_TRACE(type);
            EXPECT_FALSE(top->GetSolver(static_cast<FISolverType>(type), &out));
            EXPECT_EQ(out, nullptr);
        }
        EXPECT_EQ(TestSolver::s_deleted, deleted);
    }
    EXPECT_EQ(TestSolver::s_deleted, deleted + 1);

    ObjectPtr<FI::Entry> bare(FITopEntry::Create(nullptr, nullptr));
    out = solver;
    EXPECT_FALSE(bare->GetSolver(FISolverPrimary, &out));
    EXPECT_EQ(out, nullptr);
    EXPECT_FALSE(bare->GetContext()) << "created over a null context";
}
