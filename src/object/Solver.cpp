#include <QorUtils/object/Solver.h>

namespace FI {
namespace {

FIMessageChain& NotSupported(FIMessageChain& messages) {
    messages.Add(FIMessageNotSupported, 0, 0, "Not Supported");
    return messages;
}

} // namespace

Solver::~Solver() = default;

FIMessageChain& Solver::SynchronousExecute(double, FIMessageChain& messages) {
    return NotSupported(messages);
}

FIMessageChain& Solver::SynchronousExecute(FIMessageChain& messages) {
    return NotSupported(messages);
}

bool Solver::AsynchronousExecute(double) {
    return false;
}

bool Solver::AsynchronousExecute() {
    return false;
}

void Solver::Stop() {}

void Solver::Restart() {}

double Solver::GetTickCount() {
    return 0.0;
}

void Solver::SetCurrentTime(double) {}

FIAttribute& Solver::SaveState(FIAttribute& state) {
    return state.Clear();
}

bool Solver::RestoreState(FIAttribute) {
    return false;
}

bool Solver::AttachNotify(void*, FISolverNotify, FISolverNotifyProc) {
    return false;
}

bool Solver::DetachNotify(void*, FISolverNotify) {
    return false;
}

} // namespace FI
