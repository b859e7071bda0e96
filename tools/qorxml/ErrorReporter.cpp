#include "qorxml/ErrorReporter.h"

#include <cstdio>
#include <cstring>

using MSXML2::ISAXLocator;

namespace qorxml {
namespace {

// The longest description that narrowing gives, and its NUL.
constexpr int k_narrowedSize = 4096 + 1;

int Length(const unsigned short* text) {
    int length = 0;
    while (text != nullptr && text[length] != 0 && length < k_narrowedSize - 1) {
        ++length;
    }
    return length;
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
    char text[k_narrowedSize];
    myconvert(text, description, Length(description));
    // The parser ends its descriptions with a line break.
    size_t length = std::strlen(text);
    while (length > 0 && (text[length - 1] == '\n' || text[length - 1] == '\r')) {
        text[--length] = '\0';
    }
    m_out.Flush();
    if (m_progress != nullptr) {
        m_progress->Erase();
    }
    std::fprintf(stderr, "%s:%d:%d: error: %s\n", m_path, line, column, text);
}

} // namespace qorxml
