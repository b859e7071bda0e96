// AcceptAllHandler: the element handler that accepts every element and hands its name,
// attributes, text and end to a DocumentPrinter. Accepting an element, it adds a fresh handler of
// its own kind as its child, which accepts the elements nested in that one; the tree deletes that
// child when the element ends. Handlers freed that way are kept for reuse by the thread that freed
// them, so a document costs no allocation per element beyond its deepest nesting. A tree is used
// by one thread; each reading thread has its own.
#pragma once

#include "qorxml/DocumentPrinter.h"

#include <QorUtils/xml/ElementHandler.h>

#include <cstddef>
#include <new>

namespace qorxml {

class AcceptAllHandler final : public ElementHandler {
public:
    // Borrows the printer, which must outlive the handler tree.
    explicit AcceptAllHandler(DocumentPrinter& printer) : m_printer(printer) {}

    // Prints the element and its attributes (local names, in the parser's order) and adds the
    // child for the nested elements. Refuses the element (and so skips it) only when memory runs
    // out, which the printer records.
    bool HandleElement(char* name, MSXML2::ISAXAttributes* attributes,
                       MSXML2::ISAXLocator* locator) override;
    void HandleText(char* text, MSXML2::ISAXLocator* locator) override;
    void HandleEndElement(MSXML2::ISAXLocator* locator) override;

    // Handlers are made with new (std::nothrow) only: null when memory runs out. A deleted
    // handler's memory is kept for the next one.
    static void* operator new(std::size_t size, const std::nothrow_t&) noexcept;
    static void operator delete(void* memory) noexcept;
    static void operator delete(void* memory, const std::nothrow_t&) noexcept;

private:
    // Adds the handler for the elements nested in the one accepted; false when memory runs out.
    bool AddChild();

    DocumentPrinter& m_printer;
};

} // namespace qorxml
