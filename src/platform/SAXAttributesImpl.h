// The attributes of the element being reported, as the reader hands them to startElement.
// The reader owns the one object and refills it for each element; a handler may use it only
// during the call (AddRef and Release count, but never free it). Texts are converted at the
// first request for them, all local names, all three forms of the names or all values at once
// (each kind in a buffer of its own), so that they stay in place; the UTF-8 view
// (ISAXAttributesUtf8) is made at its first request too.
#pragma once

#include "platform/ExpatName.h"
#include "platform/ReaderShortcuts.h"
#include "text/Utf16.h"

#include <QorUtils/platform/SAX.h>

#include <vector>

namespace MSXML2 {
namespace detail {

class SAXAttributesImpl final : public ISAXAttributes, public ISAXAttributesUtf8 {
public:
    SAXAttributesImpl() = default;
    SAXAttributesImpl(const SAXAttributesImpl&) = delete;
    SAXAttributesImpl& operator=(const SAXAttributesImpl&) = delete;
    ~SAXAttributesImpl() = default;

    // Takes expat's null-terminated name/value array, in document order, which must stay
    // valid until the next assign. May throw std::bad_alloc.
    void assign(const char** attributes);

    // Answers IID_IUnknown and IID_ISAXAttributesUtf8.
    long QueryInterface(const GUID& riid, void** object) override;
    unsigned long AddRef() override { return ++m_cRef; }
    unsigned long Release() override { return m_cRef > 1 ? --m_cRef : 1; }
    long getLength(int* length) override;
    long getURI(int index, unsigned short** uri, int* length) override;
    long getLocalName(int index, unsigned short** localName, int* length) override;
    long getQName(int index, unsigned short** qName, int* length) override;
    long getValue(int index, unsigned short** value, int* length) override;
    const Utf8Attribute* utf8Attributes(size_t* count) override;

private:
    struct Value {
        size_t offset;
        size_t length;
    };

    // Checks the arguments; answers the request when it cannot be met.
    long refuse(int index, unsigned short** text, int* length) const;
    // A local name or a value: `texts` in `buffer`, made by `convert` unless `ready`.
    long answerText(int index, bool ready, bool (SAXAttributesImpl::*convert)(),
                    const qorutils::text::Utf16Buffer& buffer, const std::vector<Value>& texts,
                    unsigned short** text, int* length);
    // A name's URI or qualified name.
    long answerName(int index, size_t NameOffsets::*offset, size_t NameOffsets::*units,
                    unsigned short** text, int* length);
    // Appends `length` bytes of UTF-8 to `buffer` and notes where they stand; false when memory
    // runs out.
    static bool appendText(qorutils::text::Utf16Buffer& buffer, const char* text, size_t length,
                           Value& where);
    bool convertLocalNames();
    bool convertNames();
    bool convertValues();

    unsigned long m_cRef = 1;
    const char** m_source = nullptr;
    size_t m_count = 0;
    bool m_localsReady = false;
    bool m_namesReady = false;
    bool m_valuesReady = false;
    bool m_utf8Ready = false;
    qorutils::text::Utf16Buffer m_localText;
    qorutils::text::Utf16Buffer m_nameText;
    qorutils::text::Utf16Buffer m_valueText;
    std::vector<Value> m_locals;
    std::vector<NameOffsets> m_names;
    std::vector<Value> m_values;
    std::vector<Utf8Attribute> m_utf8;
};

} // namespace detail
} // namespace MSXML2
