#include <QorUtils/top/FITopEntry.h>

#include <QorUtils/top/TopCursorBase.h>

#include "support/FailingHeap.h"
#include "support/ObjectTestSupport.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <iterator>
#include <memory>
#include <new>
#include <string>
#include <vector>

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

// Host code run by a destructor (a solver's, a wrapped context's) takes and drops references on
// the object being destroyed: each object is destroyed once, and the solver deleted once.
TEST(FITopEntry, DestructorsMayTakeAndDropReferencesOnWhatIsBeingDestroyed) {
    struct Case {
        const char* what;
        int solversDeleted;
        // Builds the objects and sets the hooks; the last handle goes at its end.
        std::function<void()> run;
    };
    const Case cases[] = {
        {"a solver uses its top entry", 1,
         [] {
             auto* solver = new TestSolver;
             FITopEntry* top = FITopEntry::Create(new TestContext, nullptr, solver);
             solver->onDestroy = [top] {
                 ObjectPtr<FI::Entry> keep(top);
                 FI::AttrCursor attributes = top->CreateAttrCursor();
                 attributes.Seek(1, 1);
                 ObjectPtr<FI::Context>(top)->CreateCursor(FI::InclIdsAll).GetEntry();
                 FI::Solver* same = nullptr;
                 EXPECT_FALSE(top->GetSolver(FISolverPrimary, &same)) << "already given up";
             };
             ObjectPtr<FI::Entry> hold(top);
         }},
        {"a wrapped context uses its top context", 0,
         [] {
             auto* inner = new TestContext;
             auto* top = new FI::TopContext(inner);
             inner->onDestroy = [top] { ObjectPtr<FI::Context> keep(top); };
             ObjectPtr<FI::Context> hold(top);
         }},
        {"a context uses the top cursor that holds it last", 0,
         [] {
             auto* inner = new TestContext;
             FI::EntryCursor cursor(new FI::TopCursorBase(inner));
             inner->onDestroy = [impl = cursor.GetImpl()] {
                 impl->AddRef();
                 impl->Release();
             };
         }},
        {"a context uses the cursor's entry that holds it last", 0,
         [] {
             auto* inner = new TestContext;
             ObjectPtr<FI::Entry> entry = FI::EntryCursor(new FI::TopCursorBase(inner)).GetEntry();
             inner->onDestroy = [raw = entry.get()] { ObjectPtr<FI::Entry> keep(raw); };
         }},
        {"a solver uses the attribute cursor that holds its entry last", 1,
         [] {
             auto* solver = new TestSolver;
             FI::AttrCursor cursor =
                 ObjectPtr<FITopEntry>(FITopEntry::Create(nullptr, nullptr, solver))
                     ->CreateAttrCursor();
             solver->onDestroy = [impl = cursor.GetImpl()] {
                 impl->AddRef();
                 impl->Release();
             };
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const int deleted = TestSolver::s_deleted;
        c.run();
        EXPECT_EQ(TestSolver::s_deleted, deleted + c.solversDeleted);
        EXPECT_EQ(TestContext::s_live, 0);
    }
}

TEST(FITopEntry, DestructionFreesRecordsThenDeletesTheSolverThenReleasesTheContext) {
    struct ObserverList : FITopEntry {
        static size_t Size() { return m_notifies.size(); }
    };
    std::vector<std::string> order;
    auto* context = new TestContext;
    auto* solver = new TestSolver;
    void (*slot)() = nullptr;
    ObjectPtr<FI::Entry> top(FITopEntry::Create(context, &slot, solver));
    ASSERT_TRUE(top->AttachNotify(&order, FINotifyGeneral, [](void*, FINotifyType) {}));
    solver->onDestroy = [&] {
        order.push_back("solver deleted; records left: " + std::to_string(ObserverList::Size()) +
                        "; contexts alive: " + std::to_string(TestContext::s_live));
    };
    context->onDestroy = [&] { order.push_back("context released"); };
    top.reset();
    EXPECT_EQ(order, (std::vector<std::string>{"solver deleted; records left: 0; contexts alive: 1",
                                               "context released"}));
}

// 1 when a deep clone was made (and is given back here), 2 when it was refused.
template <class Impl> int CloneOutcome(Impl* clone) {
    if (clone == nullptr) {
        return 2;
    }
    clone->Release();
    return 1;
}

// Each allocation refused in turn: Create gives null and the context's reference back, the
// cursors come out empty, deep clones and entries null, AttachNotify false; nothing leaks.
TEST(FITopEntryHeap, EveryRefusedAllocationFailsCleanly) {
    if (!qortest::HeapCanRefuse()) {
        GTEST_SKIP() << "the sanitizer owns malloc in this build; refusals are tested in the "
                        "normal build";
    }
    auto* context = new TestContext;
    ObjectPtr<FI::Context> holdContext(context);
    for (int index = 0;; ++index) {
        SCOPED_TRACE(index);
        // Per step: 1 done, 2 refused cleanly, 0 neither.
        int outcomes[6] = {};
        const qortest::HeapUse use = qortest::HeapUseOf(
            [&] {
                std::unique_ptr<TestSolver> solver(new (std::nothrow) TestSolver);
                void (*slot)() = nullptr;
                ObjectPtr<FITopEntry> top(FITopEntry::Create(holdContext, &slot, solver.get()));
                if (!top) {
                    std::fill(std::begin(outcomes), std::end(outcomes), 2);
                    return;
                }
                solver.release();
                outcomes[0] = context->Count() == 2 ? 1 : 0;
                outcomes[1] =
                    top->AttachNotify(&outcomes, FINotifyGeneral, [](void*, FINotifyType) {}) ? 1
                                                                                              : 2;
                FI::AttrCursor attributes = top->CreateAttrCursor();
                FI::AttrCursorImpl* attributesImpl = attributes.GetImpl();
                outcomes[2] = attributesImpl != nullptr ? 1 : 2;
                outcomes[3] =
                    attributesImpl != nullptr ? CloneOutcome(attributesImpl->Clone(true)) : 2;
                FI::EntryCursor entries = top->CreateCursor(FI::InclIdsAll);
                FI::EntryCursorImpl* entriesImpl = entries.GetImpl();
                outcomes[4] = entriesImpl == nullptr ? 2 : entries.GetEntry() ? 1 : 2;
                outcomes[5] = entriesImpl != nullptr ? CloneOutcome(entriesImpl->Clone(true)) : 2;
            },
            {qortest::Refusal::Only, index});
        for (int outcome : outcomes) {
            EXPECT_NE(outcome, 0);
        }
        EXPECT_EQ(context->Count(), 1) << "the context's reference was given back";
        EXPECT_EQ(use.live, 0);
        if (use.allocations <= index) {
            break;
        }
    }
}

namespace {

// What a host's static constructor found when it ran before the library's own initialisers, as
// a static link orders them. Plain data, so that nothing initialised later overwrites it.
struct EarlyUse {
    char name[32];
    bool attached;
    int told;
} g_early = {};

void UseTheLibraryBeforeItIsInitialised() {
    void (*slot)() = nullptr;
    ObjectPtr<FI::Entry> top(FITopEntry::Create(nullptr, &slot));
    FIAttribute name;
    std::snprintf(g_early.name, sizeof g_early.name, "%s", top->GetName(name).c_str());
    g_early.attached =
        top->AttachNotify(nullptr, FINotifyGeneral, [](void*, FINotifyType) { ++g_early.told; });
    reinterpret_cast<void (*)(int)>(slot)(1);
}

// A program's pre-initialisers run before those of the shared libraries it loads.
[[gnu::used,
  gnu::section(".preinit_array")]] void (*g_useEarly)() = UseTheLibraryBeforeItIsInitialised;

} // namespace

TEST(FITopEntry, UsableFromAHostsStaticConstructorsBeforeTheLibrarysOwn) {
    EXPECT_STREQ(g_early.name, "Top");
    EXPECT_TRUE(g_early.attached);
    EXPECT_EQ(g_early.told, 1);
}
