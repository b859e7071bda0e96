// Preloaded into the example module by its test, this definition takes the place of the
// library's FITopEntry::Create and fails as Create does when memory runs out: it gives null,
// leaving the solver to the caller (the caller's handle argument gives its reference back).
#include <QorUtils/top/FITopEntry.h>

FITopEntry* FITopEntry::Create(FI::ObjectPtr<FI::Context>, void (**)(), FI::Solver*) {
    return nullptr;
}
