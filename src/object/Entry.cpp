#include <QorUtils/object/Entry.h>

namespace FI {
namespace {

FIError& NotSupported(FIError& error) {
    error = "Not Supported";
    return error;
}

} // namespace

Entry::~Entry() = default;

FIError& Entry::SetNamedAttribute(const FIAttribute&, FIAttribute&, FIStoreType, FIError& error) {
    return NotSupported(error);
}

bool Entry::HasChildren() {
    return true;
}

bool Entry::AttachNotify(void*, FINotifyType, FIEntryNotifyProc) {
    return false;
}

bool Entry::DetachNotify(void*, FINotifyType) {
    return false;
}

CompareOrder Entry::Compare(const ObjectPtr<Entry>& other) const {
    FIAttribute otherName;
    FIAttribute ownName;
    if (other) {
        other->GetName(otherName);
    }
    GetName(ownName);
    return static_cast<CompareOrder>(ownName.compare(otherName));
}

FIError& Entry::SetApplicationUnit(FIAttribute&, FIError& error) {
    return NotSupported(error);
}

FIError& Entry::SetApplicationSpecUnit(FIAttribute&, FIError& error) {
    return NotSupported(error);
}

FIError& Entry::SetValueAttribute(FIAttribute&, FIStoreType, FIError& error) {
    return NotSupported(error);
}

FIError& Entry::SetValueAndUnitsAttributes(FIAttribute&, FIAttribute&, FIStoreType,
                                           FIError& error) {
    return NotSupported(error);
}

FIError& Entry::SetSpecValueAttribute(FIAttribute&, FIStoreType, FIError& error) {
    return NotSupported(error);
}

FIError& Entry::SetSpecValueAndUnitsAttributes(FIAttribute&, FIAttribute&, FIStoreType,
                                               FIError& error) {
    return NotSupported(error);
}

FIError& Entry::SetDisplayUnit(FIAttribute&, FIAttribute&, FIError& error) {
    return NotSupported(error);
}

FIError& Entry::SetDisplaySpecUnit(FIAttribute&, FIAttribute&, FIError& error) {
    return NotSupported(error);
}

void Entry::SetDisplay(Display*) {}

bool Entry::GetSolver(FISolverType, Solver** ppSolver) {
    if (ppSolver != nullptr) {
        *ppSolver = nullptr;
    }
    return false;
}

bool Entry::GetConnections(Connection** connections) {
    if (connections != nullptr) {
        *connections = nullptr;
    }
    return false;
}

} // namespace FI
