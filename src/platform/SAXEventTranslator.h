// The half of a parse that turns expat's events into SAX calls: elements with their names
// and attributes, namespace declarations, text gathered into pieces, processing instructions,
// skipped entities, the locator and the one fatal error. The content handler gets UTF-16, or,
// when it offers ISAXNarrowContentHandler, names and text narrowed straight from UTF-8. The
// translator holds its own references on the handlers, the narrow interface and the locator
// for its lifetime; the session that feeds the parser owns it.
#pragma once

#include "platform/AmplificationLimits.h"
#include "platform/ReaderShortcuts.h"
#include "platform/SAXAttributesImpl.h"
#include "platform/SAXLocatorImpl.h"
#include "platform/SAXTextPiece.h"

#include <QorUtils/platform/SAX.h>

#include <expat.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace MSXML2 {
namespace detail {

class SAXEventTranslator {
public:
    SAXEventTranslator(ISAXContentHandler* content, ISAXErrorHandler* errors);
    ~SAXEventTranslator();
    SAXEventTranslator(const SAXEventTranslator&) = delete;
    SAXEventTranslator& operator=(const SAXEventTranslator&) = delete;

    // The steps of a parse, in order. Each answers false, or the parse's result, once nothing
    // more may be delivered. begin makes the locator and hands it to the content handler;
    // createParser makes expat's parser (false: memory ran out, not yet reported); startDocument
    // sets the callbacks and calls startDocument.
    bool begin(const char* systemId);
    bool createParser();
    bool startDocument();
    // Hands over the last text and calls endDocument.
    long finishDocument();
    // Reports the parser's error.
    long parseFailed();
    // Reports a fatal error at the current place, after any text that came before it.
    long fail(long code, const std::string& message);
    // Stops the parse without a fatal error: nothing more is delivered, and `code` is the
    // result.
    void abort(long code);

    // A new piece of input goes to the parser: the input buffer may have moved.
    void beforePiece() { m_inputKnown = false; }
    // The input's first piece, before expat has any: a byte-order mark takes no column, and
    // the encoding the XML declaration names may need telling expat.
    void noteStart(const char* data, size_t size);
    XML_Parser parser() const { return m_parser; }
    long result() const { return m_result; }

private:
    void outOfMemory();
    // Stops the parse when a handler's result is a failure, keeping its code sign-extended.
    void check(long result) {
        if (FAILED(result)) {
            abort(static_cast<int32_t>(static_cast<uint32_t>(result)));
        }
    }

    void flushText(const int* ahead = nullptr);
    long deliverText();
    // How far the text may be read: to the end of expat's input buffer when the text lies in
    // it (most text does; line breaks, references and text converted from another encoding
    // are elsewhere), so that a short text is copied as one block; or not past its own end.
    const char* readableEnd(const char* text) {
        if (!m_inputKnown) {
            findInput();
        }
        const auto at = reinterpret_cast<uintptr_t>(text);
        const bool inside =
            at - reinterpret_cast<uintptr_t>(m_inputBegin) <
            reinterpret_cast<uintptr_t>(m_inputEnd) - reinterpret_cast<uintptr_t>(m_inputBegin);
        return inside ? m_inputEnd : nullptr;
    }
    void findInput();
    void onStartElement(const char* name, const char** attributes);
    void onEndElement(const char* name);
    struct OpenElement;
    void dropUri(OpenElement& element);
    // Counts what the declarations make an element carry, once the limits count it; false,
    // the parse failed, when it passes the limit.
    bool withinCarriedLimit(const char* name, const char** attributes) {
        return !m_limits.counting() || countCarried(name, attributes);
    }
    bool countCarried(const char* name, const char** attributes);
    void watchElements();
    void refuseAmplification();
    // The text events that do not fit in the piece gathered so far.
    __attribute__((noinline)) void charactersCut(const char* text, int length);
    void onCharacters(const char* text, int length);
    void onProcessingInstruction(const char* target, const char* data);
    void onStartNamespace(const char* prefix, const char* uri);
    // Two texts widened into m_names, for the callbacks that take two.
    struct WidePair {
        unsigned short* first;
        int firstLength;
        unsigned short* second;
        int secondLength;
    };
    // False, the parse stopped, when memory runs out.
    bool widenPair(const char* first, const char* second, WidePair& out);
    void onEndNamespace(const char* prefix);
    void onSkippedEntity(const char* name, int isParameterEntity);
    void skipEntity(const char* name);
    void onDefault(const char* text, int length);
    // Refuses an entity whose expansion would nest too deep.
    void onEntityDecl(const char* name, bool parameter, const char* value, int length);
    void beginLongReference();
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
    static void XMLCALL entityDeclThunk(void* self, const XML_Char* name, int isParameterEntity,
                                        const XML_Char* value, int length, const XML_Char* base,
                                        const XML_Char* systemId, const XML_Char* publicId,
                                        const XML_Char* notation);
    static void XMLCALL xmlDeclThunk(void* self, const XML_Char* version, const XML_Char* encoding,
                                     int standalone);
    static void XMLCALL attlistDeclThunk(void* self, const XML_Char* element,
                                         const XML_Char* attribute, const XML_Char* type,
                                         const XML_Char* value, int required);
    static int XMLCALL unknownEncodingThunk(void* self, const XML_Char* name, XML_Encoding* info);

    ISAXContentHandler* m_pContent;
    ISAXErrorHandler* m_pErrors;
    // The content handler's narrow interface, when it offers one.
    ISAXNarrowContentHandler* m_pNarrow = nullptr;
    SAXLocatorImpl* m_pLocator = nullptr;
    XML_Parser m_parser = nullptr;
    // Expat's allocations refused before the parser was made.
    unsigned long m_refusedBefore = 0;
    // The fewest bytes a character of the document takes: 2 in UTF-16, 1 otherwise.
    unsigned m_leastCharacterBytes = 1;
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
    // Where a reference handed over in several chunks begins.
    bool m_referenceSplit = false;
    TextPosition m_referenceAt;

    // What the document declares once and uses many times.
    AmplificationLimits m_limits;

    SAXAttributesImpl m_attributes;
    // The local and qualified names of the open elements, innermost last, for their ends;
    // `start` is where an element's names begin. Not their URIs: one URI, declared once, may
    // be carried by every element, and is widened again at the end. For the UTF-16 callbacks.
    struct OpenElement : NameOffsets {
        size_t start;
    };
    qorutils::text::Utf16Buffer m_elementNames;
    std::vector<OpenElement> m_openElements;
    // Names and other short strings of the other events.
    qorutils::text::Utf16Buffer m_names;
    // Character data gathered across expat's events until a piece is full or another event
    // comes.
    SAXTextPiece m_piece;
};

} // namespace detail
} // namespace MSXML2
