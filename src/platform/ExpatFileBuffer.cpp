#include "platform/ExpatFileBuffer.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include <sys/mman.h>
#include <unistd.h>

namespace MSXML2 {
namespace detail {
namespace {

// The object whose attach() is asking expat for its buffer.
thread_local ExpatFileBuffer* t_pending = nullptr;
// The objects of this thread that hold a range.
thread_local ExpatFileBuffer* t_ranges = nullptr;

size_t pageDown(size_t offset) {
    static const auto page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    return offset - offset % page;
}

} // namespace

const XML_Memory_Handling_Suite* ExpatFileBuffer::MemorySuite() {
    static const XML_Memory_Handling_Suite suite = {allocate, reallocate, free};
    return &suite;
}

ExpatFileBuffer::~ExpatFileBuffer() {
    unmapRange();
}

void* ExpatFileBuffer::allocate(size_t length) {
    ExpatFileBuffer* pending = t_pending;
    if (pending != nullptr && length >= pending->m_size) {
        t_pending = nullptr;
        if (pending->mapRange(length)) {
            return pending->m_base;
        }
    }
    return std::malloc(length);
}

// Expat grows its buffer by allocating anew, never by realloc; a range is still moved safely.
void* ExpatFileBuffer::reallocate(void* block, size_t length) {
    for (ExpatFileBuffer* range = t_ranges; range != nullptr; range = range->m_next) {
        if (range->m_base == block) {
            void* moved = std::malloc(length);
            if (moved != nullptr) {
                std::memcpy(moved, block, std::min(length, range->m_length));
                range->unmapRange();
            }
            return moved;
        }
    }
    return std::realloc(block, length);
}

void ExpatFileBuffer::free(void* block) {
    for (ExpatFileBuffer* range = t_ranges; range != nullptr; range = range->m_next) {
        if (range->m_base == block) {
            range->unmapRange();
            return;
        }
    }
    std::free(block);
}

bool ExpatFileBuffer::attach(XML_Parser parser, int fd, size_t size) {
    m_fd = fd;
    m_size = size;
    t_pending = this;
    void* buffer = XML_GetBuffer(parser, static_cast<int>(size));
    t_pending = nullptr;
    return buffer != nullptr && buffer == m_base;
}

// Reserves `length` bytes of address space and shows the file at its start. The mapping is
// private and writable, as expat's buffer is, though expat only reads it.
bool ExpatFileBuffer::mapRange(size_t length) {
    void* base = mmap(nullptr, length, PROT_READ | PROT_WRITE,
                      MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (base == MAP_FAILED) {
        return false;
    }
    if (mmap(base, m_size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_FIXED, m_fd, 0) ==
        MAP_FAILED) {
        munmap(base, length);
        return false;
    }
    madvise(base, m_size, MADV_SEQUENTIAL);
    m_base = static_cast<char*>(base);
    m_length = length;
    m_next = t_ranges;
    t_ranges = this;
    return true;
}

void ExpatFileBuffer::unmapRange() {
    if (m_base == nullptr) {
        return;
    }
    munmap(m_base, m_length);
    m_base = nullptr;
    for (ExpatFileBuffer** link = &t_ranges; *link != nullptr; link = &(*link)->m_next) {
        if (*link == this) {
            *link = m_next;
            break;
        }
    }
}

void ExpatFileBuffer::release(size_t offset) {
    const size_t to = pageDown(std::min(offset, m_size));
    if (to > m_released && madvise(m_base + m_released, to - m_released, MADV_DONTNEED) == 0) {
        m_released = to;
    }
}

} // namespace detail
} // namespace MSXML2
