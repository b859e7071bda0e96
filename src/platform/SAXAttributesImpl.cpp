#include "platform/SAXAttributesImpl.h"

#include <QorUtils/platform/SAXXMLReader.h>

#include <cstring>

namespace MSXML2 {
namespace detail {

void SAXAttributesImpl::assign(const char** attributes) {
    m_source = attributes;
    m_count = 0;
    while (attributes[2 * m_count] != nullptr) {
        ++m_count;
    }
    m_localsReady = false;
    m_namesReady = false;
    m_valuesReady = false;
    m_utf8Ready = false;
    // An entry per attribute in each list, for the conversions to come, so that they allocate
    // nothing but text; the lists only grow, and most elements find them long enough.
    if (m_utf8.size() < m_count) {
        m_locals.resize(m_count);
        m_names.resize(m_count);
        m_values.resize(m_count);
        m_utf8.resize(m_count);
    }
}

const Utf8Attribute* SAXAttributesImpl::utf8Attributes(size_t* count) {
    if (!m_utf8Ready) {
        for (size_t i = 0; i < m_count; ++i) {
            const LocalName local = FindLocalName(m_source[2 * i]);
            m_utf8[i] = {local.text, local.length, m_source[2 * i + 1], local.ascii};
        }
        m_utf8Ready = true;
    }
    *count = m_count;
    return m_utf8.data();
}

bool SAXAttributesImpl::appendText(qorutils::text::Utf16Buffer& buffer, const char* text,
                                   size_t length, Value& where) {
    const long at = buffer.appendUtf8(text, length);
    if (at < 0) {
        return false;
    }
    where.offset = static_cast<size_t>(at);
    where.length = buffer.size() - where.offset - 1;
    return true;
}

// The local names alone, which most handlers ask for; mostly short ASCII, widened as they are
// once found.
bool SAXAttributesImpl::convertLocalNames() {
    m_localText.clear();
    for (size_t i = 0; i < m_count; ++i) {
        const LocalName local = FindLocalName(m_source[2 * i]);
        if (!appendText(m_localText, local.text, local.length, m_locals[i])) {
            return false;
        }
    }
    m_localsReady = true;
    return true;
}

bool SAXAttributesImpl::convertNames() {
    m_nameText.clear();
    for (size_t i = 0; i < m_count; ++i) {
        if (!AppendExpatName(m_nameText, m_source[2 * i], m_names[i])) {
            return false;
        }
    }
    m_namesReady = true;
    return true;
}

bool SAXAttributesImpl::convertValues() {
    m_valueText.clear();
    for (size_t i = 0; i < m_count; ++i) {
        const char* value = m_source[2 * i + 1];
        if (!appendText(m_valueText, value, std::strlen(value), m_values[i])) {
            return false;
        }
    }
    m_valuesReady = true;
    return true;
}

long SAXAttributesImpl::QueryInterface(const GUID& riid, void** object) {
    if (object == nullptr) {
        return E_POINTER;
    }
    if (riid == IID_IUnknown) {
        *object = static_cast<IUnknown*>(static_cast<ISAXAttributes*>(this));
    } else if (riid == IID_ISAXAttributesUtf8) {
        *object = static_cast<ISAXAttributesUtf8*>(this);
    } else {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

long SAXAttributesImpl::getLength(int* length) {
    if (length == nullptr) {
        return E_POINTER;
    }
    *length = static_cast<int>(m_count);
    return S_OK;
}

long SAXAttributesImpl::refuse(int index, unsigned short** text, int* length) const {
    if (text == nullptr || length == nullptr) {
        return E_POINTER;
    }
    *text = nullptr;
    *length = 0;
    return index < 0 || static_cast<size_t>(index) >= m_count ? E_INVALIDARG : S_OK;
}

long SAXAttributesImpl::answerName(int index, size_t NameOffsets::*offset,
                                   size_t NameOffsets::*units, unsigned short** text, int* length) {
    const long refused = refuse(index, text, length);
    if (refused != S_OK) {
        return refused;
    }
    if (!m_namesReady && !convertNames()) {
        return SAXREADER_E_MEMORY;
    }
    const NameOffsets& name = m_names[static_cast<size_t>(index)];
    *text = m_nameText.data() + name.*offset;
    *length = static_cast<int>(name.*units);
    return S_OK;
}

long SAXAttributesImpl::answerText(int index, bool ready, bool (SAXAttributesImpl::*convert)(),
                                   const qorutils::text::Utf16Buffer& buffer,
                                   const std::vector<Value>& texts, unsigned short** text,
                                   int* length) {
    // The answer first, with one test of the index (a negative one wraps beyond the count).
    const auto at = static_cast<size_t>(static_cast<unsigned>(index));
    if (text != nullptr && length != nullptr && at < m_count && (ready || (this->*convert)())) {
        *text = buffer.data() + texts[at].offset;
        *length = static_cast<int>(texts[at].length);
        return S_OK;
    }
    const long refused = refuse(index, text, length);
    return refused != S_OK ? refused : SAXREADER_E_MEMORY;
}

long SAXAttributesImpl::getURI(int index, unsigned short** uri, int* length) {
    return answerName(index, &NameOffsets::uri, &NameOffsets::uriLength, uri, length);
}

long SAXAttributesImpl::getLocalName(int index, unsigned short** localName, int* length) {
    return answerText(index, m_localsReady, &SAXAttributesImpl::convertLocalNames, m_localText,
                      m_locals, localName, length);
}

long SAXAttributesImpl::getQName(int index, unsigned short** qName, int* length) {
    return answerName(index, &NameOffsets::qName, &NameOffsets::qNameLength, qName, length);
}

long SAXAttributesImpl::getValue(int index, unsigned short** value, int* length) {
    return answerText(index, m_valuesReady, &SAXAttributesImpl::convertValues, m_valueText,
                      m_values, value, length);
}

} // namespace detail
} // namespace MSXML2
