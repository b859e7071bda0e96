#include "platform/AmplificationLimits.h"

#include "platform/ExpatName.h"
#include "platform/ExpatPosition.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace MSXML2 {
namespace detail {
namespace {

// Expat expands an entity that refers to others recursively, a few hundred bytes of stack a
// level: nesting is limited so that a document read on a thread with a small stack (64 KiB)
// cannot overflow it.
constexpr size_t kEntityNestingLimit = 40;

// A URI up to this long is not worth counting on every name that carries it.
constexpr size_t kShortUri = 256;

// The bytes that elements may carry once they are counted: 8 MiB, and 100 for each byte
// parsed, the limits expat puts on entity expansion.
constexpr uint64_t kCarriedBytesFree = uint64_t{8} << 20;
constexpr uint64_t kCarriedBytesPerByte = 100;

} // namespace

// The first declaration of an entity binds it. Its text is read again where it is expanded, so
// each reference in it ("&name;" in a general entity, "%name;" in a parameter entity, character
// references being replaced already) is one more level. Each entity keeps the deepest nesting
// its expansion reaches among those declared so far; a declaration raises that of the entities
// that refer to it, so a chain is refused when it is declared, before any of it is expanded.
// Each rise is by a level, up to the limit: the work is bounded by the references times the
// limit, and an entity that refers back to itself rises past the limit too.
bool AmplificationLimits::declareEntity(const char* name, bool parameter, const char* value,
                                        int length) {
    const char mark = parameter ? '%' : '&';
    EntityNesting& entity = m_entities[mark + std::string(name)];
    if (entity.declared) {
        return true;
    }
    entity.declared = true;
    const std::string_view text(value != nullptr ? value : "", static_cast<size_t>(length));
    // A mark that a character reference left (&#38;) starts no reference: it ends at the next
    // mark, so that each byte is looked at once and no name is longer than a reference's.
    const char ends[] = {mark, ';', '\0'};
    size_t deepest = 0;
    for (size_t at = text.find(mark); at != std::string_view::npos; at = text.find(mark, at + 1)) {
        const size_t end = text.find_first_of(ends, at + 1);
        if (end == std::string_view::npos) {
            break;
        }
        if (text[end] == ';' && text[at + 1] != '#') {
            EntityNesting& referred = m_entities[std::string(text.substr(at, end - at))];
            referred.referrers.push_back(&entity);
            deepest = std::max(deepest, referred.levels);
        }
    }
    entity.levels = std::max(entity.levels, deepest + 1);
    std::vector<const EntityNesting*> raised = {&entity};
    while (!raised.empty() && entity.levels <= kEntityNestingLimit) {
        const EntityNesting* below = raised.back();
        raised.pop_back();
        for (EntityNesting* above : below->referrers) {
            if (above->levels > below->levels) {
                continue;
            }
            above->levels = below->levels + 1;
            if (above->levels > kEntityNestingLimit) {
                entity.levels = above->levels;
                break;
            }
            raised.push_back(above);
        }
    }
    return entity.levels <= kEntityNestingLimit;
}

// A long URI starts the count; once counting, each declaration is a byte and its URI.
void AmplificationLimits::declareNamespace(const char* uri) {
    const size_t length = uri != nullptr ? std::strlen(uri) : 0;
    m_counting = m_counting || length > kShortUri;
    if (m_counting) {
        m_carriedBytes += 1 + length;
    }
}

// The URIs of the element's and attributes' names, and the attributes that were defaulted
// (expat puts them after those specified in the start tag), each a byte and its value.
bool AmplificationLimits::carry(XML_Parser parser, const char* name, const char** attributes) {
    m_carriedBytes += UriLength(name);
    const int specified = XML_GetSpecifiedAttributeCount(parser);
    for (int i = 0; attributes[i] != nullptr; i += 2) {
        m_carriedBytes += UriLength(attributes[i]);
        if (i >= specified) {
            m_carriedBytes += 1 + std::strlen(attributes[i + 1]);
        }
    }
    const auto parsed = static_cast<uint64_t>(std::max<int64_t>(ExpatByteIndex(parser), 0));
    return m_carriedBytes <= kCarriedBytesFree + kCarriedBytesPerByte * parsed;
}

} // namespace detail
} // namespace MSXML2
