// BalanceSolver: the module's toy solver. It runs through the units in document order: a mixer
// adds up its inlets into its outlet, flow-weighting the temperature; a heater passes its inlet
// on, warmer by its duty. It writes computed values into the "Calc" and "Both" streams, checks
// "Both" streams against the values the document gave, and reports through a message chain.
// Each message's first parameter is the unit's position in the model (from 1), the second -1.
// Owned by the top entry it is given to; holds a reference on the model. One thread at a time.
#pragma once

#include "flowsheet/ModelContext.h"

#include <QorUtils/QorUtils.h>

#include <utility>

// The severities of this module's messages (the library leaves them to the modules).
constexpr FI::FIMessageSeverity SeverityInfo = static_cast<FI::FIMessageSeverity>(0);
constexpr FI::FIMessageSeverity SeverityWarning = static_cast<FI::FIMessageSeverity>(1);
constexpr FI::FIMessageSeverity SeverityError = static_cast<FI::FIMessageSeverity>(2);

class BalanceSolver final : public FI::Solver {
public:
    explicit BalanceSolver(FI::ObjectPtr<ModelContext> model) : m_model(std::move(model)) {}

    FIAttribute& GetSolverName(FIAttribute& name) override { return name = "Balance"; }
    // Checks that every unit's streams exist and that its type is known.
    bool Initialize(FI::FIMessageChain& messages) override;
    void Terminate() override {}
    // The run to the end; a run up to a time keeps the library's default ("Not Supported").
    using FI::Solver::SynchronousExecute;
    FI::FIMessageChain& SynchronousExecute(FI::FIMessageChain& messages) override;
    // This solver runs only synchronously.
    bool IsRunning() override { return false; }
    FI::FIMessageChain& CollectMessages(FI::FIMessageChain& messages) override { return messages; }

private:
    // Sets an outlet's value, or checks it when the document fixed it.
    void Deliver(int unit, ModelEntry& outlet, ModelEntry::Field field, const char* fieldName,
                 double computed, FI::FIMessageChain& messages);

    FI::ObjectPtr<ModelContext> m_model;
};
