#include "support/FakeSAX.h"

#include <utility>

namespace qortest {

namespace {

// The URI, local name and qualified name of "prefix:local" or "local".
struct SplitName {
    std::string uri;
    std::string local;
};

SplitName Split(const std::string& qName) {
    const size_t colon = qName.find(':');
    if (colon == std::string::npos) {
        return {"", qName};
    }
    return {"urn:" + qName.substr(0, colon), qName.substr(colon + 1)};
}

long AnswerUnknownInterface(IUnknown* self, const GUID& riid, void** ppv) {
    if (riid == IID_IUnknown) {
        self->AddRef();
        *ppv = self;
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

} // namespace

Utf16::Utf16(const char* text) : Utf16(std::string(text)) {}

Utf16::Utf16(const std::string& text) {
    m_units.reserve(text.size() + 1);
    for (const char c : text) {
        m_units.push_back(static_cast<unsigned char>(c));
    }
    m_units.push_back(0);
}

Utf16 Utf16::FromUnits(const std::vector<unsigned short>& units) {
    Utf16 text;
    text.m_units = units;
    text.m_units.push_back(0);
    return text;
}

FakeLocator::FakeLocator(int line, int column, Utf16 systemId)
    : m_line(line), m_column(column), m_systemId(std::move(systemId)) {}

FakeLocator FakeLocator::WithoutSystemId(int line, int column) {
    FakeLocator locator(line, column, "");
    locator.m_hasSystemId = false;
    return locator;
}

long FakeLocator::QueryInterface(const GUID& riid, void** ppv) {
    return AnswerUnknownInterface(this, riid, ppv);
}

long FakeLocator::getColumnNumber(int* column) {
    m_calls.push_back("getColumnNumber");
    *column = m_column;
    return S_OK;
}

long FakeLocator::getLineNumber(int* line) {
    m_calls.push_back("getLineNumber");
    *line = m_line;
    return S_OK;
}

long FakeLocator::getPublicId(unsigned short** publicId) {
    m_calls.push_back("getPublicId");
    *publicId = m_publicId.data();
    return S_OK;
}

long FakeLocator::getSystemId(unsigned short** systemId) {
    m_calls.push_back("getSystemId");
    if (!m_hasSystemId) {
        *systemId = nullptr;
        return E_FAIL;
    }
    *systemId = m_systemId.data();
    return S_OK;
}

FakeAttributes::FakeAttributes(
    std::initializer_list<std::pair<std::string, std::string>> attributes) {
    for (const auto& [qName, value] : attributes) {
        const SplitName name = Split(qName);
        m_attributes.push_back({name.uri, name.local, qName, value});
    }
}

FakeAttributes::FakeAttributes(std::vector<FakeAttribute> attributes)
    : m_attributes(std::move(attributes)) {}

long FakeAttributes::QueryInterface(const GUID& riid, void** ppv) {
    if (carelessAnswer != nullptr) {
        ++m_refs;
        *ppv = carelessAnswer;
        return S_OK;
    }
    return AnswerUnknownInterface(this, riid, ppv);
}

long FakeAttributes::getLength(int* length) {
    *length = static_cast<int>(m_attributes.size());
    return S_OK;
}

long FakeAttributes::Answer(int index, Utf16 FakeAttribute::*field, unsigned short** text,
                            int* length) {
    if (index < 0 || index >= static_cast<int>(m_attributes.size())) {
        *text = nullptr;
        *length = 0;
        return E_FAIL;
    }
    Utf16& answer = m_attributes[static_cast<size_t>(index)].*field;
    *text = answer.data();
    *length = answer.length();
    return S_OK;
}

long FakeAttributes::getURI(int index, unsigned short** uri, int* length) {
    return Answer(index, &FakeAttribute::uri, uri, length);
}

long FakeAttributes::getLocalName(int index, unsigned short** localName, int* length) {
    return Answer(index, &FakeAttribute::localName, localName, length);
}

long FakeAttributes::getQName(int index, unsigned short** qName, int* length) {
    return Answer(index, &FakeAttribute::qName, qName, length);
}

long FakeAttributes::getValue(int index, unsigned short** value, int* length) {
    return Answer(index, &FakeAttribute::value, value, length);
}

void StartElement(MSXML2::ISAXContentHandler* handler, const std::string& qName,
                  MSXML2::ISAXAttributes* attributes) {
    const SplitName name = Split(qName);
    Utf16 uri(name.uri);
    Utf16 local(name.local);
    Utf16 qualified(qName);
    handler->startElement(uri.data(), uri.length(), local.data(), local.length(), qualified.data(),
                          qualified.length(), attributes);
}

void EndElement(MSXML2::ISAXContentHandler* handler, const std::string& qName) {
    const SplitName name = Split(qName);
    Utf16 uri(name.uri);
    Utf16 local(name.local);
    Utf16 qualified(qName);
    handler->endElement(uri.data(), uri.length(), local.data(), local.length(), qualified.data(),
                        qualified.length());
}

void Characters(MSXML2::ISAXContentHandler* handler, Utf16 text) {
    handler->characters(text.data(), text.length());
}

} // namespace qortest
