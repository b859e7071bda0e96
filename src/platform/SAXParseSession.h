// One parse of one document: the expat parser, its callbacks turned into SAX callbacks in
// UTF-16, and the feeding of the input. The reader makes one per parse call; the
// session holds its own references on the handlers and on the locator for its lifetime, and
// tells the reader's slot (`owner`) that it runs, so that a reader deleted by a callback can
// end it.
#pragma once

#include "platform/SAXAttributesImpl.h"
#include "platform/SAXLocatorImpl.h"
#include "platform/Utf16Text.h"

#include <QorUtils/platform/SAX.h>

#include <expat.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

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
    // The largest text piece handed to characters, in code units.
    static constexpr size_t kTextPiece = 4096;

    long parseInPieces(int fd, const char* path, long long size);
    bool begin(const char* systemId);
    bool createParser();
    bool startDocument();
    long finishDocument();
    long parseFailed();
    long fail(long code, const std::string& message);
    void abort(long code);
    void outOfMemory();
    // Stops the parse when a handler's result is a failure, keeping its code sign-extended.
    void check(long result) {
        if (FAILED(result)) {
            abort(static_cast<int32_t>(static_cast<uint32_t>(result)));
        }
    }
    void noteByteOrderMark(const char* data, size_t size);
    size_t nextPieceSize(unsigned long long fed, long long size) const;

    void flushText(const int* ahead = nullptr);
    long deliverText();
    void addText(const char*& next, const char* end, const char* readable);
    const char* readableEnd(const char* text);
    void forgetInput() { m_inputKnown = false; }
    void onStartElement(const char* name, const char** attributes);
    void onEndElement(const char* name);
    bool addWholeEvent(const char* text, int length);
    bool addAsciiBlock(const char* text, size_t size, const char* readable);
    void onCharacters(const char* text, int length);
    void onProcessingInstruction(const char* target, const char* data);
    void onStartNamespace(const char* prefix, const char* uri);
    void onEndNamespace(const char* prefix);
    void onSkippedEntity(const char* name, int isParameterEntity);
    void skipEntity(const char* name);
    void onDefault(const char* text, int length);
    int onUnknownEncoding(const char* name, XML_Encoding* info);

    template <typename Callback> void guard(Callback&& callback);
    static void XMLCALL startElementThunk(void* self, const XML_Char* name,
                                          const XML_Char** attributes);
    static void XMLCALL endElementThunk(void* self, const XML_Char* name);
    static void XMLCALL charactersThunk(void* self, const XML_Char* text, int length);
    static void XMLCALL processingInstructionThunk(void* self, const XML_Char* target,
                                                   const XML_Char* data);
    static void XMLCALL startNamespaceThunk(void* self, const XML_Char* prefix,
                                            const XML_Char* uri);
    static void XMLCALL endNamespaceThunk(void* self, const XML_Char* prefix);
    static void XMLCALL skippedEntityThunk(void* self, const XML_Char* name, int isParameterEntity);
    static void XMLCALL defaultThunk(void* self, const XML_Char* text, int length);
    static int XMLCALL unknownEncodingThunk(void* self, const XML_Char* name, XML_Encoding* info);

    ISAXContentHandler* m_pContent;
    ISAXErrorHandler* m_pErrors;
    // The reader's pointer to this session; null once the reader is gone.
    SAXParseSession** m_ppOwner;
    SAXLocatorImpl* m_pLocator = nullptr;
    // The bytes read from a file or descriptor so far.
    uint64_t m_bytesRead = 0;
    XML_Parser m_parser = nullptr;
    // Expat's input buffer while it parses one piece, found at the first text event: text that
    // lies in it may be read past its end, up to the buffer's.
    bool m_inputKnown = false;
    const char* m_inputBegin = nullptr;
    const char* m_inputEnd = nullptr;
    // Set once nothing more may be delivered: a fatal error, or a handler that failed.
    bool m_bStopped = false;
    long m_result = S_OK;
    // The encoding named by the document, for the message when it cannot be read.
    std::string m_encoding;
    // Elements open in the document, and what the default handler is in the middle of: expat
    // hands a long comment or reference of a document that is not in UTF-8 over in chunks.
    size_t m_depth = 0;
    enum class DefaultToken { None, Comment, Reference };
    DefaultToken m_defaultToken = DefaultToken::None;
    // The last two characters of the comment so far, or the name of the reference so far.
    std::string m_defaultText;

    SAXAttributesImpl m_attributes;
    // The names of the open elements, innermost last; `start` is where an element's names
    // begin.
    struct OpenElement : NameOffsets {
        size_t start;
    };
    Utf16Buffer m_elementNames;
    std::vector<OpenElement> m_openElements;
    // Names and other short strings of the other events.
    Utf16Buffer m_names;
    // Character data gathered across expat's events until a piece is full or another event
    // comes: m_textLength code units, as UTF-16 in m_text, or on the tree route narrowed in
    // m_narrowed (a character, one or two units, is one byte there). Each with room for the
    // NUL and for a block written past the end of the piece.
    unsigned short m_text[kTextPiece + kWideningBlock];
    size_t m_textLength = 0;
    char m_narrowed[kTextPiece + kWideningBlock];
    size_t m_narrowedLength = 0;
    // The content handler is exactly the library's own adapter: names and text go to its
    // handler tree narrowed straight from UTF-8 (see HandlerTree).
    bool m_bTreeRoute;
};

} // namespace detail
} // namespace MSXML2
