// SAXContentHandlerImpl: the content handler given to a SAX parser. It forwards element and
// text events, with the document locator it keeps, to the handler tree that it owns (normally
// a TopHandler) and deletes with itself. A COM object: it starts with one reference and
// deletes itself when Release brings the count to 0; released by a handler of its tree during
// one of its own callbacks, it waits for the callback to end and answers E_ABORT. An adapter
// and its tree serve one document, on one thread at a time (counts are plain); different
// adapters may read on different threads at once.
#pragma once

#include <QorUtils/Export.h>
#include <QorUtils/platform/SAX.h>

#include <cstdint>

class ElementHandler;
namespace qorutils {
struct HandlerTree;
}

class QORUTILS_API SAXContentHandlerImpl : public MSXML2::ISAXContentHandler {
public:
    // Takes ownership of the handler tree; with a null tree the events go nowhere.
    explicit SAXContentHandlerImpl(ElementHandler* handler);
    SAXContentHandlerImpl(const SAXContentHandlerImpl&) = delete;
    SAXContentHandlerImpl& operator=(const SAXContentHandlerImpl&) = delete;

    // Answers IID_IUnknown and IID_ISAXContentHandler with this object, adding a reference;
    // anything else with null and E_NOINTERFACE (but the reader's private shortcut, which an
    // object of this class itself answers); a null ppv with E_POINTER.
    long QueryInterface(const GUID& riid, void** ppv) override;
    unsigned long AddRef() override;
    // Deletes the object when the count reaches 0, holding it at 1 meanwhile: code run by the
    // destructors (of a derived class, of the handlers) may take and drop references.
    unsigned long Release() override;

    // Keeps a reference on the locator, giving back one held before.
    long putDocumentLocator(MSXML2::ISAXLocator* locator) override;
    long startDocument() override;
    // Gives back the locator.
    long endDocument() override;
    long startPrefixMapping(unsigned short* prefix, int prefixLength, unsigned short* uri,
                            int uriLength) override;
    long endPrefixMapping(unsigned short* prefix, int prefixLength) override;
    long startElement(unsigned short* namespaceUri, int namespaceUriLength,
                      unsigned short* localName, int localNameLength, unsigned short* qName,
                      int qNameLength, MSXML2::ISAXAttributes* attributes) override;
    // S_OK whatever the handler tree made of the end.
    long endElement(unsigned short* namespaceUri, int namespaceUriLength, unsigned short* localName,
                    int localNameLength, unsigned short* qName, int qNameLength) override;
    long characters(unsigned short* chars, int length) override;
    // Ignorable white space never reaches the handler tree.
    long ignorableWhitespace(unsigned short* chars, int length) override;
    long processingInstruction(unsigned short* target, int targetLength, unsigned short* data,
                               int dataLength) override;
    long skippedEntity(unsigned short* name, int nameLength) override;

protected:
    // Deletes the handler tree and gives back a locator still held.
    virtual ~SAXContentHandlerImpl();

private:
    friend struct qorutils::HandlerTree;

    // Ends a call into the handler tree, for which the adapter took a reference of its own:
    // a handler may have released the adapter meanwhile. Deleted now, it answers E_ABORT.
    long EndTreeCall();

    ElementHandler* m_pHandler;
    MSXML2::ISAXLocator* m_pLocator = nullptr;
    int32_t m_cRef = 1;
};
