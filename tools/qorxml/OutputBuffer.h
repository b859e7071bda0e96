// OutputBuffer: qorxml's standard output. Bytes gather in a fixed buffer and leave in large
// writes, so printing an event costs no system call and no allocation. Escape writes a text with
// the byte escapes of qorxml's output. Not thread-safe; one per program.
#pragma once

#include <cstddef>
#include <cstdio>
#include <cstring>

namespace qorxml {

class OutputBuffer {
public:
    explicit OutputBuffer(std::FILE* stream) : m_stream(stream) {}
    // Writes what is still buffered.
    ~OutputBuffer() { Flush(); }
    OutputBuffer(const OutputBuffer&) = delete;
    OutputBuffer& operator=(const OutputBuffer&) = delete;

    void Write(const char* data, size_t size);
    void Write(const char* text) { Write(text, std::strlen(text)); }
    void Put(char c) {
        if (m_used == sizeof m_buffer) {
            Flush();
        }
        m_buffer[m_used++] = c;
    }
    // Writes `text` byte by byte: backslash as \\, line feed as \n, carriage return as \r, tab as
    // \t, every other byte below 0x20, 0x7F and every byte from 0x80 as \x and two lower-case hex
    // digits. With `quoted`, a double quote is written as \" as well.
    void Escape(const char* text, bool quoted = false);
    // Hands the buffered bytes to the stream and flushes it.
    void Flush();
    // Whether a write has failed (a full disk, a closed pipe).
    bool Failed() const { return m_failed; }

private:
    std::FILE* m_stream;
    size_t m_used = 0;
    bool m_failed = false;
    char m_buffer[64 * 1024];
};

} // namespace qorxml
