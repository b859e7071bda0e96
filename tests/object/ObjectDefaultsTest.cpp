#include <QorUtils/object/Connection.h>
#include <QorUtils/object/Context.h>
#include <QorUtils/object/Entry.h>
#include <QorUtils/object/Solver.h>

#include "support/ObjectTestSupport.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <type_traits>
#include <vector>

using FI::FIError;
using FI::ObjectPtr;
using qortest::TestEntry;

// An error is made from a value as it is assigned one (inherited constructors leave that out).
static_assert(std::is_constructible_v<FIError, const FIAttribute&>);

namespace {

struct SetterCase {
    const char* name;
    std::function<FIError&(FI::Entry&, FIAttribute&, FIAttribute&, FIError&)> call;
};

const std::vector<SetterCase>& Setters() {
    static const std::vector<SetterCase> cases = {
        {"SetNamedAttribute",
         [](FI::Entry& e, FIAttribute& a, FIAttribute& b, FIError& err) -> FIError& {
             return e.SetNamedAttribute(a, b, FIStoreDefault, err);
         }},
        {"SetApplicationUnit",
         [](FI::Entry& e, FIAttribute& a, FIAttribute&, FIError& err) -> FIError& {
             return e.SetApplicationUnit(a, err);
         }},
        {"SetApplicationSpecUnit",
         [](FI::Entry& e, FIAttribute& a, FIAttribute&, FIError& err) -> FIError& {
             return e.SetApplicationSpecUnit(a, err);
         }},
        {"SetValueAttribute",
         [](FI::Entry& e, FIAttribute& a, FIAttribute&, FIError& err) -> FIError& {
             return e.SetValueAttribute(a, FIStoreDefault, err);
         }},
        {"SetValueAndUnitsAttributes",
         [](FI::Entry& e, FIAttribute& a, FIAttribute& b, FIError& err) -> FIError& {
             return e.SetValueAndUnitsAttributes(a, b, FIStoreDefault, err);
         }},
        {"SetSpecValueAttribute",
         [](FI::Entry& e, FIAttribute& a, FIAttribute&, FIError& err) -> FIError& {
             return e.SetSpecValueAttribute(a, FIStoreDefault, err);
         }},
        {"SetSpecValueAndUnitsAttributes",
         [](FI::Entry& e, FIAttribute& a, FIAttribute& b, FIError& err) -> FIError& {
             return e.SetSpecValueAndUnitsAttributes(a, b, FIStoreDefault, err);
         }},
        {"SetDisplayUnit",
         [](FI::Entry& e, FIAttribute& a, FIAttribute& b, FIError& err) -> FIError& {
             return e.SetDisplayUnit(a, b, err);
         }},
        {"SetDisplaySpecUnit",
         [](FI::Entry& e, FIAttribute& a, FIAttribute& b, FIError& err) -> FIError& {
             return e.SetDisplaySpecUnit(a, b, err);
         }},
    };
    return cases;
}

ObjectPtr<FI::Entry> Named(const FIAttribute& name) {
    return ObjectPtr<FI::Entry>(new TestEntry(name));
}

class MinimalContext : public qortest::Counted<FI::Context> {
public:
    FI::EntryCursor CreateCursor(FI::InclIds) override { return FI::EntryCursor(nullptr); }
};

class ObjectDefaultsTest : public testing::Test {
protected:
    void TearDown() override { EXPECT_EQ(TestEntry::s_live, 0); }
};

} // namespace

TEST_F(ObjectDefaultsTest, EverySetterAnswersNotSupportedAndChangesNothingElse) {
    ObjectPtr<FI::Entry> entry = Named("e");
    for (const SetterCase& setter : Setters()) {
        SCOPED_TRACE(setter.name);
        FIAttribute value("value");
        FIAttribute units(7);
        FIError error;
        error = "an earlier error";
        FIError& result = setter.call(*entry, value, units, error);
        EXPECT_EQ(&result, &error);
        EXPECT_STREQ(error.c_str(), "Not Supported");
        EXPECT_STREQ(value.c_str(), "value");
        EXPECT_EQ(units.ival(), 7);
    }
}

TEST_F(ObjectDefaultsTest, EntryQueriesDefaultToRefusal) {
    ObjectPtr<FI::Entry> entry = Named("e");
    EXPECT_TRUE(entry->HasChildren());
    int user = 0;
    EXPECT_FALSE(entry->AttachNotify(&user, FINotifyGeneral, [](void*, FINotifyType) {}));
    EXPECT_FALSE(entry->DetachNotify(&user, FINotifyGeneral));
    entry->SetDisplay(nullptr);

    qortest::TestSolver stale;
    FI::Solver* solver = &stale;
    EXPECT_FALSE(entry->GetSolver(FISolverPrimary, &solver));
    EXPECT_EQ(solver, nullptr);
    struct StaleConnection : FI::Connection {
    } staleConnection;
    FI::Connection* connections = &staleConnection;
    EXPECT_FALSE(entry->GetConnections(&connections));
    EXPECT_EQ(connections, nullptr);
    EXPECT_FALSE(entry->GetSolver(FISolverPrimary, nullptr));
    EXPECT_FALSE(entry->GetConnections(nullptr));
}

TEST_F(ObjectDefaultsTest, CompareOrdersEntriesByName) {
    struct Case {
        FIAttribute own;
        FIAttribute other;
        FI::CompareOrder expected;
    };
    const Case cases[] = {
        {"b", "b", FI::CompareEqual},
        {"a", "b", FI::CompareBefore},
        {"b", "a", FI::CompareAfter},
        {"ab", "abc", FI::CompareBefore},
        {"a", FIAttribute(), FI::CompareUnordered},
        {FIAttribute(), "a", FI::CompareBefore},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.own) + " vs " + testing::PrintToString(c.other));
        EXPECT_EQ(Named(c.own)->Compare(Named(c.other)), c.expected);
    }
    ObjectPtr<FI::Entry> self = Named("x");
    EXPECT_EQ(self->Compare(self), FI::CompareEqual);
    EXPECT_EQ(self->Compare(nullptr), FI::CompareUnordered) << "a null handle is a cleared name";
}

TEST_F(ObjectDefaultsTest, MonikerToPathConsumesNothing) {
    ObjectPtr<FI::Context> context(new MinimalContext);
    char moniker[] = "a/b/c";
    FIAttribute path("stale");
    char* rest = nullptr;
    EXPECT_EQ(&context->MonikerToPath(moniker, path, &rest), &path);
    EXPECT_TRUE(path.isNull());
    EXPECT_EQ(rest, moniker);
    EXPECT_TRUE(context->MonikerToPath(moniker, path, nullptr).isNull());
}

TEST(SolverDefaults, ExecuteAppendsOneNotSupportedMessagePerCall) {
    qortest::TestSolver solver;
    FI::FIMessageChain messages;
    EXPECT_EQ(&solver.SynchronousExecute(1.5, messages), &messages);
    EXPECT_EQ(&solver.SynchronousExecute(messages), &messages);
    ASSERT_EQ(messages.Count(), 2);
    for (int i = 0; i < 2; ++i) {
        const FI::FIMessageInfo* message = messages.Get(i);
        EXPECT_EQ(message->nSeverity, -1);
        EXPECT_EQ(message->nParam1, 0);
        EXPECT_EQ(message->nParam2, 0);
        EXPECT_STREQ(message->pszText, "Not Supported");
    }
}

TEST(SolverDefaults, OptionalOperationsRefuseOrDoNothing) {
    qortest::TestSolver solver;
    EXPECT_FALSE(solver.AsynchronousExecute(2.0));
    EXPECT_FALSE(solver.AsynchronousExecute());
    solver.Stop();
    solver.Restart();
    solver.SetCurrentTime(3.0);
    EXPECT_EQ(solver.GetTickCount(), 0.0);

    FIAttribute state("kept");
    EXPECT_EQ(&solver.SaveState(state), &state);
    EXPECT_TRUE(state.isNull());
    EXPECT_FALSE(solver.RestoreState(FIAttribute("anything")));
    EXPECT_FALSE(solver.RestoreState(FIAttribute()));

    int user = 0;
    EXPECT_FALSE(solver.AttachNotify(&user, FISolverNotifyDefault,
                                     [](void*, FISolverNotify, FI::FIMessageChain*) {}));
    EXPECT_FALSE(solver.DetachNotify(&user, FISolverNotifyDefault));
}
