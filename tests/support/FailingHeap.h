// Counts the heap allocations of a piece of work and can refuse them, for tests of what the
// library does when memory runs out. The normal build replaces malloc, calloc, realloc, free,
// aligned_alloc and posix_memalign for the whole test program with counting wrappers over the C
// library's own allocator (FailingHeap.cpp, linked only into the programs that name it in
// tests/CMakeLists.txt); under AddressSanitizer, which owns malloc, its allocation hook counts
// and nothing can be refused.
#pragma once

#include <cstddef>

namespace qortest {

struct HeapUse {
    // Allocations asked for, refused ones included.
    int allocations = 0;
    // Blocks allocated and not freed during the work, minus blocks from before that it freed;
    // 0 under the sanitizer, which does not tell.
    long live = 0;
    // The largest block asked for, in bytes.
    size_t largest = 0;
};

// Which allocations of the work are refused: none; every one from the given (zero-based)
// index on; or only the one at that index.
struct Refusal {
    enum Kind { None, From, Only } kind = None;
    int index = 0;
};

// False only when the sanitizer refused the hook.
bool HeapCountingInstalled();
// True in the normal build, false under the sanitizer.
bool HeapCanRefuse();

void StartHeapCount(Refusal refusal);
HeapUse StopHeapCount();

template <typename Work> HeapUse HeapUseOf(Work&& work, Refusal refusal = {}) {
    StartHeapCount(refusal);
    work();
    return StopHeapCount();
}

} // namespace qortest
