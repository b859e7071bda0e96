#include "text/TextKernels.h"

#include "text/KernelSets.h"

namespace qorutils {
namespace text {

const TextKernels& ChooseTextKernels() {
#if defined(__x86_64__)
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("popcnt")) {
        return kAvx2Kernels;
    }
    if (__builtin_cpu_supports("ssse3")) {
        return kSsse3Kernels;
    }
    return kSse2Kernels;
#else
    return kPlainKernels;
#endif
}

std::vector<const TextKernels*> UsableTextKernels() {
    std::vector<const TextKernels*> kernels{&kPlainKernels};
#if defined(__x86_64__)
    __builtin_cpu_init();
    kernels.push_back(&kSse2Kernels);
    if (__builtin_cpu_supports("ssse3")) {
        kernels.push_back(&kSsse3Kernels);
    }
    if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("popcnt")) {
        kernels.push_back(&kAvx2Kernels);
    }
#endif
    return kernels;
}

} // namespace text
} // namespace qorutils
