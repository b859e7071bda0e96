#include "platform/ExpatName.h"

#include "text/Narrow.h"
#include "text/Utf8.h"

#include <cstring>

namespace MSXML2 {
namespace detail {
namespace {

using qorutils::text::Utf16Buffer;

// Appends one part of the name, up to the separator or the end; false when memory runs out.
bool appendPart(Utf16Buffer& buffer, const char*& name, size_t& offset, size_t& units) {
    const long at = buffer.appendUtf8(name, kNamespaceSeparator);
    if (at < 0) {
        return false;
    }
    offset = static_cast<size_t>(at);
    units = buffer.size() - offset - 1;
    return true;
}

} // namespace

bool AppendExpatName(Utf16Buffer& buffer, const char* name, NameOffsets& out) {
    if (!appendPart(buffer, name, out.local, out.localLength)) {
        return false;
    }
    if (*name == '\0') {
        // No separator: a name in no namespace; its URI is the empty text after it.
        out.uri = out.local + out.localLength;
        out.uriLength = 0;
        out.qName = out.local;
        out.qNameLength = out.localLength;
        return true;
    }
    out.uri = out.local;
    out.uriLength = out.localLength;
    ++name;
    if (!appendPart(buffer, name, out.local, out.localLength)) {
        return false;
    }
    if (*name == '\0') {
        out.qName = out.local;
        out.qNameLength = out.localLength;
        return true;
    }
    ++name;
    size_t prefix = 0;
    size_t prefixLength = 0;
    if (!appendPart(buffer, name, prefix, prefixLength) ||
        buffer.reserve(out.localLength + 1) == nullptr) {
        return false;
    }
    // Turn the prefix's NUL into the colon and put the local name after it.
    unsigned short* text = buffer.data();
    text[prefix + prefixLength] = ':';
    std::memcpy(text + buffer.size(), text + out.local, out.localLength * sizeof(unsigned short));
    text[buffer.size() + out.localLength] = 0;
    buffer.commit(out.localLength + 1);
    out.qName = prefix;
    out.qNameLength = prefixLength + 1 + out.localLength;
    return true;
}

int NarrowExpatLocalName(char* dest, const char* name, int limit) {
    const LocalName local = FindLocalName(name);
    // Most names are ASCII, which narrows to itself.
    if (!local.ascii || local.length > static_cast<size_t>(limit)) {
        const char* text = local.text;
        return qorutils::text::NarrowUtf8Until(dest, text, kNamespaceSeparator, limit);
    }
    std::memcpy(dest, local.text, local.length);
    dest[local.length] = '\0';
    return static_cast<int>(local.length);
}

} // namespace detail
} // namespace MSXML2
