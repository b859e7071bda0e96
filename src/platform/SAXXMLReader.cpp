#include <QorUtils/platform/SAXXMLReader.h>

#include "platform/SAXParseSession.h"

#include <new>

namespace MSXML2 {
namespace {

template <typename Handler> void replaceHandler(Handler*& held, Handler* handler) {
    if (handler != nullptr) {
        handler->AddRef();
    }
    Handler* previous = held;
    held = handler;
    if (previous != nullptr) {
        previous->Release();
    }
}

// Marks the reader busy for the duration of one parse.
class BusyScope {
public:
    explicit BusyScope(bool& busy) : m_busy(busy) { m_busy = true; }
    ~BusyScope() { m_busy = false; }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    bool& m_busy;
};

} // namespace

SAXXMLReader::~SAXXMLReader() {
    replaceHandler<ISAXContentHandler>(m_pContentHandler, nullptr);
    replaceHandler<ISAXErrorHandler>(m_pErrorHandler, nullptr);
}

long SAXXMLReader::putContentHandler(ISAXContentHandler* handler) {
    replaceHandler(m_pContentHandler, handler);
    return S_OK;
}

long SAXXMLReader::putErrorHandler(ISAXErrorHandler* handler) {
    replaceHandler(m_pErrorHandler, handler);
    return S_OK;
}

long SAXXMLReader::parseURL(const char* path) {
    if (m_bParsing) {
        return SAXREADER_E_BUSY;
    }
    const BusyScope busy(m_bParsing);
    try {
        detail::SAXParseSession session(m_pContentHandler, m_pErrorHandler);
        return session.parseFile(path);
    } catch (const std::bad_alloc&) {
        return SAXREADER_E_MEMORY;
    } catch (...) {
        return E_FAIL;
    }
}

long SAXXMLReader::parseDescriptor(int fd, const char* systemId, uint64_t* bytesRead) {
    if (bytesRead != nullptr) {
        *bytesRead = 0;
    }
    if (m_bParsing) {
        return SAXREADER_E_BUSY;
    }
    const BusyScope busy(m_bParsing);
    try {
        detail::SAXParseSession session(m_pContentHandler, m_pErrorHandler);
        return session.parseDescriptor(fd, systemId, bytesRead);
    } catch (const std::bad_alloc&) {
        return SAXREADER_E_MEMORY;
    } catch (...) {
        return E_FAIL;
    }
}

long SAXXMLReader::parse(const char* data, size_t size) {
    if (m_bParsing) {
        return SAXREADER_E_BUSY;
    }
    const BusyScope busy(m_bParsing);
    try {
        detail::SAXParseSession session(m_pContentHandler, m_pErrorHandler);
        return session.parseMemory(data, size);
    } catch (const std::bad_alloc&) {
        return SAXREADER_E_MEMORY;
    } catch (...) {
        return E_FAIL;
    }
}

} // namespace MSXML2
