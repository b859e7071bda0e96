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

// Runs one parse in a session that the reader's slot points to while it runs. Nothing here
// touches the reader after the session starts: a callback may have deleted it.
template <typename Parse>
long runSession(ISAXContentHandler* content, ISAXErrorHandler* errors,
                detail::SAXParseSession*& slot, Parse parse) {
    if (slot != nullptr) {
        return SAXREADER_E_BUSY;
    }
    try {
        detail::SAXParseSession session(content, errors, slot);
        return parse(session);
    } catch (const std::bad_alloc&) {
        return SAXREADER_E_MEMORY;
    } catch (...) {
        return E_FAIL;
    }
}

} // namespace

SAXXMLReader::~SAXXMLReader() {
    if (m_pSession != nullptr) {
        m_pSession->abandon();
    }
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
    return runSession(m_pContentHandler, m_pErrorHandler, m_pSession,
                      [&](detail::SAXParseSession& session) { return session.parseFile(path); });
}

long SAXXMLReader::parseDescriptor(int fd, const char* systemId, uint64_t* bytesRead) {
    if (bytesRead != nullptr) {
        *bytesRead = 0;
    }
    return runSession(m_pContentHandler, m_pErrorHandler, m_pSession,
                      [&](detail::SAXParseSession& session) {
                          return session.parseDescriptor(fd, systemId, bytesRead);
                      });
}

long SAXXMLReader::parse(const char* data, size_t size) {
    return runSession(
        m_pContentHandler, m_pErrorHandler, m_pSession,
        [&](detail::SAXParseSession& session) { return session.parseMemory(data, size); });
}

} // namespace MSXML2
