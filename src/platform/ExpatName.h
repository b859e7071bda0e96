// Names as expat reports them under namespace processing, "uri<sep>local<sep>prefix" (the
// URI and prefix parts are absent when the name has none), turned into the three UTF-16
// forms that the SAX callbacks take (namespace URI, local name and qualified name), or into
// the local name alone, narrowed.
#pragma once

#include "text/Utf16.h"
#include "text/Utf8.h"

#include <cstddef>
#include <cstring>

namespace MSXML2 {
namespace detail {

// The separator given to expat: a character that XML forbids everywhere in a document.
constexpr char kNamespaceSeparator = '\x01';

// Where the three forms of one name stand in a Utf16Buffer (each is NUL-terminated).
struct NameOffsets {
    size_t uri;
    size_t uriLength;
    size_t local;
    size_t localLength;
    size_t qName;
    size_t qNameLength;
};

// Appends the forms of `name` to the buffer; false when memory runs out. The qualified name
// is "prefix:local", or the local name itself when there is no prefix.
bool AppendExpatName(qorutils::text::Utf16Buffer& buffer, const char* name, NameOffsets& out);

// The local part of `name`: where it starts, its length in bytes (it ends at a NUL or a
// separator), and whether it holds no byte beyond ASCII.
struct LocalName {
    const char* text;
    size_t length;
    bool ascii;
};

// A name in a namespace has its URI first, and the local name after the separator that ends
// it.
inline LocalName FindLocalName(const char* name) {
    const char* local = name;
    const char* end = strchrnul(name, kNamespaceSeparator);
    if (*end == kNamespaceSeparator) {
        local = end + 1;
        end = strchrnul(local, kNamespaceSeparator);
    }
    const auto length = static_cast<size_t>(end - local);
    return {local, length, qorutils::text::IsAscii(local, length)};
}

// The length of the URI that `name` begins with; 0 for a name in no namespace.
inline size_t UriLength(const char* name) {
    const char* end = strchrnul(name, kNamespaceSeparator);
    return *end == kNamespaceSeparator ? static_cast<size_t>(end - name) : 0;
}

// Narrows the local part of `name` as its UTF-16 form narrows: at most `limit` bytes and a
// NUL. Returns the bytes written.
int NarrowExpatLocalName(char* dest, const char* name, int limit);

} // namespace detail
} // namespace MSXML2
