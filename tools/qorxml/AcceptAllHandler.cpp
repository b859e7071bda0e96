#include "qorxml/AcceptAllHandler.h"

#include <utility>

using MSXML2::ISAXAttributes;
using MSXML2::ISAXLocator;

namespace qorxml {
namespace {

// The memory of deleted handlers, linked through itself; freed when its thread ends. Each thread
// keeps its own, as each reads its own documents.
struct SpareList {
    struct Spare {
        Spare* next;
    };
    Spare* first = nullptr;

    ~SpareList() {
        while (first != nullptr) {
            ::operator delete(std::exchange(first, first->next));
        }
    }
};

thread_local SpareList t_spares;

// The longest name or value that narrowing gives, and its NUL.
constexpr int k_narrowedSize = 4096 + 1;

} // namespace

bool AcceptAllHandler::HandleElement(char* name, ISAXAttributes* attributes, ISAXLocator* locator) {
    if (!AddChild() || !m_printer.StartElement(name, locator)) {
        m_printer.MarkOutOfMemory();
        return false;
    }
    int count = 0;
    if (attributes != nullptr) {
        attributes->getLength(&count);
    }
    // Narrowed by the handler tree's own rule, as GetAttributeValue narrows.
    char attributeName[k_narrowedSize];
    char attributeValue[k_narrowedSize];
    for (int index = 0; index < count; ++index) {
        unsigned short* text = nullptr;
        int length = 0;
        attributes->getLocalName(index, &text, &length);
        myconvert(attributeName, text, length);
        text = nullptr;
        length = 0;
        attributes->getValue(index, &text, &length);
        myconvert(attributeValue, text, length);
        m_printer.Attribute(attributeName, attributeValue);
    }
    m_printer.EndOfAttributes();
    return true;
}

bool AcceptAllHandler::AddChild() {
    auto* child = new (std::nothrow) AcceptAllHandler(m_printer);
    if (child == nullptr) {
        return false;
    }
    try {
        AddHandler(child);
    } catch (const std::bad_alloc&) {
        delete child;
        return false;
    }
    return true;
}

void AcceptAllHandler::HandleText(char* text, ISAXLocator* locator) {
    m_printer.Text(text, locator);
}

void AcceptAllHandler::HandleEndElement(ISAXLocator*) {
    m_printer.EndElement();
}

void* AcceptAllHandler::operator new(std::size_t size, const std::nothrow_t&) noexcept {
    // Every handler has this one size (the class is final).
    if (t_spares.first != nullptr && size == sizeof(AcceptAllHandler)) {
        return std::exchange(t_spares.first, t_spares.first->next);
    }
    return ::operator new(size, std::nothrow);
}

void AcceptAllHandler::operator delete(void* memory) noexcept {
    if (memory != nullptr) {
        t_spares.first = new (memory) SpareList::Spare{t_spares.first};
    }
}

void AcceptAllHandler::operator delete(void* memory, const std::nothrow_t&) noexcept {
    operator delete(memory);
}

} // namespace qorxml
