// Lets expat read a regular file as one final piece. Expat scans every piece that is not the
// last a second time to keep its line and column, which costs about a sixth of a parse; a
// file given whole is scanned once. Expat's input buffer becomes an address range that shows
// the file through a private mapping, and the pages behind the parser are given back as it
// moves on, so the resident size stays bounded whatever the file's size. As with any mapped
// file, another process that truncates the file while it is read ends this one (SIGBUS).
//
// Expat allocates its buffer through the memory functions given when the parser is created;
// those of this class hand out the range when expat asks for it during attach(), and are
// malloc, realloc and free otherwise. State is per thread; an object serves one parser.
#pragma once

#include <expat.h>

#include <cstddef>

namespace MSXML2 {
namespace detail {

class ExpatFileBuffer {
public:
    // The largest file read this way: the largest buffer that expat can ask for.
    static constexpr size_t kLargestFile = size_t{1} << 30;

    // The memory functions to create the parser with.
    static const XML_Memory_Handling_Suite* MemorySuite();

    ExpatFileBuffer() = default;
    ~ExpatFileBuffer();
    ExpatFileBuffer(const ExpatFileBuffer&) = delete;
    ExpatFileBuffer& operator=(const ExpatFileBuffer&) = delete;

    // Makes the `size` bytes of the file (1 to kLargestFile) the input buffer of the parser,
    // which is new and was created with MemorySuite(). False when that cannot be done: the
    // parser then holds a buffer of its own and must not be used for this file.
    bool attach(XML_Parser parser, int fd, size_t size);
    bool attached() const { return m_base != nullptr; }
    // The parser has reached `offset`: gives back the pages behind it, a step at a time. A
    // page read again later (expat works out a position by scanning from the last one asked
    // for) comes back from the file.
    void advance(size_t offset) {
        if (offset >= m_released + kReleaseStep) {
            release(offset);
        }
    }

private:
    static constexpr size_t kReleaseStep = size_t{4} << 20;

    static void* allocate(size_t length);
    static void* reallocate(void* block, size_t length);
    static void free(void* block);

    bool mapRange(size_t length);
    void unmapRange();
    void release(size_t offset);

    int m_fd = -1;
    size_t m_size = 0;
    // The range expat asked for: the file, then (beyond its end) untouched zero memory.
    char* m_base = nullptr;
    size_t m_length = 0;
    // The pages before this offset have been given back.
    size_t m_released = 0;
    // The ranges of this thread, for free() to recognise.
    ExpatFileBuffer* m_next = nullptr;
};

} // namespace detail
} // namespace MSXML2
