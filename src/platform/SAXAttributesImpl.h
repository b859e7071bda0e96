// The attributes of the element being reported, as the reader hands them to startElement.
// The reader owns the one object and refills it for each element; a handler may use it only
// during the call (AddRef and Release count, but never free it).
#pragma once

#include "platform/ExpatName.h"
#include "platform/Utf16Text.h"

#include <QorUtils/platform/SAX.h>

#include <vector>

namespace MSXML2 {
namespace detail {

class SAXAttributesImpl final : public ISAXAttributes {
public:
    SAXAttributesImpl() = default;
    SAXAttributesImpl(const SAXAttributesImpl&) = delete;
    SAXAttributesImpl& operator=(const SAXAttributesImpl&) = delete;
    ~SAXAttributesImpl() = default;

    // Takes expat's null-terminated name/value array, in document order; false when memory
    // runs out. May throw std::bad_alloc.
    bool assign(const char** attributes);

    long QueryInterface(const GUID& riid, void** object) override;
    unsigned long AddRef() override { return ++m_cRef; }
    unsigned long Release() override { return m_cRef > 1 ? --m_cRef : 1; }
    long getLength(int* length) override;
    long getURI(int index, unsigned short** uri, int* length) override;
    long getLocalName(int index, unsigned short** localName, int* length) override;
    long getQName(int index, unsigned short** qName, int* length) override;
    long getValue(int index, unsigned short** value, int* length) override;

private:
    struct Entry : NameOffsets {
        size_t value;
        size_t valueLength;
    };

    long answer(int index, size_t Entry::*offset, size_t Entry::*units, unsigned short** text,
                int* length) const;

    unsigned long m_cRef = 1;
    Utf16Buffer m_text;
    std::vector<Entry> m_entries;
};

} // namespace detail
} // namespace MSXML2
