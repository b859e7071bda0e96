// Limits on what a document can make the reader do beyond its own size through what it
// declares once and uses many times: entities whose expansions nest in one another, and
// declarations that every element carries (long namespace URIs, attribute defaults). The
// event translator reports each declaration and element here, and refuses the document at the
// first answer of false. Owned by one parse.
#pragma once

#include <expat.h>

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace MSXML2 {
namespace detail {

class AmplificationLimits {
public:
    // An entity declared, by its name without '&' or '%': false when its expansion would nest
    // too deep.
    bool declareEntity(const char* name, bool parameter, const char* value, int length);
    // A namespace declared, in a start tag or again on each element by an attribute default.
    void declareNamespace(const char* uri);
    // An attribute default declared in the DTD.
    void declareDefault() { m_counting = true; }
    // Whether elements are counted: once a long URI or any default has been declared.
    bool counting() const { return m_counting; }
    // An element as `parser` hands it over: false when what elements carry passes the limit.
    bool carry(XML_Parser parser, const char* name, const char** attributes);

private:
    // Each entity declared or referred to, by its name after '&' or '%': the deepest nesting
    // its expansion reaches (0 until declared) and the entities whose text refers to it.
    struct EntityNesting {
        bool declared = false;
        size_t levels = 0;
        std::vector<EntityNesting*> referrers;
    };
    // Ordered: the document chooses the names, and names made to collide in the standard
    // library's hash, which has no secret seed, would make each lookup walk all of them.
    std::map<std::string, EntityNesting> m_entities;

    // Declared once, carried by every element: a namespace URI by every name in the namespace
    // (expat copies it into each prefixed attribute's name byte by byte, and the reader finds
    // the local name after it), and the attribute defaults of the DTD, and namespaces declared
    // by them, by every element of their type, however many and long they are. Short URIs
    // cost little however often they are used, and are not counted until then.
    bool m_counting = false;
    uint64_t m_carriedBytes = 0;
};

} // namespace detail
} // namespace MSXML2
