#include "xml/HandlerTree.h"

#include <QorUtils/xml/ElementHandler.h>
#include <QorUtils/xml/SAXContentHandlerImpl.h>

#include "platform/ReaderShortcuts.h"
#include "text/Narrow.h"

#include <cstring>
#include <new>

using MSXML2::ISAXAttributes;
using MSXML2::ISAXLocator;
using MSXML2::detail::IID_ISAXNarrowContentHandler;
using MSXML2::detail::ISAXNarrowContentHandler;

namespace qorutils {

// The adapter's narrow interface: a small object of its own (the adapter's layout is fixed by
// its public header), which holds a reference on the adapter and answers every other interface
// with the adapter's own.
class NarrowTreeContent final : public ISAXNarrowContentHandler {
public:
    explicit NarrowTreeContent(SAXContentHandlerImpl& adapter) : m_adapter(adapter) {
        m_adapter.AddRef();
    }
    NarrowTreeContent(const NarrowTreeContent&) = delete;
    NarrowTreeContent& operator=(const NarrowTreeContent&) = delete;

    long QueryInterface(const GUID& riid, void** ppv) override {
        if (ppv != nullptr && riid == IID_ISAXNarrowContentHandler) {
            AddRef();
            *ppv = static_cast<ISAXNarrowContentHandler*>(this);
            return S_OK;
        }
        return m_adapter.QueryInterface(riid, ppv);
    }
    unsigned long AddRef() override { return ++m_cRef; }
    unsigned long Release() override {
        if (--m_cRef > 0) {
            return m_cRef;
        }
        delete this;
        return 0;
    }

    long startElementNarrow(char* localName, int length, ISAXAttributes* attributes) override {
        return HandlerTree::StartElement(m_adapter, localName, static_cast<size_t>(length),
                                         attributes);
    }
    long endElementNarrow() override { return HandlerTree::EndElement(m_adapter); }
    long charactersNarrow(char* text, int) override {
        return HandlerTree::Characters(m_adapter, text);
    }

private:
    ~NarrowTreeContent() { m_adapter.Release(); }

    SAXContentHandlerImpl& m_adapter;
    unsigned long m_cRef = 1;
};

ElementHandler* HandlerTree::StartTarget(ElementHandler& head) {
    ElementHandler* target = head.m_pInnermost;
    if (target->IsSkipping()) {
        ++target->m_nSkip;
        return nullptr;
    }
    return target;
}

void HandlerTree::Offer(ElementHandler& head, ElementHandler& target, const char* name,
                        size_t length, ISAXAttributes* attributes, ISAXLocator* locator) {
    // A child may add handlers while it is asked; they are asked in turn. Each gets the name
    // afresh: a handler may write in the text it is lent.
    char offered[text::kNarrowLimit + 1];
    // Most names are short: one copy of a whole block from the name's buffer.
    constexpr size_t k_block = 32;
    const size_t copied = length < k_block ? k_block : length + 1;
    for (ElementHandler* child = target.m_pFirstChild; child != nullptr;
         child = child->m_pNextSibling) {
        std::memcpy(offered, name, copied);
        if (child->HandleElement(offered, attributes, locator)) {
            target.m_pCurrent = child;
            child->m_pAbove = &target;
            head.m_pInnermost = child->m_pInnermost;
            return;
        }
    }
    if (target.m_bReportUnknown) {
        target.ExtraElement(name, locator);
    }
    target.m_nSkip = 1;
}

ElementHandler* HandlerTree::TextTarget(ElementHandler& tree) {
    ElementHandler* target = tree.ActiveHead()->m_pInnermost;
    return target->IsSkipping() ? nullptr : target;
}

long HandlerTree::StartElement(SAXContentHandlerImpl& adapter, char* name, size_t length,
                               ISAXAttributes* attributes) {
    return CallTree(adapter, [&](ElementHandler& tree) {
        ElementHandler* head = tree.ActiveHead();
        if (ElementHandler* target = StartTarget(*head)) {
            Offer(*head, *target, name, length, attributes, adapter.m_pLocator);
        }
    });
}

long HandlerTree::EndElement(SAXContentHandlerImpl& adapter) {
    return CallTree(adapter, [&](ElementHandler& tree) {
        tree.endElementX(nullptr, 0, nullptr, 0, nullptr, 0, adapter.m_pLocator);
    });
}

long HandlerTree::Characters(SAXContentHandlerImpl& adapter, char* text) {
    return CallTree(adapter, [&](ElementHandler& tree) {
        if (ElementHandler* target = TextTarget(tree)) {
            target->HandleText(text, adapter.m_pLocator);
        }
    });
}

long HandlerTree::QueryNarrow(SAXContentHandlerImpl& adapter, void** ppv) {
    *ppv = new (std::nothrow) NarrowTreeContent(adapter);
    return *ppv != nullptr ? S_OK : E_FAIL;
}

} // namespace qorutils
