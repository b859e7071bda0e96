// OutputBuffer: the output of one document being read, on its way to standard output. Bytes
// gather in a fixed buffer and leave in large writes to an OutputSink, so printing an event costs
// no system call and no allocation. Escape writes a text with the byte escapes of qorxml's output;
// Message hands a line for standard error to the sink after the bytes written before it. One
// buffer per thread; the sink is borrowed.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <string>

namespace qorxml {

// Where an OutputBuffer's bytes go, with the lines for standard error in their place among them.
class OutputSink {
public:
    virtual ~OutputSink() = default;
    // Takes bytes for standard output.
    virtual void Out(const char* data, size_t size) = 0;
    // Takes a whole line for standard error, which follows every byte given to Out before it.
    virtual void Err(const std::string& line) = 0;
};

// Standard output and standard error themselves, written straight to their descriptors (waiting
// when they do not block and are full), so that the two streams keep their order. Not
// thread-safe: one writer at a time.
class StandardSink final : public OutputSink {
public:
    void Out(const char* data, size_t size) override;
    void Err(const std::string& line) override;
    // Whether a write to standard output has failed (a full disk, a closed pipe).
    bool Failed() const { return m_failed; }

private:
    std::atomic<bool> m_failed{false};
};

class OutputBuffer {
public:
    explicit OutputBuffer(OutputSink& sink) : m_sink(sink) {}
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
    // Hands the buffered bytes to the sink.
    void Flush();
    // Hands the buffered bytes and then `line`, for standard error, to the sink.
    void Message(const std::string& line) {
        Flush();
        m_sink.Err(line);
    }

private:
    OutputSink& m_sink;
    size_t m_used = 0;
    char m_buffer[64 * 1024];
};

} // namespace qorxml
