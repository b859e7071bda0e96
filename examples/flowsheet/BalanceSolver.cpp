#include "flowsheet/BalanceSolver.h"

#include <cmath>
#include <cstring>

namespace {

// The heat capacity of water, kJ/(kg K): a heater's duty in kW raises the temperature of a flow
// in kg/s by duty / (flow * cp).
constexpr double k_heatCapacity = 4.18;

// Message texts are built with FIAttribute's Append, which writes numbers as "%.12lg".
void Report(FI::FIMessageChain& messages, FI::FIMessageSeverity severity, int unit,
            FIAttribute& text) {
    messages.Add(severity, unit, -1, text.c_str());
}

} // namespace

bool BalanceSolver::Initialize(FI::FIMessageChain& messages) {
    bool ready = true;
    int index = 0;
    for (const FI::ObjectPtr<ModelEntry>& entry : m_model->entries()) {
        ++index;
        if (std::strcmp(entry->field(ModelEntry::Kind).c_str(), "unit") != 0) {
            continue;
        }
        const char* type = entry->field(ModelEntry::Type).c_str();
        FIAttribute text(entry->name().c_str());
        if (type == nullptr ||
            (std::strcmp(type, "mixer") != 0 && std::strcmp(type, "heater") != 0)) {
            Report(messages, SeverityError, index, text.Append(": unknown unit type"));
            ready = false;
        }
        for (const auto* ports : {&entry->inlets, &entry->outlets}) {
            for (const std::string& stream : *ports) {
                if (m_model->Find(stream) == nullptr) {
                    FIAttribute missing(entry->name().c_str());
                    Report(messages, SeverityError, index,
                           missing.Append(": no stream '").Append(stream).Append("'"));
                    ready = false;
                }
            }
        }
        if (entry->inlets.empty() || entry->outlets.size() != 1) {
            Report(messages, SeverityError, index,
                   text.Append(": needs inlets and exactly one outlet"));
            ready = false;
        }
    }
    return ready;
}

FI::FIMessageChain& BalanceSolver::SynchronousExecute(FI::FIMessageChain& messages) {
    int index = 0;
    for (const FI::ObjectPtr<ModelEntry>& unit : m_model->entries()) {
        ++index;
        if (std::strcmp(unit->field(ModelEntry::Kind).c_str(), "unit") != 0) {
            continue;
        }
        // Add up the inlets: the flows, and the temperatures weighted by flow.
        double flow = 0.0;
        double heat = 0.0;
        for (const std::string& name : unit->inlets) {
            const ModelEntry* inlet = m_model->Find(name);
            const double inletFlow = inlet->field(ModelEntry::Flow).rval();
            flow += inletFlow;
            heat += inletFlow * inlet->field(ModelEntry::Temperature).rval();
        }
        double temperature = flow > 0.0 ? heat / flow : 0.0;
        const FIAttribute& duty = unit->field(ModelEntry::Duty);
        if (!duty.isNull() && flow > 0.0) {
            temperature += duty.rval() / (flow * k_heatCapacity);
        }
        ModelEntry& outlet = *m_model->Find(unit->outlets.front());
        Deliver(index, outlet, ModelEntry::Flow, "flow", flow, messages);
        Deliver(index, outlet, ModelEntry::Temperature, "temperature", temperature, messages);
        FIAttribute text(unit->name().c_str());
        text.Append(": ").Append(outlet.name()).Append(" at ").Append(flow).Append(" kg/s, ");
        Report(messages, SeverityInfo, index, text.Append(temperature).Append(" K"));
    }
    return messages;
}

void BalanceSolver::Deliver(int unit, ModelEntry& outlet, ModelEntry::Field field,
                            const char* fieldName, double computed, FI::FIMessageChain& messages) {
    FIAttribute& value = outlet.field(field);
    const bool given = !value.isNull();
    const bool differs = given && std::fabs(value.rval() - computed) > 1e-9 * std::fabs(computed);
    if (outlet.branch == ElementHandler::BranchSpec) {
        // The document decides: a difference is an error in the model, and the value stays.
        if (differs || !given) {
            FIAttribute text(outlet.name().c_str());
            text.Append(" ").Append(fieldName).Append(": specified as ").Append(value);
            text.Append(", but the balance gives ").Append(computed);
            Report(messages, SeverityError, unit, text);
        }
        return;
    }
    if (outlet.branch == ElementHandler::BranchBoth && differs) {
        FIAttribute text(outlet.name().c_str());
        text.Append(" ").Append(fieldName).Append(": computed ").Append(computed);
        text.Append(", the document gave ").Append(value);
        Report(messages, SeverityWarning, unit, text);
    }
    value = computed;
}
