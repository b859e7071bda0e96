#include "platform/ExpatName.h"

#include <cstring>

namespace MSXML2 {
namespace detail {
namespace {

bool appendPart(Utf16Buffer& buffer, const char* text, size_t length, size_t& offset,
                size_t& units) {
    const long at = buffer.appendUtf8(text, length);
    if (at < 0) {
        return false;
    }
    offset = static_cast<size_t>(at);
    units = buffer.size() - offset - 1;
    return true;
}

} // namespace

bool AppendExpatName(Utf16Buffer& buffer, const char* name, NameOffsets& out) {
    const size_t length = std::strlen(name);
    const char* end = name + length;
    const char* uriEnd = static_cast<const char*>(std::memchr(name, kNamespaceSeparator, length));
    const char* local = uriEnd != nullptr ? uriEnd + 1 : name;
    const char* localEnd = static_cast<const char*>(
        std::memchr(local, kNamespaceSeparator, static_cast<size_t>(end - local)));
    const char* prefix = localEnd != nullptr ? localEnd + 1 : end;
    if (localEnd == nullptr) {
        localEnd = end;
    }

    if (!appendPart(buffer, name, uriEnd != nullptr ? static_cast<size_t>(uriEnd - name) : 0,
                    out.uri, out.uriLength) ||
        !appendPart(buffer, local, static_cast<size_t>(localEnd - local), out.local,
                    out.localLength)) {
        return false;
    }
    if (prefix == end) {
        out.qName = out.local;
        out.qNameLength = out.localLength;
        return true;
    }
    const size_t prefixBytes = static_cast<size_t>(end - prefix);
    unsigned short* qName = buffer.reserve(prefixBytes + 1 + out.localLength + 1);
    if (qName == nullptr) {
        return false;
    }
    out.qName = buffer.size();
    const size_t prefixUnits = ConvertUtf8ToUtf16(prefix, end, qName, prefixBytes);
    qName[prefixUnits] = ':';
    std::memcpy(qName + prefixUnits + 1, buffer.data() + out.local,
                out.localLength * sizeof(unsigned short));
    out.qNameLength = prefixUnits + 1 + out.localLength;
    qName[out.qNameLength] = 0;
    buffer.commit(out.qNameLength + 1);
    return true;
}

} // namespace detail
} // namespace MSXML2
