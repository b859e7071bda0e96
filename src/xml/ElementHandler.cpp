#include <QorUtils/xml/ElementHandler.h>

#include "attribute/FIAttributeText.h"
#include "log/LogLevel.h"
#include "platform/ReaderShortcuts.h"
#include "text/ByteText.h"
#include "text/Narrow.h"
#include "text/Utf8.h"
#include "xml/HandlerTree.h"
#include "xml/XmlSupport.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

using MSXML2::ISAXAttributes;
using MSXML2::ISAXLocator;
using MSXML2::detail::ISAXAttributesUtf8;
using MSXML2::detail::Utf8Attribute;
using qorutils::FIAttributeText;
using qorutils::HandlerTree;
using qorutils::k_errorLevel;
using qorutils::text::Narrow;

constexpr int k_narrowLimit = qorutils::text::kNarrowLimit;

namespace {

// The level of the warnings about unexpected attributes and elements.
constexpr int k_warningLevel = 5;

// The parts of one kind of log line: "  KIND: file F at line N, BEFORE SUBJECT AFTER" with a
// locator, "SHORTLEAD KIND: file, BEFORE SUBJECT AFTER" without.
struct LineForm {
    const char* kind;
    const char* shortLead;
    const char* before;
    const char* after;
};

constexpr LineForm k_extraAttributes = {"XML Parser Warning", "  ", "unexpected attribute in ", ""};
constexpr LineForm k_extraElement = {"XML Parser Warning", "  ", "unknown element <", ">"};
constexpr LineForm k_severeError = {"XML Parser Severe Error", "   ", "", ""};
constexpr LineForm k_traceMessage = {"XML Parser Message", "   ", "", ""};

void WriteLine(const LineForm& form, const char* subject, int level, ISAXLocator* locator) {
    if (!qorutils::LogWrites(level)) {
        return;
    }
    if (subject == nullptr) {
        subject = "";
    }
    if (locator == nullptr) {
        qorutils::LogLine(level, "%s%s: file, %s%s%s", form.shortLead, form.kind, form.before,
                          subject, form.after);
        return;
    }
    int line = 0;
    locator->getLineNumber(&line);
    unsigned short* systemId = nullptr;
    locator->getSystemId(&systemId);
    char file[k_narrowLimit + 1];
    // The file's name as its bytes, whatever they are, so that the line names the file.
    qorutils::text::BytesFromUtf16(
        file, systemId, qorutils::text::BoundedLength(systemId, k_narrowLimit), k_narrowLimit);
    qorutils::LogLine(level, "  %s: file %s at line %d, %s%s%s", form.kind, file, line, form.before,
                      subject, form.after);
}

// A long value, narrowed in a buffer of the largest size (out of line, so that the short ones
// need no stack frame that large).
__attribute__((noinline)) void AssignLongNarrowed(FIAttribute& value, const char* text) {
    char buffer[k_narrowLimit + 1];
    const int length = qorutils::text::NarrowUtf8(buffer, text, k_narrowLimit);
    FIAttributeText::Assign(value, buffer, static_cast<size_t>(length));
}

// Fills the null `value` with the narrowed form of UTF-8 text. An ASCII text, as most values
// are, narrows to itself (up to the limit); another is narrowed in a small buffer, or a large
// one when it is long. A narrowed text holds no zero byte: the value takes the length as it is.
void AssignNarrowed(FIAttribute& value, const char* text) {
    const size_t length = std::strlen(text);
    if (length <= k_narrowLimit && qorutils::text::IsAscii(text, length)) {
        if (length <= FIAttributeText::kInline) {
            FIAttributeText::AssignShort(value, text, length);
        } else {
            FIAttributeText::Assign(value, text, length);
        }
        return;
    }
    // A character never narrows to more than one byte.
    constexpr size_t k_short = 64;
    if (length < k_short) {
        char buffer[k_short];
        const int narrowed = qorutils::text::NarrowUtf8(buffer, text, k_narrowLimit);
        FIAttributeText::Assign(value, buffer, static_cast<size_t>(narrowed));
    } else {
        AssignLongNarrowed(value, text);
    }
}

// Whether an attribute's local name narrows to `expected`. An ASCII name narrows to itself, cut
// at the narrowing limit; most differ from the name asked for in their first byte.
bool NameIs(const Utf8Attribute& attribute, const char* expected) {
    if (!attribute.asciiName) {
        return qorutils::text::Utf8NarrowsTo(attribute.localName, attribute.localLength, expected,
                                             k_narrowLimit);
    }
    const size_t length = std::min(attribute.localLength, size_t{k_narrowLimit});
    const char* name = attribute.localName;
    if (length == 0 || name[0] != expected[0]) {
        return length == 0 && expected[0] == '\0';
    }
    for (size_t i = 1; i < length; ++i) {
        if (name[i] != expected[i]) {
            return false;
        }
    }
    return expected[length] == '\0';
}

// GetAttributeValue through attributes in UTF-8: true when the attribute was found and `value`
// filled. `name` may lie in `value`'s text, so `value` changes only once the name is found.
bool FetchUtf8Attribute(const char* name, const Utf8Attribute* attributes, size_t count,
                        FIAttribute& value) {
    for (size_t i = 0; i < count; ++i) {
        if (NameIs(attributes[i], name)) {
            value.Clear();
            AssignNarrowed(value, attributes[i].value);
            return true;
        }
    }
    return false;
}

// GetAttributeValue on other attributes objects, through their UTF-16 names and values (out
// of line: its large buffer needs a stack frame that the reader's attributes do without).
__attribute__((noinline)) bool FetchAttribute(const char* name, ISAXAttributes& attributes,
                                              FIAttribute& value) {
    int count = 0;
    attributes.getLength(&count);
    for (int i = 0; i < count; ++i) {
        unsigned short* localName = nullptr;
        int localNameLength = 0;
        attributes.getLocalName(i, &localName, &localNameLength);
        // Compared as narrowed, without narrowing into a buffer: most names differ at once.
        if (!qorutils::text::NarrowsTo(localName, localNameLength, name, k_narrowLimit)) {
            continue;
        }
        unsigned short* text = nullptr;
        int textLength = 0;
        attributes.getValue(i, &text, &textLength);
        char buffer[k_narrowLimit + 1];
        Narrow(buffer, text, textLength, k_narrowLimit);
        value.Clear();
        value = buffer;
        return true;
    }
    return false;
}

} // namespace

ElementHandler::ElementHandler(bool reportUnknown) : m_bReportUnknown(reportUnknown) {}

ElementHandler::~ElementHandler() {
    DeleteChildren();
}

void ElementHandler::AddHandler(ElementHandler* handler) {
    if (handler == nullptr) {
        return;
    }
    if (m_pLastChild == nullptr) {
        m_pFirstChild = handler;
    } else {
        m_pLastChild->m_pNextSibling = handler;
    }
    m_pLastChild = handler;
}

ElementHandler* ElementHandler::ActiveHead() {
    ElementHandler* head = this;
    while (head->m_pAbove != nullptr) {
        head = head->m_pAbove;
    }
    return head;
}

long ElementHandler::startElement(unsigned short*, int, unsigned short* localName,
                                  int localNameLength, unsigned short*, int,
                                  ISAXAttributes* attributes, ISAXLocator* locator) {
    ElementHandler* head = ActiveHead();
    ElementHandler* target = HandlerTree::StartTarget(*head);
    if (target != nullptr) {
        char name[k_narrowLimit + 1];
        const int length = Narrow(name, localName, localNameLength, k_narrowLimit);
        HandlerTree::Offer(*head, *target, name, static_cast<size_t>(length), attributes, locator);
    }
    return S_OK;
}

bool ElementHandler::endElementX(unsigned short*, int, unsigned short*, int, unsigned short*, int,
                                 ISAXLocator* locator) {
    ElementHandler* head = ActiveHead();
    ElementHandler* target = head->m_pInnermost;
    if (target->IsSkipping()) {
        --target->m_nSkip;
        return false;
    }
    target->HandleEndElement(locator);
    target->DeleteChildren();
    if (target == this) {
        return true;
    }
    ElementHandler* above = target->m_pAbove;
    above->m_pCurrent = nullptr;
    target->m_pAbove = nullptr;
    target->m_pInnermost = target;
    head->m_pInnermost = above;
    return false;
}

long ElementHandler::characters(unsigned short* chars, int length, ISAXLocator* locator) {
    ElementHandler* target = HandlerTree::TextTarget(*this);
    if (target != nullptr) {
        char text[k_narrowLimit + 1];
        Narrow(text, chars, length, k_narrowLimit);
        target->HandleText(text, locator);
    }
    return S_OK;
}

void ElementHandler::HandleEndElement(ISAXLocator*) {}

void ElementHandler::HandleText(char*, ISAXLocator*) {}

bool ElementHandler::HandleElement(char*, ISAXAttributes*, ISAXLocator*) {
    return false;
}

void ElementHandler::ResetAttributes(ISAXAttributes* attributes) {
    int count = 0;
    if (attributes != nullptr) {
        attributes->getLength(&count);
    }
    m_nAttributes = count;
}

void ElementHandler::ExtraAttributes(const char* element, ISAXLocator* locator) {
    if (m_nAttributes >= 1) {
        WriteLine(k_extraAttributes, element, k_warningLevel, locator);
    }
}

void ElementHandler::ExtraElement(const char* element, ISAXLocator* locator) {
    WriteLine(k_extraElement, element, k_warningLevel, locator);
}

void ElementHandler::SevereError(const char* text, ISAXLocator* locator) {
    WriteLine(k_severeError, text, k_errorLevel, locator);
}

void ElementHandler::TraceMessage(const char* text, int level, ISAXLocator* locator) {
    WriteLine(k_traceMessage, text, level, locator);
}

FIAttribute& ElementHandler::GetAttributeValue(const char* name, ISAXAttributes* attributes,
                                               FIAttribute& value) {
    if (name == nullptr || attributes == nullptr) {
        value.Clear();
        return value;
    }
    // The reader's attributes offer their UTF-8, narrowed straight to the same bytes as
    // getLocalName, getValue and narrowing give, without converting every name and value to
    // UTF-16 first (which took most of the time of a document's attributes).
    bool found = false;
    if (auto* view = MSXML2::detail::QueryShortcut<ISAXAttributesUtf8>(
            attributes, MSXML2::detail::IID_ISAXAttributesUtf8)) {
        size_t count = 0;
        const Utf8Attribute* list = view->utf8Attributes(&count);
        found = FetchUtf8Attribute(name, list, count, value);
        view->Release();
    } else {
        found = FetchAttribute(name, *attributes, value);
    }
    if (found) {
        --m_nAttributes;
    } else {
        value.Clear();
    }
    return value;
}

ElementHandler::enumBranch ElementHandler::ConvertBranch(const FIAttribute& value) {
    const char* text = value.c_str();
    if (text == nullptr) {
        return BranchNone;
    }
    if (std::strcmp(text, "Both") == 0) {
        return BranchBoth;
    }
    if (std::strcmp(text, "Calc") == 0) {
        return BranchCalc;
    }
    if (std::strcmp(text, "Spec") == 0) {
        return BranchSpec;
    }
    return BranchNone;
}

char* ElementHandler::stconvert(unsigned short* text, int length) {
    const size_t units = length > 0 ? static_cast<size_t>(length) : 0;
    char* copy = static_cast<char*>(std::malloc(2 * units + 1));
    if (copy != nullptr) {
        qorutils::text::NarrowToZero(copy, text, length, k_narrowLimit);
    }
    return copy;
}

void ElementHandler::myconvert(char* dest, unsigned short* text, int length) {
    qorutils::text::NarrowToZero(dest, text, length, k_narrowLimit);
}

void ElementHandler::DeleteChildren() {
    ElementHandler* doomed = m_pFirstChild;
    ElementHandler* last = m_pLastChild;
    m_pFirstChild = nullptr;
    m_pLastChild = nullptr;
    // The children go in list order; what each still owns is queued behind them, so that a
    // deep tree is released without one nested call per level.
    while (doomed != nullptr) {
        if (doomed->m_pFirstChild != nullptr) {
            last->m_pNextSibling = doomed->m_pFirstChild;
            last = doomed->m_pLastChild;
            doomed->m_pFirstChild = nullptr;
            doomed->m_pLastChild = nullptr;
        }
        ElementHandler* next = doomed->m_pNextSibling;
        delete doomed;
        doomed = next;
    }
}
