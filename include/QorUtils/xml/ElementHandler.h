// ElementHandler: the base of a tree of handlers that turns a SAX parser's element and text
// events into calls on application handlers, matching elements by local name. A handler owns
// the children given to AddHandler and deletes them when its own element ends, or when it is
// destroyed if that element never ended. Names and texts handed to the virtual operations are
// lent for the call only, and may be written in within their length. A tree is driven by one
// thread at a time, and different trees may be driven on different threads at once (their
// warnings go to the log whole); handlers must not throw.
#pragma once

#include <QorUtils/Export.h>
#include <QorUtils/attribute/FIAttribute.h>
#include <QorUtils/platform/SAX.h>

namespace qorutils {
struct HandlerTree;
}

class QORUTILS_API ElementHandler {
public:
    // The branch keywords that ConvertBranch recognises.
    enum enumBranch { BranchNone = 0, BranchBoth = 1, BranchCalc = 2, BranchSpec = 3 };

    // With reportUnknown, an element that no child accepts is reported through ExtraElement.
    explicit ElementHandler(bool reportUnknown = false);
    // Deletes the children still held: those of an element that never ended.
    virtual ~ElementHandler();
    ElementHandler(const ElementHandler&) = delete;
    ElementHandler& operator=(const ElementHandler&) = delete;

    // Appends a child to the candidates and takes ownership of it; a null child is ignored.
    // A child must be added to one handler, once.
    void AddHandler(ElementHandler* handler);

    // Offers the element, by its narrowed local name, to the children of the innermost open
    // handler, or skips it inside a refused element. Always S_OK.
    long startElement(unsigned short* namespaceUri, int namespaceUriLength,
                      unsigned short* localName, int localNameLength, unsigned short* qName,
                      int qNameLength, MSXML2::ISAXAttributes* attributes,
                      MSXML2::ISAXLocator* locator);
    // Ends the innermost open element or skipped level; true when that element was this
    // handler's own. The names are not looked at.
    bool endElementX(unsigned short* namespaceUri, int namespaceUriLength,
                     unsigned short* localName, int localNameLength, unsigned short* qName,
                     int qNameLength, MSXML2::ISAXLocator* locator);
    // Hands one piece of text to the innermost open handler, unless it lies in a skipped
    // element. Pieces are not joined. Always S_OK.
    long characters(unsigned short* chars, int length, MSXML2::ISAXLocator* locator);

    // This handler's own element has ended. Default: nothing.
    virtual void HandleEndElement(MSXML2::ISAXLocator* locator);
    // A piece of text inside this handler's own element. Default: nothing.
    virtual void HandleText(char* text, MSXML2::ISAXLocator* locator);
    // The parent offers an element; true accepts it. Default: false.
    virtual bool HandleElement(char* name, MSXML2::ISAXAttributes* attributes,
                               MSXML2::ISAXLocator* locator);

protected:
    // Starts the tally of the element's attributes that are still to be fetched (0 for null).
    virtual void ResetAttributes(MSXML2::ISAXAttributes* attributes);
    // The four messages below name the document's file, when given a locator, by its bytes as
    // the reader was given them.
    // Warns (trace level 5) when an attribute counted by ResetAttributes was not fetched.
    virtual void ExtraAttributes(const char* element, MSXML2::ISAXLocator* locator);
    // Warns (trace level 5) about an element that no child accepts.
    virtual void ExtraElement(const char* element, MSXML2::ISAXLocator* locator);
    // Writes an error line to the log.
    virtual void SevereError(const char* text, MSXML2::ISAXLocator* locator);
    // Writes a message line to the log at the given trace level.
    virtual void TraceMessage(const char* text, int level, MSXML2::ISAXLocator* locator);

    // Fills `value` with the text of the first attribute whose local name is `name`, lowering
    // the tally; clears it when there is none, or when `name` or `attributes` is null (the
    // tally then stays). Returns `value`.
    FIAttribute& GetAttributeValue(const char* name, MSXML2::ISAXAttributes* attributes,
                                   FIAttribute& value);
    // "Both", "Calc", "Spec" exactly; anything else, or a value without text, is BranchNone.
    static enumBranch ConvertBranch(const FIAttribute& value);
    // A narrowed copy in a buffer of 2 * length + 1 bytes for the caller to free(); null when
    // memory runs out.
    static char* stconvert(unsigned short* text, int length);
    // Narrows into `dest`, which holds at least min(length, 4096) + 1 bytes. Narrowing, as for
    // every name and text handed to a handler: code units 1-255 become the byte of the same
    // value, any other character '?'; it stops at a zero unit, reading nothing past it that
    // could fault, or after 4096 bytes. A null text or a negative length narrows to the empty text.
    static void myconvert(char* dest, unsigned short* text, int length);

private:
    friend struct qorutils::HandlerTree;

    // The first handler of the active path that runs through this one. Its m_pInnermost is
    // the path's target: the innermost handler that accepted an open element, or the handler
    // skipping a refused one.
    ElementHandler* ActiveHead();
    // Deletes the children and everything they still own, without recursing per level.
    void DeleteChildren();

    bool IsSkipping() const { return m_nSkip > 0; }

    // The candidate children, in the order they were added; owned. The list runs through the
    // children themselves (m_pNextSibling), so adding a child never allocates.
    ElementHandler* m_pFirstChild = nullptr;
    ElementHandler* m_pLastChild = nullptr;
    ElementHandler* m_pNextSibling = nullptr;
    // The child that accepted the element open directly beneath this handler's own; not owned.
    ElementHandler* m_pCurrent = nullptr;
    // Depth inside a refused element at this level; 0 when nothing is skipped.
    int m_nSkip = 0;
    // Attributes counted by ResetAttributes and not fetched since.
    int m_nAttributes = 0;
    bool m_bReportUnknown;

    // The active path (m_pCurrent from handler to handler) is also linked upwards, so that an
    // event finds its target without walking it: m_pAbove is the handler whose m_pCurrent is
    // this one (null at the head of a path), and at a head, m_pInnermost is the path's last
    // handler (the head itself when idle). A deep document thus costs no time per level.
    ElementHandler* m_pAbove = nullptr;
    ElementHandler* m_pInnermost = this;
};
