// Two optional capabilities between the reader and the handlers above it, offered the COM way:
// each is an interface with a private identifier, asked for with QueryInterface. A content
// handler that answers IID_ISAXNarrowContentHandler takes elements and text narrowed to 8 bits
// straight from the parser's UTF-8, without the UTF-16 in between; the reader's attributes
// answer IID_ISAXAttributesUtf8 with the names and values as the parser gave them. Private to
// the library: the identifiers are not published and no header installed declares them.
#pragma once

#include <QorUtils/platform/SAX.h>

#include <cstddef>

namespace MSXML2 {
namespace detail {

// {A754CF54-8584-4BA5-A764-2BE11649B9A8}
inline constexpr GUID IID_ISAXNarrowContentHandler = {
    0xA754CF54, 0x8584, 0x4BA5, {0xA7, 0x64, 0x2B, 0xE1, 0x16, 0x49, 0xB9, 0xA8}};
// {0B3DEF0E-C363-4748-A05E-754B54C6DCB2}
inline constexpr GUID IID_ISAXAttributesUtf8 = {
    0x0B3DEF0E, 0xC363, 0x4748, {0xA0, 0x5E, 0x75, 0x4B, 0x54, 0xC6, 0xDC, 0xB2}};

// Offered by a content handler that only narrows names and text (every character one byte:
// up to U+00FF the byte of its value, beyond '?'), which the reader then does as it decodes.
// The reader calls these in place of startElement, endElement and characters, and calls no
// processingInstruction; the other callbacks come as they do without it. Results as the
// callbacks' are. Names and texts are lent for the call and may be written in within their
// length.
struct ISAXNarrowContentHandler : IUnknown {
    // An element starts: its local name narrowed (at most 4096 bytes and a NUL, lent in a
    // buffer of 4097) and its attributes.
    virtual long startElementNarrow(char* localName, int length, ISAXAttributes* attributes) = 0;
    // The innermost open element ends.
    virtual long endElementNarrow() = 0;
    // A piece of text: the characters of at most 4096 UTF-16 code units, narrowed.
    virtual long charactersNarrow(char* text, int length) = 0;

protected:
    ~ISAXNarrowContentHandler() = default;
};

// One attribute as the parser gave it, in UTF-8.
struct Utf8Attribute {
    // The local name: `localLength` bytes, not NUL-terminated.
    const char* localName;
    size_t localLength;
    // The value, NUL-terminated.
    const char* value;
    // Whether the local name holds no byte beyond ASCII.
    bool asciiName;
};

// Offered by the reader's attributes, for handlers that narrow names and values.
struct ISAXAttributesUtf8 : IUnknown {
    // The element's attributes in document order, `count` of them; valid during the element's
    // startElement call.
    virtual const Utf8Attribute* utf8Attributes(size_t* count) = 0;

protected:
    ~ISAXAttributesUtf8() = default;
};

// {5D0C7E2B-94A1-4F3E-8B6D-1C2A7F0E9B34}: offered by no object. An object that answers it
// answers every identifier, breaking COM's rules as hand-written sinks and test doubles do.
inline constexpr GUID IID_NeverOffered = {
    0x5D0C7E2B, 0x94A1, 0x4F3E, {0x8B, 0x6D, 0x1C, 0x2A, 0x7F, 0x0E, 0x9B, 0x34}};

// Asks `object` for the shortcut `iid`, with a reference, or null when it offers none. An object
// that answers IID_NeverOffered answers every identifier with whatever it is (itself, another of
// its faces), not with a shortcut: it is asked that first, so that such an object is asked once
// and given back the one reference its answer took, as COM's rules have it.
template <class Shortcut, class Object> Shortcut* QueryShortcut(Object* object, const GUID& iid) {
    void* answer = nullptr;
    if (object == nullptr) {
        return nullptr;
    }
    if (SUCCEEDED(object->QueryInterface(IID_NeverOffered, &answer))) {
        object->Release();
        return nullptr;
    }
    if (FAILED(object->QueryInterface(iid, &answer))) {
        return nullptr;
    }
    return static_cast<Shortcut*>(answer);
}

} // namespace detail
} // namespace MSXML2
