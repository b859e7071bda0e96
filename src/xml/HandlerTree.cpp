#include "xml/HandlerTree.h"

#include <QorUtils/xml/ElementHandler.h>
#include <QorUtils/xml/SAXContentHandlerImpl.h>

#include "xml/XmlSupport.h"

#include <cstring>
#include <typeinfo>

using MSXML2::ISAXAttributes;
using MSXML2::ISAXContentHandler;
using MSXML2::ISAXLocator;

namespace qorutils {

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
    char offered[k_narrowLimit + 1];
    for (ElementHandler* child = target.m_pFirstChild; child != nullptr;
         child = child->m_pNextSibling) {
        std::memcpy(offered, name, length + 1);
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

bool HandlerTree::IsLibraryAdapter(ISAXContentHandler& content) {
    return typeid(content) == typeid(SAXContentHandlerImpl);
}

void HandlerTree::StartElementUtf8(ISAXContentHandler& adapter, const char* name, char separator,
                                   ISAXAttributes* attributes) {
    auto& own = static_cast<SAXContentHandlerImpl&>(adapter);
    if (own.m_pHandler == nullptr) {
        return;
    }
    ElementHandler* head = own.m_pHandler->ActiveHead();
    ElementHandler* target = StartTarget(*head);
    if (target == nullptr) {
        return;
    }
    char narrowed[k_narrowLimit + 1];
    const int length = NarrowExpatLocalName(narrowed, name, separator, k_narrowLimit);
    Offer(*head, *target, narrowed, static_cast<size_t>(length), attributes, own.m_pLocator);
}

void HandlerTree::EndElement(ISAXContentHandler& adapter) {
    auto& own = static_cast<SAXContentHandlerImpl&>(adapter);
    if (own.m_pHandler != nullptr) {
        own.m_pHandler->endElementX(nullptr, 0, nullptr, 0, nullptr, 0, own.m_pLocator);
    }
}

void HandlerTree::Characters(ISAXContentHandler& adapter, char* text) {
    auto& own = static_cast<SAXContentHandlerImpl&>(adapter);
    if (own.m_pHandler == nullptr) {
        return;
    }
    ElementHandler* target = TextTarget(*own.m_pHandler);
    if (target != nullptr) {
        target->HandleText(text, own.m_pLocator);
    }
}

} // namespace qorutils
