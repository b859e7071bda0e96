// The handler tree's part of each event, shared by ElementHandler's UTF-16 callbacks and a
// shortcut for the reader: when the content handler is exactly the library's own
// SAXContentHandlerImpl, whose callbacks only narrow a name or a text for its tree, the reader
// hands the tree expat's UTF-8 and it is narrowed straight, to the same bytes, with the same
// calls and locator, without the round trip through UTF-16. Private to the library.
#pragma once

#include <QorUtils/platform/SAX.h>

#include <cstddef>

class ElementHandler;

namespace qorutils {

struct HandlerTree {
    // The handler that an element starting now is offered to, `head` being the head of the
    // active path; null inside a refused element, where the start is counted as one level
    // more to skip.
    static ElementHandler* StartTarget(ElementHandler& head);
    // Offers the element named `name` (`length` bytes and a NUL) to the target's children;
    // the first that accepts it becomes the innermost open handler, and when none does the
    // target skips the element.
    static void Offer(ElementHandler& head, ElementHandler& target, const char* name, size_t length,
                      MSXML2::ISAXAttributes* attributes, MSXML2::ISAXLocator* locator);
    // The handler that text arriving now goes to; null inside a refused element.
    static ElementHandler* TextTarget(ElementHandler& tree);

    // Whether the reader may use the three calls below for this content handler: true only
    // for a SAXContentHandlerImpl itself, not a class derived from it (that may override
    // its callbacks).
    static bool IsLibraryAdapter(MSXML2::ISAXContentHandler& content);
    // adapter.startElement for an element whose name expat reports as `name`.
    static void StartElementUtf8(MSXML2::ISAXContentHandler& adapter, const char* name,
                                 char separator, MSXML2::ISAXAttributes* attributes);
    // adapter.endElement.
    static void EndElement(MSXML2::ISAXContentHandler& adapter);
    // adapter.characters for a text narrowed from at most 4096 code units.
    static void Characters(MSXML2::ISAXContentHandler& adapter, char* text);
};

} // namespace qorutils
