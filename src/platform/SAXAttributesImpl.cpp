#include "platform/SAXAttributesImpl.h"

#include <cstring>

namespace MSXML2 {
namespace detail {

bool SAXAttributesImpl::assign(const char** attributes) {
    m_text.clear();
    m_entries.clear();
    for (const char** pair = attributes; pair[0] != nullptr; pair += 2) {
        Entry entry;
        if (!AppendExpatName(m_text, pair[0], entry)) {
            return false;
        }
        const char* text = pair[1];
        const long value = m_text.appendUtf8(text);
        if (value < 0) {
            return false;
        }
        entry.value = static_cast<size_t>(value);
        entry.valueLength = m_text.size() - entry.value - 1;
        m_entries.push_back(entry);
    }
    return true;
}

long SAXAttributesImpl::QueryInterface(const GUID& riid, void** object) {
    if (object == nullptr) {
        return E_POINTER;
    }
    if (riid != IID_IUnknown) {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    *object = static_cast<IUnknown*>(this);
    return S_OK;
}

long SAXAttributesImpl::getLength(int* length) {
    if (length == nullptr) {
        return E_POINTER;
    }
    *length = static_cast<int>(m_entries.size());
    return S_OK;
}

long SAXAttributesImpl::answer(int index, size_t Entry::*offset, size_t Entry::*units,
                               unsigned short** text, int* length) const {
    if (text == nullptr || length == nullptr) {
        return E_POINTER;
    }
    if (index < 0 || static_cast<size_t>(index) >= m_entries.size()) {
        *text = nullptr;
        *length = 0;
        return E_INVALIDARG;
    }
    const Entry& entry = m_entries[static_cast<size_t>(index)];
    *text = m_text.data() + entry.*offset;
    *length = static_cast<int>(entry.*units);
    return S_OK;
}

long SAXAttributesImpl::getURI(int index, unsigned short** uri, int* length) {
    return answer(index, &Entry::uri, &Entry::uriLength, uri, length);
}

long SAXAttributesImpl::getLocalName(int index, unsigned short** localName, int* length) {
    return answer(index, &Entry::local, &Entry::localLength, localName, length);
}

long SAXAttributesImpl::getQName(int index, unsigned short** qName, int* length) {
    return answer(index, &Entry::qName, &Entry::qNameLength, qName, length);
}

long SAXAttributesImpl::getValue(int index, unsigned short** value, int* length) {
    return answer(index, &Entry::value, &Entry::valueLength, value, length);
}

} // namespace detail
} // namespace MSXML2
