#include <QorUtils/xml/SAXContentHandlerImpl.h>

#include <QorUtils/xml/ElementHandler.h>

#include "platform/ReaderShortcuts.h"
#include "xml/HandlerTree.h"
#include "xml/XmlSupport.h"

#include <cstring>

using MSXML2::ISAXAttributes;
using MSXML2::ISAXLocator;

SAXContentHandlerImpl::SAXContentHandlerImpl(ElementHandler* handler) : m_pHandler(handler) {}

SAXContentHandlerImpl::~SAXContentHandlerImpl() {
    // A parse that ended without endDocument leaves the locator held.
    if (m_pLocator != nullptr) {
        m_pLocator->Release();
    }
    delete m_pHandler;
}

namespace {

// The virtual table of an adapter: the pointer at the start of every object of a class with
// virtual functions, in the C++ ABI that GCC and Clang follow.
const void* VirtualTable(const SAXContentHandlerImpl& adapter) {
    const void* table;
    std::memcpy(&table, static_cast<const void*>(&adapter), sizeof table);
    return table;
}

} // namespace

// The narrow interface replaces startElement, endElement and characters, which a derived class
// may override: it is offered only when this object is an adapter of this class itself, the one
// kind of object with this class's virtual table. typeid would tell the same from the type
// information in that table, which a class that a host derived without RTTI does not have.
long SAXContentHandlerImpl::QueryInterface(const GUID& riid, void** ppv) {
    static const void* const k_ownTable = VirtualTable(SAXContentHandlerImpl(nullptr));
    if (ppv != nullptr && riid == MSXML2::detail::IID_ISAXNarrowContentHandler &&
        VirtualTable(*this) == k_ownTable) {
        return qorutils::HandlerTree::QueryNarrow(*this, ppv);
    }
    return qorutils::QueryOwnInterface(this, IID_ISAXContentHandler, riid, ppv);
}

unsigned long SAXContentHandlerImpl::AddRef() {
    return static_cast<unsigned long>(++m_cRef);
}

unsigned long SAXContentHandlerImpl::Release() {
    if (--m_cRef > 0) {
        return static_cast<unsigned long>(m_cRef);
    }
    m_cRef = 1;
    delete this;
    return 0;
}

long SAXContentHandlerImpl::putDocumentLocator(ISAXLocator* locator) {
    if (locator != nullptr) {
        locator->AddRef();
    }
    if (m_pLocator != nullptr) {
        m_pLocator->Release();
    }
    m_pLocator = locator;
    return S_OK;
}

long SAXContentHandlerImpl::startDocument() {
    return S_OK;
}

long SAXContentHandlerImpl::endDocument() {
    if (m_pLocator != nullptr) {
        m_pLocator->Release();
        m_pLocator = nullptr;
    }
    return S_OK;
}

long SAXContentHandlerImpl::startPrefixMapping(unsigned short*, int, unsigned short*, int) {
    return S_OK;
}

long SAXContentHandlerImpl::endPrefixMapping(unsigned short*, int) {
    return S_OK;
}

// Given back through Release itself, which keeps the count at 1 while the destructors run.
long SAXContentHandlerImpl::EndTreeCall() {
    return SAXContentHandlerImpl::Release() == 0 ? E_ABORT : S_OK;
}

// The tree's own results are always S_OK.
long SAXContentHandlerImpl::startElement(unsigned short* namespaceUri, int namespaceUriLength,
                                         unsigned short* localName, int localNameLength,
                                         unsigned short* qName, int qNameLength,
                                         ISAXAttributes* attributes) {
    return qorutils::HandlerTree::CallTree(*this, [&](ElementHandler& tree) {
        tree.startElement(namespaceUri, namespaceUriLength, localName, localNameLength, qName,
                          qNameLength, attributes, m_pLocator);
    });
}

long SAXContentHandlerImpl::endElement(unsigned short* namespaceUri, int namespaceUriLength,
                                       unsigned short* localName, int localNameLength,
                                       unsigned short* qName, int qNameLength) {
    return qorutils::HandlerTree::CallTree(*this, [&](ElementHandler& tree) {
        tree.endElementX(namespaceUri, namespaceUriLength, localName, localNameLength, qName,
                         qNameLength, m_pLocator);
    });
}

long SAXContentHandlerImpl::characters(unsigned short* chars, int length) {
    return qorutils::HandlerTree::CallTree(
        *this, [&](ElementHandler& tree) { tree.characters(chars, length, m_pLocator); });
}

long SAXContentHandlerImpl::ignorableWhitespace(unsigned short*, int) {
    return S_OK;
}

long SAXContentHandlerImpl::processingInstruction(unsigned short*, int, unsigned short*, int) {
    return S_OK;
}

long SAXContentHandlerImpl::skippedEntity(unsigned short*, int) {
    return S_OK;
}
