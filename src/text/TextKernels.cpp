#include "text/TextKernels.h"

#include "text/KernelSets.h"

namespace qorutils {
namespace text {

const TextKernels& ChooseTextKernels() {
#if defined(__x86_64__)
    return kSse2Kernels;
#else
    return kPlainKernels;
#endif
}

std::vector<const TextKernels*> UsableTextKernels() {
    std::vector<const TextKernels*> kernels{&kPlainKernels};
#if defined(__x86_64__)
    kernels.push_back(&kSse2Kernels);
#endif
    return kernels;
}

} // namespace text
} // namespace qorutils
