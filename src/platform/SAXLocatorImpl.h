// The reader's document locator: a counted COM object that answers the current line and
// column from the running expat parser, or from a fixed position once the reader pins it
// (a text piece, an error, the end). It never outlives its knowledge of the parser: the
// reader pins it before the parser goes away, so a handler may keep it as long as it likes.
#pragma once

#include <QorUtils/platform/SAX.h>

#include <expat.h>

namespace MSXML2 {
namespace detail {

// A place in the document, both counted from 1.
struct TextPosition {
    int line = 1;
    int column = 1;
};

class SAXLocatorImpl final : public ISAXLocator {
public:
    // A locator with one reference, for the document at `systemId` (UTF-8, null for none);
    // null when memory runs out.
    static SAXLocatorImpl* Create(const char* systemId);

    SAXLocatorImpl(const SAXLocatorImpl&) = delete;
    SAXLocatorImpl& operator=(const SAXLocatorImpl&) = delete;

    long QueryInterface(const GUID& riid, void** object) override;
    unsigned long AddRef() override;
    unsigned long Release() override;
    long getColumnNumber(int* column) override;
    long getLineNumber(int* line) override;
    long getPublicId(unsigned short** publicId) override;
    long getSystemId(unsigned short** systemId) override;

    // Answers from the parser's current event from now on, `ahead` characters further on its
    // line.
    void follow(XML_Parser parser, int ahead = 0) {
        m_parser = parser;
        m_ahead = ahead;
    }
    // The document begins with a byte-order mark, which expat counts as the first character
    // of the first line: columns there are answered one less.
    void skipFirstColumn() { m_firstLineShift = 1; }
    // Answers with this position from now on, and forgets the parser.
    void pin(TextPosition position) {
        m_parser = nullptr;
        m_pinned = position;
    }
    TextPosition position() const;
    // Forgets the parser, which is about to go. Expat works a position out by scanning the
    // text since the last one asked for, so the last position is pinned only when someone
    // else holds the locator and may still ask.
    void detach() {
        if (m_parser != nullptr && m_cRef > 1) {
            m_pinned = position();
        }
        m_parser = nullptr;
    }

private:
    SAXLocatorImpl() = default;
    ~SAXLocatorImpl();

    unsigned long m_cRef = 1;
    XML_Parser m_parser = nullptr;
    // Characters between the parser's current event and the place answered for.
    int m_ahead = 0;
    int m_firstLineShift = 0;
    TextPosition m_pinned;
    // NUL-terminated UTF-16, owned; the public identifier is always empty.
    unsigned short* m_systemId = nullptr;
    unsigned short m_publicId[1] = {0};
};

} // namespace detail
} // namespace MSXML2
