#include "text/TextKernels.h"

#include "text/KernelSets.h"

namespace qorutils {
namespace text {

namespace {

#if defined(__x86_64__)
bool HasAvx512() {
    return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
           __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512vbmi2") &&
           __builtin_cpu_supports("popcnt") && __builtin_cpu_supports("bmi2");
}

bool HasAvx2() {
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("popcnt");
}
#endif

} // namespace

// The last of UsableTextKernels, the fastest.
const TextKernels& ChooseTextKernels() {
    return *UsableTextKernels().back();
}

std::vector<const TextKernels*> UsableTextKernels() {
    std::vector<const TextKernels*> kernels{&kPlainKernels};
#if defined(__x86_64__)
    __builtin_cpu_init();
    kernels.push_back(&kSse2Kernels);
    if (__builtin_cpu_supports("ssse3")) {
        kernels.push_back(&kSsse3Kernels);
    }
    if (HasAvx2()) {
        kernels.push_back(&kAvx2Kernels);
    }
    if (HasAvx512()) {
        kernels.push_back(&kAvx512Kernels);
    }
#endif
    return kernels;
}

} // namespace text
} // namespace qorutils
