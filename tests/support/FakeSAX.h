// Stand-ins for the parser's side of the SAX interfaces, to drive handler trees and adapters
// without a parser: UTF-16 texts, a locator and an attribute list that count their references
// (they never delete themselves: the test owns them), and calls that deliver events.
#pragma once

#include <QorUtils/platform/SAX.h>

#include <string>
#include <vector>

namespace qortest {

// UTF-16 text: each byte of an 8-bit text becomes the code unit of the same value, or the code
// units are given as they are. A zero unit follows the text and is not counted in length().
class Utf16 {
public:
    Utf16(const char* text = "");
    Utf16(const std::string& text);
    static Utf16 FromUnits(const std::vector<unsigned short>& units);

    unsigned short* data() { return m_units.data(); }
    int length() const { return static_cast<int>(m_units.size()) - 1; }

private:
    std::vector<unsigned short> m_units;
};

// A locator at a fixed place. It answers its queries and records their names in calls(), in
// order, so that tests can check what was asked.
class FakeLocator final : public MSXML2::ISAXLocator {
public:
    FakeLocator(int line, int column, Utf16 systemId);
    // Answers the system identifier with a null pointer.
    static FakeLocator WithoutSystemId(int line, int column);
    ~FakeLocator() = default;

    long QueryInterface(const GUID& riid, void** ppv) override;
    unsigned long AddRef() override { return static_cast<unsigned long>(++m_refs); }
    unsigned long Release() override { return static_cast<unsigned long>(--m_refs); }
    long getColumnNumber(int* column) override;
    long getLineNumber(int* line) override;
    long getPublicId(unsigned short** publicId) override;
    long getSystemId(unsigned short** systemId) override;

    // References taken and not given back.
    int refs() const { return m_refs; }
    const std::vector<std::string>& calls() const { return m_calls; }

private:
    int m_line;
    int m_column;
    Utf16 m_systemId;
    bool m_hasSystemId = true;
    Utf16 m_publicId;
    int m_refs = 0;
    std::vector<std::string> m_calls;
};

// One attribute as the parser reports it.
struct FakeAttribute {
    Utf16 uri;
    Utf16 localName;
    Utf16 qName;
    Utf16 value;
};

// The attributes of one element, in order. Out-of-range indexes answer E_FAIL and null.
class FakeAttributes final : public MSXML2::ISAXAttributes {
public:
    // Each attribute from its qualified name and value; its local name is the part after a
    // colon, and a prefix gives it the URI "urn:PREFIX".
    FakeAttributes(std::initializer_list<std::pair<std::string, std::string>> attributes);
    explicit FakeAttributes(std::vector<FakeAttribute> attributes);
    ~FakeAttributes() = default;

    long QueryInterface(const GUID& riid, void** ppv) override;
    unsigned long AddRef() override { return static_cast<unsigned long>(++m_refs); }
    unsigned long Release() override { return static_cast<unsigned long>(--m_refs); }
    long getLength(int* length) override;
    long getURI(int index, unsigned short** uri, int* length) override;
    long getLocalName(int index, unsigned short** localName, int* length) override;
    long getQName(int index, unsigned short** qName, int* length) override;
    long getValue(int index, unsigned short** value, int* length) override;

    int refs() const { return m_refs; }

    // When set, answers every interface identifier with this pointer (itself, or another face
    // of a host object), as a careless QueryInterface does.
    IUnknown* carelessAnswer = nullptr;

private:
    long Answer(int index, Utf16 FakeAttribute::*field, unsigned short** text, int* length);

    std::vector<FakeAttribute> m_attributes;
    int m_refs = 0;
};

// Deliver one event to a content handler. A qualified name "p:name" has the local name "name"
// and the URI "urn:p".
void StartElement(MSXML2::ISAXContentHandler* handler, const std::string& qName,
                  MSXML2::ISAXAttributes* attributes = nullptr);
void EndElement(MSXML2::ISAXContentHandler* handler, const std::string& qName);
void Characters(MSXML2::ISAXContentHandler* handler, Utf16 text);

} // namespace qortest
