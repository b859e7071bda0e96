// The handler tree's part of each event, shared by ElementHandler's UTF-16 callbacks and the
// library's own content adapter's narrow interface (ISAXNarrowContentHandler), which the
// reader calls with names and text narrowed straight from UTF-8: the same bytes, the same
// calls and locator, without the round trip through UTF-16. Private to the library.
#pragma once

#include <QorUtils/platform/SAX.h>
#include <QorUtils/xml/SAXContentHandlerImpl.h>

#include <cstddef>

class ElementHandler;

namespace qorutils {

struct HandlerTree {
    // The handler that an element starting now is offered to, `head` being the head of the
    // active path; null inside a refused element, where the start is counted as one level
    // more to skip.
    static ElementHandler* StartTarget(ElementHandler& head);
    // Offers the element named `name` (`length` bytes and a NUL, in a buffer of at least 32
    // bytes) to the target's children; the first that accepts it becomes the innermost open
    // handler, and when none does the target skips the element.
    static void Offer(ElementHandler& head, ElementHandler& target, const char* name, size_t length,
                      MSXML2::ISAXAttributes* attributes, MSXML2::ISAXLocator* locator);
    // The handler that text arriving now goes to; null inside a refused element.
    static ElementHandler* TextTarget(ElementHandler& tree);

    // Runs `call` on the adapter's tree, if it has one, holding one more reference on the
    // adapter meanwhile: a handler may release it (E_ABORT then, the adapter gone). Every
    // callback of the adapter into its tree, UTF-16 or narrow, goes through here. What a
    // handler throws (memory running out, which the reader reports) passes on, the reference
    // given back first.
    template <class Call> static long CallTree(SAXContentHandlerImpl& adapter, Call&& call) {
        if (adapter.m_pHandler == nullptr) {
            return S_OK;
        }
        ++adapter.m_cRef;
        try {
            call(*adapter.m_pHandler);
        } catch (...) {
            adapter.EndTreeCall();
            throw;
        }
        return adapter.EndTreeCall();
    }
    // The adapter's narrow callbacks.
    static long StartElement(SAXContentHandlerImpl& adapter, char* name, size_t length,
                             MSXML2::ISAXAttributes* attributes);
    static long EndElement(SAXContentHandlerImpl& adapter);
    static long Characters(SAXContentHandlerImpl& adapter, char* text);

    // A new narrow interface of `adapter` in `ppv`, with one reference; E_FAIL when memory
    // runs out.
    static long QueryNarrow(SAXContentHandlerImpl& adapter, void** ppv);
};

} // namespace qorutils
