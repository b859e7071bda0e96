// The SAX interfaces through which an XML reader reports a document. Strings are UTF-16
// code units (unsigned short*) with int lengths and need not be NUL-terminated, except where
// a comment says so. Pointers handed to a callback are lent for the duration of the call; a
// handler may write in a string within its length.
// Every operation returns S_OK or a failure code (see COM.h).
#pragma once

#include <QorUtils/platform/COM.h>

namespace MSXML2 {

// Where in the document the reader stands; lines and columns count from 1.
struct ISAXLocator : IUnknown {
    virtual long getColumnNumber(int* column) = 0;
    virtual long getLineNumber(int* line) = 0;
    // NUL-terminated; valid while the locator lives.
    virtual long getPublicId(unsigned short** publicId) = 0;
    // NUL-terminated: the document's path as given to the reader; valid while the locator lives.
    virtual long getSystemId(unsigned short** systemId) = 0;

protected:
    ~ISAXLocator() = default;
    // Copied as part of a derived object (a deep clone, say).
    ISAXLocator() = default;
    ISAXLocator(const ISAXLocator&) = default;
    ISAXLocator& operator=(const ISAXLocator&) = default;
};

// The attributes of one element, by index in document order.
struct ISAXAttributes : IUnknown {
    virtual long getLength(int* length) = 0;
    virtual long getURI(int index, unsigned short** uri, int* length) = 0;
    virtual long getLocalName(int index, unsigned short** localName, int* length) = 0;
    virtual long getQName(int index, unsigned short** qName, int* length) = 0;
    virtual long getValue(int index, unsigned short** value, int* length) = 0;

protected:
    ~ISAXAttributes() = default;
    // Copied as part of a derived object (a deep clone, say).
    ISAXAttributes() = default;
    ISAXAttributes(const ISAXAttributes&) = default;
    ISAXAttributes& operator=(const ISAXAttributes&) = default;
};

// Receives the document's content, in document order.
struct ISAXContentHandler : IUnknown {
    virtual long putDocumentLocator(ISAXLocator* locator) = 0;
    virtual long startDocument() = 0;
    virtual long endDocument() = 0;
    virtual long startPrefixMapping(unsigned short* prefix, int prefixLength, unsigned short* uri,
                                    int uriLength) = 0;
    virtual long endPrefixMapping(unsigned short* prefix, int prefixLength) = 0;
    virtual long startElement(unsigned short* namespaceUri, int namespaceUriLength,
                              unsigned short* localName, int localNameLength, unsigned short* qName,
                              int qNameLength, ISAXAttributes* attributes) = 0;
    virtual long endElement(unsigned short* namespaceUri, int namespaceUriLength,
                            unsigned short* localName, int localNameLength, unsigned short* qName,
                            int qNameLength) = 0;
    virtual long characters(unsigned short* chars, int length) = 0;
    virtual long ignorableWhitespace(unsigned short* chars, int length) = 0;
    virtual long processingInstruction(unsigned short* target, int targetLength,
                                       unsigned short* data, int dataLength) = 0;
    virtual long skippedEntity(unsigned short* name, int nameLength) = 0;

protected:
    ~ISAXContentHandler() = default;
    // Copied as part of a derived object (a deep clone, say).
    ISAXContentHandler() = default;
    ISAXContentHandler(const ISAXContentHandler&) = default;
    ISAXContentHandler& operator=(const ISAXContentHandler&) = default;
};

// Receives the reader's problems. The description is NUL-terminated.
struct ISAXErrorHandler : IUnknown {
    virtual long error(ISAXLocator* locator, unsigned short* description, long code) = 0;
    virtual long fatalError(ISAXLocator* locator, unsigned short* description, long code) = 0;
    virtual long ignorableWarning(ISAXLocator* locator, unsigned short* description, long code) = 0;

protected:
    ~ISAXErrorHandler() = default;
    // Copied as part of a derived object (a deep clone, say).
    ISAXErrorHandler() = default;
    ISAXErrorHandler(const ISAXErrorHandler&) = default;
    ISAXErrorHandler& operator=(const ISAXErrorHandler&) = default;
};

} // namespace MSXML2
