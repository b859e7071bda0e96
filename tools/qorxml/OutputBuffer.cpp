#include "qorxml/OutputBuffer.h"

#include "qorxml/Descriptors.h"

#include <array>

namespace qorxml {
namespace {

// The bytes that Escape writes as they are: printable ASCII except the backslash.
constexpr std::array<bool, 256> MakePlainTable() {
    std::array<bool, 256> plain{};
    for (int byte = 0x20; byte < 0x7F; ++byte) {
        plain[byte] = byte != '\\';
    }
    return plain;
}

constexpr std::array<bool, 256> k_plain = MakePlainTable();

} // namespace

void StandardSink::Out(const char* data, size_t size) {
    if (!WriteAll(1, data, size)) {
        m_failed = true;
    }
}

void StandardSink::Err(const std::string& line) {
    WriteAll(2, line.data(), line.size());
}

void OutputBuffer::Write(const char* data, size_t size) {
    if (size > sizeof m_buffer - m_used) {
        Flush();
        if (size > sizeof m_buffer) {
            m_sink.Out(data, size);
            return;
        }
    }
    std::memcpy(m_buffer + m_used, data, size);
    m_used += size;
}

void OutputBuffer::Escape(const char* text, bool quoted) {
    static const char k_hex[] = "0123456789abcdef";
    const auto* byte = reinterpret_cast<const unsigned char*>(text);
    for (;;) {
        // Plain runs go out whole.
        const unsigned char* run = byte;
        while (k_plain[*byte] && !(quoted && *byte == '"')) {
            ++byte;
        }
        Write(reinterpret_cast<const char*>(run), static_cast<size_t>(byte - run));
        switch (*byte) {
        case 0:
            return;
        case '\\':
            Write("\\\\", 2);
            break;
        case '\n':
            Write("\\n", 2);
            break;
        case '\r':
            Write("\\r", 2);
            break;
        case '\t':
            Write("\\t", 2);
            break;
        case '"':
            Write("\\\"", 2);
            break;
        default: {
            const char escaped[4] = {'\\', 'x', k_hex[*byte >> 4], k_hex[*byte & 0xF]};
            Write(escaped, sizeof escaped);
        }
        }
        ++byte;
    }
}

void OutputBuffer::Flush() {
    if (m_used != 0) {
        m_sink.Out(m_buffer, m_used);
        m_used = 0;
    }
}

} // namespace qorxml
