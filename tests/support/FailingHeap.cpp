#include "support/FailingHeap.h"

#include <algorithm>
#include <cerrno>
#include <cstddef>

#if defined(__SANITIZE_ADDRESS__)
#define QORTEST_SANITIZER_HEAP 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QORTEST_SANITIZER_HEAP 1
#endif
#endif

#if QORTEST_SANITIZER_HEAP
// Declared here: GCC ships no <sanitizer/allocator_interface.h>, though its runtime has the hook.
using MallocHook = void (*)(const volatile void*, size_t);
using FreeHook = void (*)(const volatile void*);
extern "C" int __sanitizer_install_malloc_and_free_hooks(MallocHook, FreeHook);
#endif

namespace {

bool g_counting = false;
qortest::Refusal g_refusal;
qortest::HeapUse g_use;

// Counts one allocation of `size` bytes; answers whether it is refused.
bool CountAllocation(size_t size) {
    if (!g_counting) {
        return false;
    }
    g_use.largest = std::max(g_use.largest, size);
    const int index = g_use.allocations++;
    switch (g_refusal.kind) {
    case qortest::Refusal::From:
        return index >= g_refusal.index;
    case qortest::Refusal::Only:
        return index == g_refusal.index;
    default:
        return false;
    }
}

} // namespace

#if QORTEST_SANITIZER_HEAP

namespace {

void OnSanitizerMalloc(const volatile void*, size_t size) {
    CountAllocation(size);
}
void OnSanitizerFree(const volatile void*) {}
const bool g_hooked =
    __sanitizer_install_malloc_and_free_hooks(OnSanitizerMalloc, OnSanitizerFree) != 0;

} // namespace

bool qortest::HeapCountingInstalled() {
    return g_hooked;
}
bool qortest::HeapCanRefuse() {
    return false;
}

#else

namespace {

void CountBlocks(long change) {
    if (g_counting) {
        g_use.live += change;
    }
}

// A refusal sets errno as the C library's own does.
void* Refuse() {
    errno = ENOMEM;
    return nullptr;
}

} // namespace

extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* block, size_t size);
void __libc_free(void* block);
void* __libc_memalign(size_t alignment, size_t size);

void* malloc(size_t size) noexcept {
    void* block = CountAllocation(size) ? Refuse() : __libc_malloc(size);
    CountBlocks(block != nullptr);
    return block;
}
void* calloc(size_t count, size_t size) noexcept {
    void* block = CountAllocation(count * size) ? Refuse() : __libc_calloc(count, size);
    CountBlocks(block != nullptr);
    return block;
}
void* realloc(void* block, size_t size) noexcept {
    if (block != nullptr && size == 0) {
        CountBlocks(-1);
        return __libc_realloc(block, size);
    }
    void* moved = CountAllocation(size) ? Refuse() : __libc_realloc(block, size);
    CountBlocks(block == nullptr && moved != nullptr);
    return moved;
}
void free(void* block) noexcept {
    CountBlocks(-(block != nullptr));
    __libc_free(block);
}
// Aligned blocks, freed by free: LLVM's C++ runtime allocates its exceptions so.
void* aligned_alloc(size_t alignment, size_t size) noexcept {
    void* block = CountAllocation(size) ? Refuse() : __libc_memalign(alignment, size);
    CountBlocks(block != nullptr);
    return block;
}
int posix_memalign(void** block, size_t alignment, size_t size) noexcept {
    if (alignment % sizeof(void*) != 0 || (alignment & (alignment - 1)) != 0) {
        return EINVAL;
    }
    void* aligned = aligned_alloc(alignment, size);
    if (aligned == nullptr) {
        return ENOMEM;
    }
    *block = aligned;
    return 0;
}
}

bool qortest::HeapCountingInstalled() {
    return true;
}
bool qortest::HeapCanRefuse() {
    return true;
}

#endif

void qortest::StartHeapCount(Refusal refusal) {
    g_use = HeapUse{};
    g_refusal = refusal;
    g_counting = true;
}

qortest::HeapUse qortest::StopHeapCount() {
    g_counting = false;
    g_refusal = Refusal{};
    return g_use;
}
