// The reader hands the library's own content adapter names and text narrowed straight from
// UTF-8, and a class derived from the adapter the UTF-16 callbacks. Both roads must give a
// handler tree the same calls with the same bytes at the same places.
#include <QorUtils/platform/SAXXMLReader.h>
#include <QorUtils/xml/ElementHandler.h>
#include <QorUtils/xml/SAXContentHandlerImpl.h>
#include <QorUtils/xml/TopHandler.h>

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <string>

using MSXML2::ISAXAttributes;
using MSXML2::ISAXLocator;

namespace {

// Refuses every element, after writing over its name: a handler may write in what it is lent.
class Scribbler final : public ElementHandler {
public:
    bool HandleElement(char* name, ISAXAttributes*, ISAXLocator*) override {
        std::memset(name, '#', std::strlen(name));
        return false;
    }
};

// Writes every call it receives to a transcript, with the locator's place: the elements it
// accepts (all but those whose name begins with 'x', whose subtrees are skipped), each of
// their attributes fetched by its narrowed local name, a fetch of a missing one, their texts
// and ends. With `scribble`, it writes over each text it is given, and a Scribbler is asked
// before it for the elements inside.
class Tracer final : public ElementHandler {
public:
    explicit Tracer(std::string& out, bool scribble = false) : m_out(out), m_scribble(scribble) {}

    bool HandleElement(char* name, ISAXAttributes* attributes, ISAXLocator* locator) override {
        if (name[0] == 'x') {
            return false;
        }
        Write("start", name, locator);
        ResetAttributes(attributes);
        int count = 0;
        attributes->getLength(&count);
        FIAttribute value;
        for (int i = 0; i < count; ++i) {
            unsigned short* localName = nullptr;
            int length = 0;
            attributes->getLocalName(i, &localName, &length);
            char narrowed[4097];
            myconvert(narrowed, localName, length);
            GetAttributeValue(narrowed, attributes, value);
            m_out +=
                std::string(" ") + narrowed + "=" + (value.isNull() ? "(null)" : value.c_str());
        }
        GetAttributeValue("missing", attributes, value);
        m_out += value.isNull() ? "\n" : " missing!\n";
        if (m_scribble) {
            AddHandler(new Scribbler);
        }
        AddHandler(new Tracer(m_out, m_scribble));
        return true;
    }
    void HandleText(char* text, ISAXLocator* locator) override {
        Write("text", text, locator);
        if (m_scribble) {
            std::memset(text, '#', std::strlen(text));
        }
    }
    void HandleEndElement(ISAXLocator* locator) override { Write("end", "", locator); }

private:
    void Write(const char* what, const char* text, ISAXLocator* locator) {
        int line = 0;
        int column = 0;
        locator->getLineNumber(&line);
        locator->getColumnNumber(&column);
        m_out += std::string(what) + "@" + std::to_string(line) + ":" + std::to_string(column) +
                 " [" + text + "]";
        if (std::string(what) != "start") {
            m_out += "\n";
        }
    }

    std::string& m_out;
    bool m_scribble;
};

// The adapter as a derived class: the reader gives it the UTF-16 callbacks.
class DerivedAdapter final : public SAXContentHandlerImpl {
public:
    using SAXContentHandlerImpl::SAXContentHandlerImpl;
    int texts = 0;
    long characters(unsigned short* chars, int length) override {
        ++texts;
        return SAXContentHandlerImpl::characters(chars, length);
    }
};

// The transcript of a read through the adapter itself (`derived` false) or a derived one.
std::string Read(const std::string& document, bool derived, const std::string& file = {},
                 bool scribble = false) {
    std::string out;
    auto* tree = new TopHandler(new Tracer(out, scribble));
    SAXContentHandlerImpl* content =
        derived ? new DerivedAdapter(tree) : new SAXContentHandlerImpl(tree);
    {
        MSXML2::SAXXMLReader reader;
        reader.putContentHandler(content);
        const long result = file.empty() ? reader.parse(document.data(), document.size())
                                         : reader.parseURL(file.c_str());
        out += "result " + std::to_string(result) + "\n";
    }
    content->Release();
    return out;
}

std::string Repeat(const std::string& piece, size_t times) {
    std::string out;
    for (size_t i = 0; i < times; ++i) {
        out += piece;
    }
    return out;
}

const std::string k_clef = "\xF0\x9D\x84\x9E"; // U+1D11E, a surrogate pair in UTF-16
const std::string k_euro = "\xE2\x82\xAC";     // U+20AC, beyond Latin-1
const std::string k_eacute = "\xC3\xA9";       // U+00E9
const std::string k_zhong = "\xE4\xB8\xAD";    // U+4E2D, a letter beyond Latin-1

// A deterministic document of everything that the two roads narrow or cut: nested and
// skipped elements, names and values in and out of namespaces and of Latin-1, references,
// CDATA, line breaks, and text runs long enough to be cut, with characters of every size at
// the cuts.
std::string Mixed(uint32_t seed, size_t size) {
    std::mt19937 random(seed);
    const std::string pieces[] = {"plain words ", "&amp;",           "&lt;", "\n",
                                  "\r\n",         k_eacute,          k_euro, k_clef,
                                  "&#xB0;",       "<![CDATA[<c>]]>", "&e;"};
    const std::string names[] = {
        "a", "p:b", "q:c" + k_eacute, "d" + k_zhong, "x", "p:x", "long" + std::string(40, 'n')};
    std::string doc = "<!DOCTYPE r [<!ENTITY e 'ent" + k_euro +
                      "'>]>\n<r xmlns:p='urn:p' xmlns:q='urn:q" + k_clef + "' xmlns='urn:d'>";
    std::vector<std::string> open;
    while (doc.size() < size) {
        const uint32_t choice = random() % 16;
        if (choice < 3 && open.size() < 8) {
            const std::string& name = names[random() % 7];
            // (Attribute values hold no markup: the pieces before the CDATA section.)
            doc += "<" + name + " a='v" + pieces[random() % 9] + "' q:a" + k_eacute + "='" +
                   pieces[random() % 9] + "1'>";
            open.push_back(name);
        } else if (choice < 5 && !open.empty()) {
            doc += "</" + open.back() + ">";
            open.pop_back();
        } else if (choice == 5) {
            // A run longer than a piece, of characters of one size.
            doc += Repeat(pieces[5 + random() % 3], 1500 + random() % 3000);
        } else {
            doc += pieces[random() % 11];
        }
    }
    for (; !open.empty(); open.pop_back()) {
        doc += "</" + open.back() + ">";
    }
    return doc + "</r>";
}

} // namespace

TEST(TreeRoute, GivesTheTreeWhatTheUtf16RoadGives) {
    const std::string longName = Repeat("n" + k_eacute, 2100);
    const struct {
        const char* what;
        std::string document;
    } cases[] = {
        {"namespaces",
         "<p:r xmlns:p='urn:p' xmlns='urn:d'><p:a p:x='1' y='2'>t</p:a><b xmlns=''>u</b>"
         "<xb><c>skipped</c></xb></p:r>"},
        {"characters of every size", "<r" + k_eacute + " a" + k_zhong + "='" + k_clef + k_eacute +
                                         "&amp;'>" + k_clef + k_euro + k_eacute +
                                         "\xC2\x80\xDF\xBF\xEF\xBF\xBD</r" + k_eacute + ">"},
        {"ASCII longer than a piece", "<r>" + Repeat("abcdefgh", 700) + "</r>"},
        {"a pair that does not fit the piece", "<r>" + std::string(4095, 'a') + k_clef + "b</r>"},
        {"a pair that just fits", "<r>" + std::string(4094, 'a') + k_clef + "b</r>"},
        {"three-byte characters over pieces", "<r>" + Repeat(k_euro, 9000) + "</r>"},
        {"references every few characters", "<r>" + Repeat("ab&amp;c" + k_eacute, 2000) + "</r>"},
        {"a one-byte event at the end of a piece",
         "<r>" + std::string(4095, 'a') + "&amp;&lt;" + k_euro + "</r>"},
        {"line breaks at a cut", "<r>" + std::string(4090, 'a') + "\r\n\n\r" + k_clef + "</r>"},
        {"names beyond the narrowing limit", "<p:" + longName + " xmlns:p='urn:" + longName + "' " +
                                                 longName + "='v'>t</p:" + longName + ">"},
        {"an error after text", "<r>text " + k_euro + "<a></r>"},
        {"mixed", Mixed(7, 200000)},
    };
    for (const auto& c : cases) {
        const std::string utf16Road = Read(c.document, true);
        EXPECT_EQ(Read(c.document, false), utf16Road) << c.what;
        EXPECT_NE(utf16Road.find("text@"), std::string::npos) << c.what;
        const bool fails = std::string(c.what) == "an error after text";
        EXPECT_EQ(utf16Road.find("result 0\n") != std::string::npos, !fails) << c.what;
    }
}

TEST(TreeRoute, FromAFileAsInMemory) {
    // Larger than a piece of a stream.
    qortest::ScopedTempDir dir;
    const std::string document = Mixed(11, 600000);
    ASSERT_TRUE(qortest::WriteFile(dir.file("mixed.xml"), document));
    const std::string inMemory = Read(document, true);
    ASSERT_NE(inMemory.find("result 0\n"), std::string::npos);
    EXPECT_EQ(Read(document, false, dir.file("mixed.xml")), inMemory);
    EXPECT_EQ(Read(document, true, dir.file("mixed.xml")), inMemory);
}

TEST(TreeRoute, HandlersMayWriteInTheNamesAndTextsTheyAreLent) {
    const std::string document =
        "<r><a x='1'>text " + k_euro + "</a><b>" + Repeat("t", 5000) + "</b><xa>skipped</xa></r>";
    for (bool derived : {false, true}) {
        EXPECT_EQ(Read(document, derived, {}, true), Read(document, derived)) << derived;
    }
}

TEST(TreeRoute, ADerivedAdapterKeepsItsCallbacks) {
    std::string out;
    auto* content = new DerivedAdapter(new TopHandler(new Tracer(out)));
    MSXML2::SAXXMLReader reader;
    reader.putContentHandler(content);
    const std::string document = "<r>one<a/>two</r>";
    EXPECT_EQ(reader.parse(document.data(), document.size()), S_OK);
    EXPECT_EQ(content->texts, 2);
    reader.putContentHandler(nullptr);
    content->Release();
}
