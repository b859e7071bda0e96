// MSXML2::SAXXMLReader: reads an XML document with expat and reports it, in UTF-16, to an
// ISAXContentHandler and an ISAXErrorHandler. The reader holds one reference on each handler
// given to it; the locator it hands out is counted and lives as long as someone holds it.
// Strings handed to a callback are lent for the call. A callback may delete the reader: the
// parse ends there. A reader is used by one thread at a time; separate readers share nothing
// and may read on different threads at once.
#pragma once

#include <QorUtils/Export.h>
#include <QorUtils/platform/COM.h>
#include <QorUtils/platform/SAX.h>

#include <cstddef>
#include <cstdint>

namespace MSXML2 {

namespace detail {
class SAXParseSession;
}

// A document that is not well-formed fails with this base plus expat's error number
// (README: "XML reader error codes").
constexpr long SAXREADER_E_SYNTAX = static_cast<int32_t>(0x80040200u);
// Out of memory: expat's own code for it.
constexpr long SAXREADER_E_MEMORY = SAXREADER_E_SYNTAX + 1;
// The file cannot be opened (missing, not permitted, or a directory).
constexpr long SAXREADER_E_OPEN = static_cast<int32_t>(0x80040300u);
// Reading the file failed after it was opened, or the descriptor given to parseDescriptor
// cannot be read (not open, not open for reading, a directory).
constexpr long SAXREADER_E_READ = static_cast<int32_t>(0x80040301u);
// A parse call was made from one of this reader's own callbacks.
constexpr long SAXREADER_E_BUSY = static_cast<int32_t>(0x80040302u);

class QORUTILS_API SAXXMLReader {
public:
    SAXXMLReader() = default;
    // Deleted by one of its own callbacks, it ends the parse: nothing more is called, and the
    // parse returns E_ABORT (or the failure it had already met).
    ~SAXXMLReader();
    SAXXMLReader(const SAXXMLReader&) = delete;
    SAXXMLReader& operator=(const SAXXMLReader&) = delete;

    // Replaces the handler (null for none), taking a reference on the new one and giving
    // back the old one's. A change made during a parse applies from the next parse.
    long putContentHandler(ISAXContentHandler* handler);
    long putErrorHandler(ISAXErrorHandler* handler);

    // Reads the file with bounded memory whatever its size (a single token is held whole),
    // in pieces; a file that another process truncates meanwhile ends where it was cut. S_OK
    // after a complete well-formed document; otherwise a failure code, also reported through
    // fatalError, except that a content callback returning a failure (judged as FAILED does)
    // stops the parse and its code is returned, sign-extended. The locator gives an element's
    // start at its '<', a text piece where it ends, an error where expat found it. The
    // locator's system identifier, and a description that quotes the path, hold the path's
    // bytes in UTF-16: UTF-8 decoded, and each other byte b kept as the lone surrogate
    // U+DC00 + b, which the library's log lines write back as b.
    long parseURL(const char* path);
    // Reads a document in memory; the same results, with an empty system identifier.
    long parse(const char* data, size_t size);
    // Reads a document from the open descriptor `fd` (a pipe, a socket, a file) from where it
    // stands to its end, in pieces with bounded memory, as parseURL reads a stream; the same
    // results. A descriptor that does not block is waited on (poll) when it has nothing yet.
    // The descriptor stays the caller's, open, and is left where the reading stopped.
    // `systemId` names the input for the locator and messages (null: empty); `bytesRead`, when
    // given, receives the number of bytes read from the descriptor.
    long parseDescriptor(int fd, const char* systemId, uint64_t* bytesRead = nullptr);

private:
    ISAXContentHandler* m_pContentHandler = nullptr;
    ISAXErrorHandler* m_pErrorHandler = nullptr;
    // The parse running, null between parses.
    detail::SAXParseSession* m_pSession = nullptr;
};

} // namespace MSXML2
