#include <QorUtils/xml/SAXErrorHandlerImpl.h>

#include "log/LogLevel.h"
#include "text/ByteText.h"
#include "text/Narrow.h"
#include "xml/XmlSupport.h"

#include <cstdint>

using MSXML2::ISAXLocator;
using qorutils::k_descriptionLimit;

namespace {

constexpr int k_warningLevel = 5;

// Writes "  XML Parser KIND: 0x<code>[ at line L column C], <description>" at `level`.
void Report(const char* kind, int level, ISAXLocator* locator, unsigned short* description,
            long code) {
    if (!qorutils::LogWrites(level)) {
        return;
    }
    char text[k_descriptionLimit + 1];
    // As bytes, as file names are: a description may quote one.
    const int units = qorutils::text::BoundedLength(description, k_descriptionLimit);
    int taken = 0;
    qorutils::text::BytesFromUtf16(text, description, units, k_descriptionLimit, &taken);
    // The parser ends its descriptions with a line end, which the log line does without: the
    // last two characters of those that fit go, whole (a surrogate pair is one).
    const int kept = qorutils::text::WithoutLastCharacters(description, taken, 2);
    if (kept > 0) {
        qorutils::text::BytesFromUtf16(text, description, kept, k_descriptionLimit);
    }
    const unsigned hexCode = static_cast<uint32_t>(code);
    if (locator == nullptr) {
        qorutils::LogLine(level, "  XML Parser %s: 0x%8X, %s", kind, hexCode, text);
        return;
    }
    int line = 0;
    int column = 0;
    locator->getLineNumber(&line);
    locator->getColumnNumber(&column);
    qorutils::LogLine(level, "  XML Parser %s: 0x%8X at line %d column %d, %s", kind, hexCode, line,
                      column, text);
}

} // namespace

long SAXErrorHandlerImpl::QueryInterface(const GUID& riid, void** ppv) {
    return qorutils::QueryOwnInterface(this, IID_ISAXErrorHandler, riid, ppv);
}

unsigned long SAXErrorHandlerImpl::AddRef() {
    return static_cast<unsigned long>(++m_cRef);
}

unsigned long SAXErrorHandlerImpl::Release() {
    if (--m_cRef > 0) {
        return static_cast<unsigned long>(m_cRef);
    }
    m_cRef = 1;
    delete this;
    return 0;
}

long SAXErrorHandlerImpl::error(ISAXLocator* locator, unsigned short* description, long code) {
    Report("error", qorutils::k_errorLevel, locator, description, code);
    return S_OK;
}

long SAXErrorHandlerImpl::fatalError(ISAXLocator* locator, unsigned short* description, long code) {
    Report("fatal error", qorutils::k_errorLevel, locator, description, code);
    return S_OK;
}

long SAXErrorHandlerImpl::ignorableWarning(ISAXLocator* locator, unsigned short* description,
                                           long code) {
    Report("warning", k_warningLevel, locator, description, code);
    return S_OK;
}

void SAXErrorHandlerImpl::myconvert(char* dest, unsigned short* text, int length) {
    qorutils::text::NarrowToZero(dest, text, length, qorutils::text::kNarrowLimit);
}
