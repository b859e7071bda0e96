// One parse of one document: the half that feeds the input to expat (a document in memory, a
// file or a descriptor read in pieces), beside the translator that turns expat's events into
// SAX calls. The reader makes one per parse call and tells its slot (`owner`) that it runs, so
// that a reader deleted by a callback can end it.
#pragma once

#include "platform/SAXEventTranslator.h"

#include <QorUtils/platform/SAX.h>

#include <cstddef>
#include <cstdint>

namespace MSXML2 {
namespace detail {

class SAXParseSession {
public:
    SAXParseSession(ISAXContentHandler* content, ISAXErrorHandler* errors, SAXParseSession*& owner);
    ~SAXParseSession();
    SAXParseSession(const SAXParseSession&) = delete;
    SAXParseSession& operator=(const SAXParseSession&) = delete;

    // Each delivers every callback of the parse and returns the reader's result.
    long parseFile(const char* path);
    long parseMemory(const char* data, size_t size);
    // Reads the open descriptor from where it stands; sets `bytesRead` (may be null).
    long parseDescriptor(int fd, const char* systemId, uint64_t* bytesRead);
    // The reader is being deleted: nothing more is delivered, the parse returns E_ABORT, and
    // the reader's slot is no longer written.
    void abandon();

private:
    // Makes the parser and starts the document; false when the parse is already over.
    bool start();
    long parseInPieces(int fd, const char* path, long long size);
    size_t nextPieceSize(unsigned long long fed, long long size) const;

    // The reader's pointer to this session; null once the reader is gone.
    SAXParseSession** m_ppOwner;
    // The bytes read from a file or descriptor so far.
    uint64_t m_bytesRead = 0;
    SAXEventTranslator m_events;
};

} // namespace detail
} // namespace MSXML2
