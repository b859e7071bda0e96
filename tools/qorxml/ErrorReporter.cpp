#include "qorxml/ErrorReporter.h"

#include <cstdint>
#include <cstdio>
#include <string>

using MSXML2::ISAXLocator;

namespace qorxml {
namespace {

bool IsLineBreak(unsigned short unit) {
    return unit == '\n' || unit == '\r';
}

void AppendUtf8(std::string& out, uint32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
        return;
    }
    const int more = code < 0x800 ? 1 : code < 0x10000 ? 2 : 3;
    out += static_cast<char>(((0xF0u << (3 - more)) & 0xFFu) | (code >> (6 * more)));
    for (int i = more - 1; i >= 0; --i) {
        out += static_cast<char>(0x80u | ((code >> (6 * i)) & 0x3Fu));
    }
}

// The UTF-16 description as UTF-8, without the line break that ends it. A file name quoted in
// it comes back byte for byte: the reader keeps a byte that is no part of UTF-8 as the lone
// surrogate U+DC00 + byte; another lone surrogate becomes U+FFFD.
std::string DescriptionUtf8(const unsigned short* text) {
    size_t length = 0;
    while (text != nullptr && text[length] != 0) {
        ++length;
    }
    while (length > 0 && IsLineBreak(text[length - 1])) {
        --length;
    }
    std::string out;
    for (size_t i = 0; i < length; ++i) {
        uint32_t code = text[i];
        const bool high = code >= 0xD800 && code <= 0xDBFF;
        if (high && i + 1 < length && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            code = 0x10000 + ((code - 0xD800) << 10) + (text[++i] - 0xDC00u);
        } else if (code >= 0xDC80 && code <= 0xDCFF) {
            out += static_cast<char>(code & 0xFF);
            continue;
        } else if (code >= 0xD800 && code <= 0xDFFF) {
            code = 0xFFFD;
        }
        AppendUtf8(out, code);
    }
    return out;
}

} // namespace

long ErrorReporter::error(ISAXLocator* locator, unsigned short* description, long code) {
    SAXErrorHandlerImpl::error(locator, description, code);
    Report(locator, description);
    return S_OK;
}

long ErrorReporter::fatalError(ISAXLocator* locator, unsigned short* description, long code) {
    SAXErrorHandlerImpl::fatalError(locator, description, code);
    Report(locator, description);
    return S_OK;
}

void ErrorReporter::Report(ISAXLocator* locator, unsigned short* description) {
    int line = 0;
    int column = 0;
    if (locator != nullptr) {
        locator->getLineNumber(&line);
        locator->getColumnNumber(&column);
    }
    if (m_out == nullptr) {
        return;
    }
    const std::string text = m_path + (":" + std::to_string(line) + ":" + std::to_string(column) +
                                       ": error: " + DescriptionUtf8(description) + "\n");
    m_out->Flush();
    if (m_progress != nullptr) {
        m_progress->Erase();
    }
    m_out->Message(text);
}

} // namespace qorxml
