#include <QorUtils/platform/SAXXMLReader.h>

#include "support/TestSupport.h"

#include <expat.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <clocale>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

using MSXML2::ISAXAttributes;
using MSXML2::ISAXContentHandler;
using MSXML2::ISAXErrorHandler;
using MSXML2::ISAXLocator;
using MSXML2::SAXXMLReader;

namespace {

// UTF-16 to UTF-8 for transcripts; a lone surrogate shows as <Dxxx> so a split pair is seen.
std::string Utf8(const unsigned short* text, int length) {
    std::string out;
    for (int i = 0; i < length; ++i) {
        unsigned long code = text[i];
        if (code >= 0xD800 && code <= 0xDBFF && i + 1 < length && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            code = 0x10000 + ((code - 0xD800) << 10) + (text[++i] - 0xDC00u);
        } else if (code >= 0xD800 && code <= 0xDFFF) {
            char mark[16];
            std::snprintf(mark, sizeof(mark), "<%04lX>", code);
            out += mark;
            continue;
        }
        if (code < 0x80) {
            out += static_cast<char>(code);
        } else if (code < 0x800) {
            out += static_cast<char>(0xC0 | (code >> 6));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            out += static_cast<char>(0xE0 | (code >> 12));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (code >> 18));
            out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        }
    }
    return out;
}

std::string Utf8(const unsigned short* text) {
    int length = 0;
    while (text[length] != 0) {
        ++length;
    }
    return Utf8(text, length);
}

std::string Hex(long code) {
    char text[16];
    std::snprintf(text, sizeof(text), "%08lX", static_cast<unsigned long>(code) & 0xFFFFFFFFul);
    return text;
}

// ASCII in UTF-16: each byte beside a zero byte.
std::string AsciiToUtf16(const std::string& text, bool bigEndian) {
    std::string out;
    for (char c : text) {
        out += bigEndian ? std::string{'\0', c} : std::string{c, '\0'};
    }
    return out;
}

long SyntaxCode(XML_Error error) {
    return MSXML2::SAXREADER_E_SYNTAX + static_cast<long>(error);
}

// Writes every callback it receives as one line of a transcript. Counted like a COM object,
// with a count of live instances so that tests see every reference given back.
class Recorder final : public ISAXContentHandler, public ISAXErrorHandler {
public:
    static int s_live;

    std::vector<std::string> lines;
    // Text pieces as they arrived, and their lengths in code units.
    std::vector<std::string> pieces;
    std::vector<int> pieceLengths;
    bool showPositions = false;
    // Writes over every name and text it is lent once it has recorded it.
    bool scribble = false;
    // Called by startElement, which gives its result back.
    std::function<long()> startElementHook = [] { return S_OK; };
    std::function<long()> charactersHook = [] { return S_OK; };
    ISAXLocator* locator = nullptr;
    // When set, answers every interface identifier with this face of itself, as a careless
    // QueryInterface does.
    IUnknown* carelessAnswer = nullptr;

    Recorder() { ++s_live; }
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;

    unsigned long count() const { return m_cRef; }
    std::string joinedText() const {
        std::string all;
        for (const std::string& piece : pieces) {
            all += piece;
        }
        return all;
    }

    long QueryInterface(const GUID& riid, void** object) override {
        if (carelessAnswer != nullptr) {
            *object = carelessAnswer;
        } else if (riid == IID_IUnknown || riid == IID_ISAXContentHandler) {
            *object = static_cast<ISAXContentHandler*>(this);
        } else if (riid == IID_ISAXErrorHandler) {
            *object = static_cast<ISAXErrorHandler*>(this);
        } else {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        ++m_cRef;
        return S_OK;
    }
    unsigned long AddRef() override { return ++m_cRef; }
    unsigned long Release() override {
        const unsigned long count = --m_cRef;
        if (count == 0) {
            delete this;
        }
        return count;
    }

    long putDocumentLocator(ISAXLocator* documentLocator) override {
        if (locator != nullptr) {
            locator->Release();
        }
        locator = documentLocator;
        locator->AddRef();
        lines.push_back("locator");
        return S_OK;
    }
    long startDocument() override {
        lines.push_back("startDocument" + at());
        return S_OK;
    }
    long endDocument() override {
        lines.push_back("endDocument" + at());
        return S_OK;
    }
    long startPrefixMapping(unsigned short* prefix, int prefixLength, unsigned short* uri,
                            int uriLength) override {
        lines.push_back("startPrefix " + Utf8(prefix, prefixLength) + "=" + Utf8(uri, uriLength));
        return S_OK;
    }
    long endPrefixMapping(unsigned short* prefix, int prefixLength) override {
        lines.push_back("endPrefix " + Utf8(prefix, prefixLength));
        return S_OK;
    }
    long startElement(unsigned short* uri, int uriLength, unsigned short* localName,
                      int localLength, unsigned short* qName, int qNameLength,
                      ISAXAttributes* attributes) override {
        std::string line =
            "start " + name(uri, uriLength, localName, localLength, qName, qNameLength);
        int count = 0;
        attributes->getLength(&count);
        for (int i = 0; i < count; ++i) {
            unsigned short* texts[4];
            int lengths[4];
            attributes->getURI(i, &texts[0], &lengths[0]);
            attributes->getLocalName(i, &texts[1], &lengths[1]);
            attributes->getQName(i, &texts[2], &lengths[2]);
            attributes->getValue(i, &texts[3], &lengths[3]);
            line += " " + name(texts[0], lengths[0], texts[1], lengths[1], texts[2], lengths[2]) +
                    "=" + Utf8(texts[3], lengths[3]);
        }
        lines.push_back(line + at());
        if (scribble) {
            Scribble(uri, uriLength);
            Scribble(localName, localLength);
            Scribble(qName, qNameLength);
        }
        return startElementHook();
    }
    long endElement(unsigned short* uri, int uriLength, unsigned short* localName, int localLength,
                    unsigned short* qName, int qNameLength) override {
        lines.push_back("end " + name(uri, uriLength, localName, localLength, qName, qNameLength) +
                        at());
        return S_OK;
    }
    long characters(unsigned short* text, int length) override {
        pieces.push_back(Utf8(text, length));
        pieceLengths.push_back(length);
        lines.push_back("text " + pieces.back() + at());
        if (scribble) {
            Scribble(text, length);
        }
        return charactersHook();
    }
    long ignorableWhitespace(unsigned short* text, int length) override {
        lines.push_back("whitespace " + Utf8(text, length));
        return S_OK;
    }
    long processingInstruction(unsigned short* target, int targetLength, unsigned short* data,
                               int dataLength) override {
        lines.push_back("pi " + Utf8(target, targetLength) + " " + Utf8(data, dataLength) + at());
        return S_OK;
    }
    long skippedEntity(unsigned short* entity, int length) override {
        lines.push_back("skipped " + Utf8(entity, length) + at());
        return S_OK;
    }

    long error(ISAXLocator* where, unsigned short* description, long code) override {
        return report("error", where, description, code);
    }
    long fatalError(ISAXLocator* where, unsigned short* description, long code) override {
        return report("fatal", where, description, code);
    }
    long ignorableWarning(ISAXLocator* where, unsigned short* description, long code) override {
        return report("warning", where, description, code);
    }

private:
    ~Recorder() {
        if (locator != nullptr) {
            locator->Release();
        }
        --s_live;
    }

    static void Scribble(unsigned short* text, int length) {
        std::fill(text, text + length, static_cast<unsigned short>('#'));
    }

    static std::string name(unsigned short* uri, int uriLength, unsigned short* localName,
                            int localLength, unsigned short* qName, int qNameLength) {
        std::string text = Utf8(qName, qNameLength);
        if (uriLength != 0) {
            text = "{" + Utf8(uri, uriLength) + "}" + Utf8(localName, localLength) + "|" + text;
        } else if (Utf8(localName, localLength) != text) {
            text += "|local=" + Utf8(localName, localLength);
        }
        return text;
    }

    std::string at() const {
        if (!showPositions || locator == nullptr) {
            return "";
        }
        int line = 0;
        int column = 0;
        locator->getLineNumber(&line);
        locator->getColumnNumber(&column);
        return " @" + std::to_string(line) + ":" + std::to_string(column);
    }

    long report(const char* kind, ISAXLocator* where, unsigned short* description, long code) {
        std::string line = std::string(kind) + " " + Hex(code) + " " + Utf8(description);
        if (where != nullptr) {
            int row = 0;
            int column = 0;
            where->getLineNumber(&row);
            where->getColumnNumber(&column);
            line += " @" + std::to_string(row) + ":" + std::to_string(column);
        } else {
            line += " (no locator)";
        }
        lines.push_back(line);
        return S_OK;
    }

    unsigned long m_cRef = 1;
};

int Recorder::s_live = 0;

// A content handler that lives on the stack and accepts everything, for tests that look at
// one callback.
struct QuietHandler : ISAXContentHandler {
    long QueryInterface(const GUID&, void**) override { return E_NOINTERFACE; }
    unsigned long AddRef() override { return 2; }
    unsigned long Release() override { return 1; }
    long putDocumentLocator(ISAXLocator*) override { return S_OK; }
    long startDocument() override { return S_OK; }
    long endDocument() override { return S_OK; }
    long startPrefixMapping(unsigned short*, int, unsigned short*, int) override { return S_OK; }
    long endPrefixMapping(unsigned short*, int) override { return S_OK; }
    long startElement(unsigned short*, int, unsigned short*, int, unsigned short*, int,
                      ISAXAttributes*) override {
        return S_OK;
    }
    long endElement(unsigned short*, int, unsigned short*, int, unsigned short*, int) override {
        return S_OK;
    }
    long characters(unsigned short*, int) override { return S_OK; }
    long ignorableWhitespace(unsigned short*, int) override { return S_OK; }
    long processingInstruction(unsigned short*, int, unsigned short*, int) override { return S_OK; }
    long skippedEntity(unsigned short*, int) override { return S_OK; }

protected:
    ~QuietHandler() = default;
};

// A reader wired to one recorder for both roles; checks that every reference comes back.
class SAXXMLReaderTest : public ::testing::Test {
protected:
    void SetUp() override {
        recorder = new Recorder();
        reader.putContentHandler(recorder);
        reader.putErrorHandler(recorder);
    }
    void TearDown() override {
        reader.putContentHandler(nullptr);
        reader.putErrorHandler(nullptr);
        recorder->Release();
        EXPECT_EQ(Recorder::s_live, 0);
    }

    long parseText(const std::string& document) {
        return reader.parse(document.data(), document.size());
    }
    std::vector<std::string> transcript(const std::string& document) {
        recorder->lines.clear();
        recorder->pieces.clear();
        recorder->pieceLengths.clear();
        parseText(document);
        return recorder->lines;
    }

    SAXXMLReader reader;
    Recorder* recorder = nullptr;
};

} // namespace

TEST_F(SAXXMLReaderTest, ReportsElementsAttributesAndTextInDocumentOrder) {
    EXPECT_EQ(
        transcript("<?xml version='1.0'?>\n"
                   "<root b='2' a=\"1\"><child x='y'/><child>some text</child>tail</root>"),
        (std::vector<std::string>{"locator", "startDocument", "start root b=2 a=1",
                                  "start child x=y", "end child", "start child", "text some text",
                                  "end child", "text tail", "end root", "endDocument"}));
    EXPECT_EQ(parseText("<a/>"), S_OK);
}

TEST_F(SAXXMLReaderTest, AHandlerAnsweringEveryInterfaceGetsEveryCallback) {
    const std::string document = "<r a='1'>text</r>";
    const std::vector<std::string> expected = transcript(document);
    for (IUnknown* face : {static_cast<IUnknown*>(static_cast<ISAXContentHandler*>(recorder)),
                           static_cast<IUnknown*>(static_cast<ISAXErrorHandler*>(recorder))}) {
        recorder->carelessAnswer = face;
        EXPECT_EQ(transcript(document), expected);
        EXPECT_EQ(parseText(document), S_OK);
    }
}

TEST_F(SAXXMLReaderTest, SeparatesNamespacesFromAttributesAndMapsPrefixes) {
    EXPECT_EQ(transcript("<r xmlns='urn:d' xmlns:p='urn:p' a='1' p:b='2'>"
                         "<p:c xmlns:q='urn:q' q:z='3'/><e xmlns=''/></r>"),
              (std::vector<std::string>{
                  "locator", "startDocument", "startPrefix =urn:d", "startPrefix p=urn:p",
                  "start {urn:d}r|r a=1 {urn:p}b|p:b=2", "startPrefix q=urn:q",
                  "start {urn:p}c|p:c {urn:q}z|q:z=3", "end {urn:p}c|p:c", "endPrefix q",
                  "startPrefix =", "start e", "end e", "endPrefix ", "end {urn:d}r|r",
                  "endPrefix p", "endPrefix ", "endDocument"}));
}

TEST_F(SAXXMLReaderTest, ExpandsEntitiesAndJoinsTextAroundReferencesCdataAndComments) {
    EXPECT_EQ(transcript("<!DOCTYPE r [<!ENTITY who 'world'><!ATTLIST r d CDATA 'dflt'>]>"
                         "<r>a&lt;b&amp;&#x41;&#66;<!-- gone -->&who;<![CDATA[<x>&amp;]]>"
                         "\r\nend</r>"),
              (std::vector<std::string>{"locator", "startDocument", "start r d=dflt",
                                        "text a<b&ABworld<x>&amp;\nend", "end r", "endDocument"}));
}

TEST_F(SAXXMLReaderTest, ReportsProcessingInstructionsButNotTheDeclaration) {
    EXPECT_EQ(
        transcript("<?xml version='1.0' encoding='UTF-8'?><?before some data?>"
                   "<r><?inside?></r><?after x?>"),
        (std::vector<std::string>{"locator", "startDocument", "pi before some data", "start r",
                                  "pi inside ", "end r", "pi after x", "endDocument"}));
}

TEST_F(SAXXMLReaderTest, StopsAtTheFirstFatalErrorWithItsPosition) {
    struct Case {
        const char* document;
        XML_Error error;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {"<r>\n  <a>text</b>\n</r>",
         XML_ERROR_TAG_MISMATCH,
         {"start r", "text \n  ", "start a", "text text"}},
        {"<r>\n<a x='1' x='2'/></r>", XML_ERROR_DUPLICATE_ATTRIBUTE, {"start r", "text \n"}},
        {"<r>&nope;</r>", XML_ERROR_UNDEFINED_ENTITY, {"start r"}},
        {"<r/><second/>", XML_ERROR_JUNK_AFTER_DOC_ELEMENT, {"start r", "end r"}},
        {"<r>\n<a>", XML_ERROR_NO_ELEMENTS, {"start r", "text \n", "start a"}},
        {"<r>\x01</r>", XML_ERROR_INVALID_TOKEN, {"start r"}},
        {"<r>\xC3\x28</r>", XML_ERROR_INVALID_TOKEN, {"start r"}},
        {"", XML_ERROR_NO_ELEMENTS, {}},
        {"<p:r/>", XML_ERROR_UNBOUND_PREFIX, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.document);
        recorder->lines.clear();
        EXPECT_EQ(parseText(c.document), SyntaxCode(c.error));
        std::vector<std::string> expected = {"locator", "startDocument"};
        expected.insert(expected.end(), c.expected.begin(), c.expected.end());
        ASSERT_EQ(recorder->lines.size(), expected.size() + 1);
        recorder->lines.pop_back();
        EXPECT_EQ(recorder->lines, expected);
    }
}

// Expat expands entities that refer to others recursively: a long chain of general or parameter
// entities would overflow the stack. Nesting stops at 40 levels; a cycle never ends, used or not.
TEST_F(SAXXMLReaderTest, RefusesEntitiesNestedTooDeep) {
    // Entity i refers to entity i + 1 (as "&e2;", or "&#37;p2;", a parameter reference once
    // the character reference is replaced); the last one's text is `last`.
    const auto chain = [](int levels, const std::string& declared, const std::string& referred,
                          const std::string& last) {
        std::string dtd = "<!DOCTYPE r [";
        for (int i = 1; i < levels; ++i) {
            dtd += "<!ENTITY " + declared + std::to_string(i) + " '" + referred +
                   std::to_string(i + 1) + ";'>";
        }
        return dtd + "<!ENTITY " + declared + std::to_string(levels) + " '" + last + "'>";
    };
    const auto general = [&](int levels, const std::string& last) {
        return chain(levels, "e", "&e", last) + "]><r a='&e1;'>&e1;</r>";
    };
    const auto parameter = [&](int levels) {
        return chain(levels, "% p", "&#37;p", "<!ENTITY e1 \"end\">") + "%p1;]><r>&e1;</r>";
    };
    const std::pair<std::string, long> cases[] = {
        {general(40, "end"), S_OK},
        {parameter(40), S_OK},
        {general(41, "end"), SyntaxCode(XML_ERROR_AMPLIFICATION_LIMIT_BREACH)},
        {general(100000, "end"), SyntaxCode(XML_ERROR_AMPLIFICATION_LIMIT_BREACH)},
        {general(100000, "&e1;"), SyntaxCode(XML_ERROR_AMPLIFICATION_LIMIT_BREACH)},
        {parameter(41), SyntaxCode(XML_ERROR_AMPLIFICATION_LIMIT_BREACH)},
        {parameter(100000), SyntaxCode(XML_ERROR_AMPLIFICATION_LIMIT_BREACH)},
        {"<!DOCTYPE r [<!ENTITY a '&b;'><!ENTITY b '&a;'>]><r/>",
         SyntaxCode(XML_ERROR_AMPLIFICATION_LIMIT_BREACH)},
    };
    for (const auto& [document, result] : cases) {
        SCOPED_TRACE(document.substr(0, 60));
        EXPECT_EQ(parseText(document), result);
    }
}

TEST_F(SAXXMLReaderTest, FatalErrorCarriesCodeDescriptionAndWhereExpatStopped) {
    EXPECT_EQ(parseText("<r>\n  <a>text</b>\n</r>"), SyntaxCode(XML_ERROR_TAG_MISMATCH));
    EXPECT_EQ(recorder->lines.back(), "fatal 80040207 mismatched tag\r\n @2:12");
    EXPECT_EQ(SyntaxCode(XML_ERROR_TAG_MISMATCH),
              static_cast<long>(static_cast<int32_t>(0x80040207u)));

    EXPECT_EQ(parseText("<r a='1\"/>"), SyntaxCode(XML_ERROR_UNCLOSED_TOKEN));
    EXPECT_EQ(recorder->lines.back(), "fatal 80040205 unclosed token\r\n @1:1");
}

TEST_F(SAXXMLReaderTest, LocatorGivesLineAndColumnOfEachEvent) {
    recorder->showPositions = true;
    EXPECT_EQ(transcript("<?xml version='1.0'?>\n"
                         "<root>\n"
                         "  <é a='1'>x\xC3\xA9y</é><?pi d?>\n"
                         "</root>\n"),
              (std::vector<std::string>{"locator", "startDocument @1:1", "start root @2:1",
                                        "text \n   @3:3", "start é a=1 @3:3", "text xéy @3:15",
                                        "end é @3:15", "pi pi d @3:19", "text \n @4:1",
                                        "end root @4:1", "endDocument @5:1"}));
}

TEST_F(SAXXMLReaderTest, AByteOrderMarkTakesNoColumn) {
    qortest::ScopedTempDir dir;
    const std::string path = dir.file("marked.xml");
    recorder->showPositions = true;
    for (const std::string document : {"<r a='1'>t<e/>\n<e/>t</r>", "<r><e></r>"}) {
        SCOPED_TRACE(document);
        const std::vector<std::string> unmarked = transcript(document);
        EXPECT_EQ(transcript("\xEF\xBB\xBF" + document), unmarked);
        EXPECT_EQ(transcript("\xFF\xFE" + AsciiToUtf16(document, false)), unmarked);
        EXPECT_EQ(transcript("\xFE\xFF" + AsciiToUtf16(document, true)), unmarked);
        ASSERT_TRUE(qortest::WriteFile(path, "\xEF\xBB\xBF" + document));
        recorder->lines.clear();
        reader.parseURL(path.c_str());
        EXPECT_EQ(recorder->lines, unmarked);
    }
    EXPECT_EQ(transcript("\xEF\xBB\xBF<r/>")[2], "start r @1:1");
}

// A document not in UTF-8 hands a long reference over in chunks; the text before it and the
// skipped entity stand where the reference begins, as in UTF-8.
TEST_F(SAXXMLReaderTest, PlacesALongReferenceWhereItBegins) {
    recorder->showPositions = true;
    const std::string name(3000, 'n');
    const std::string document =
        "<!DOCTYPE r [<!ENTITY " + name + " SYSTEM 'n'>]>\n<r>t&" + name + ";</r>";
    const std::vector<std::string> utf8 = transcript(document);
    EXPECT_EQ(utf8[4], "skipped " + name + " @2:5");
    EXPECT_EQ(transcript("\xFF\xFE" + AsciiToUtf16(document, false)), utf8);
    EXPECT_EQ(transcript("<?xml version='1.0' encoding='ISO-8859-1'?>" + document), utf8);
}

// A UTF-8 mark before a declaration of another encoding (a mislabelled file that expat
// reads) takes no column either.
TEST_F(SAXXMLReaderTest, AByteOrderMarkBeforeAnotherEncodingTakesNoColumn) {
    recorder->showPositions = true;
    for (const char* encoding : {"ISO-8859-1", "windows-1252", "Shift_JIS"}) {
        SCOPED_TRACE(encoding);
        const std::string document =
            "<?xml version='1.0' encoding='" + std::string(encoding) + "'?><r a='1'>t&amp;</r>";
        EXPECT_EQ(transcript("\xEF\xBB\xBF" + document), transcript(document));
    }
}

TEST_F(SAXXMLReaderTest, HandlersMayWriteInTheNamesAndTextsTheyAreLent) {
    const std::string document =
        "<p:r xmlns:p='urn:p'><e a='1'>text</e>" + std::string(5000, 't') + "<p:e/></p:r>";
    const std::vector<std::string> untouched = transcript(document);
    recorder->scribble = true;
    EXPECT_EQ(transcript(document), untouched);
}

TEST_F(SAXXMLReaderTest, DeliversLongTextWholeInPiecesOfAtMost4096Units) {
    std::string text;
    for (int i = 0; i < 10000; ++i) {
        text += static_cast<char>('a' + i % 26);
        if (i % 100 == 99) {
            text += "\n&amp;";
        }
    }
    std::string expected;
    for (int i = 0; i < 10000; ++i) {
        expected += static_cast<char>('a' + i % 26);
        if (i % 100 == 99) {
            expected += "\n&";
        }
    }
    recorder->showPositions = true;
    transcript("<r>" + text + "</r>");
    EXPECT_EQ(recorder->joinedText(), expected);
    EXPECT_EQ(recorder->pieceLengths, (std::vector<int>{4096, 4096, 2008}));
    // A piece reports where it ends: 40 lines of 100 letters, a line break and "&amp;" make
    // 4080 units, so the first piece ends 16 letters into line 41, the second 32 letters into
    // line 81.
    EXPECT_EQ(recorder->lines[3].substr(recorder->lines[3].size() - 7), " @41:22");
    EXPECT_EQ(recorder->lines[4].substr(recorder->lines[4].size() - 7), " @81:38");
    // Expat places an entity's replacement text at the reference: a piece cut inside it ends
    // no further on than the reference's end, whatever the document's encoding.
    const std::string entity =
        "<!DOCTYPE r [<!ENTITY big '" + std::string(5000, 'y') + "'>]>\n<r>ab&big;cd</r>";
    const std::vector<std::string> cut = transcript(entity);
    EXPECT_EQ(cut[3].substr(cut[3].size() - 6), " @2:11");
    EXPECT_EQ(transcript("<?xml version='1.0' encoding='ISO-8859-1'?>" + entity), cut);
    EXPECT_EQ(transcript("\xFF\xFE" + AsciiToUtf16(entity, false)), cut);
}

TEST_F(SAXXMLReaderTest, NeverSplitsASurrogatePairBetweenPieces) {
    const std::string smiley = "\xF0\x9F\x98\x80"; // U+1F600, two code units
    const std::string text = std::string(4095, 'x') + smiley + "y" + smiley;
    transcript("<r>" + text + "</r>");
    EXPECT_EQ(recorder->pieceLengths, (std::vector<int>{4095, 5}));
    EXPECT_EQ(recorder->pieces[1], smiley + "y" + smiley);
    EXPECT_EQ(recorder->joinedText(), text);
}

TEST_F(SAXXMLReaderTest, ConvertsCharactersOfEverySizeAtEveryPlace) {
    // A character of two, three and four bytes at every place of ASCII runs of up to 40
    // bytes, in attribute values and text, and in element names (where expat takes no
    // character beyond the first plane), so that every end of every block of the conversion
    // is met.
    struct Character {
        const char* text;
        const char* inName;
    };
    const Character k_characters[] = {{"\xC3\xA9", "\xC3\xA9"},
                                      {"\xE0\xA4\x85", "\xE0\xA4\x85"},
                                      {"\xF0\x9F\x98\x80", "\xCE\xA9"}};
    std::string document = "<r>";
    std::vector<std::string> expected = {"start r"};
    std::string text;
    for (const Character& character : k_characters) {
        for (size_t length = 0; length <= 40; ++length) {
            for (size_t at = 0; at <= length; ++at) {
                const std::string before(at, 'a');
                const std::string after(length - at, 'b');
                const std::string piece = before + character.text + after;
                const std::string name = "n" + before + character.inName + after;
                document += "<" + name + " v='" + piece + "'>" + piece + "</" + name + ">";
                expected.push_back("start " + name + " v=" + piece);
                expected.push_back("text " + piece);
                expected.push_back("end " + name);
                text += piece;
            }
        }
    }
    expected.push_back("end r");
    const std::vector<std::string> lines = transcript(document + "</r>");
    ASSERT_EQ(lines.size(), expected.size() + 3) << lines.back();
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 2, lines.end() - 1), expected);
    EXPECT_EQ(recorder->joinedText(), text);
}

TEST_F(SAXXMLReaderTest, ReadsSingleAndMultiByteCharacterSets) {
    struct Case {
        const char* encoding;
        std::string name; // an element name in the set
        const char* expectedName;
        std::string text;
        const char* expectedText;
    };
    const Case cases[] = {
        {"ISO-8859-1", "caf\xE9", "café", "\xA0\xFF", "\xC2\xA0ÿ"},
        {"US-ASCII", "plain", "plain", "a&#xE9;", "aé"},
        {"windows-1252", "\x9C\xE9", "œé", "\x80 \x93q\x94", "€ “q”"},
        {"ISO-8859-2", "\xB1\xE8\xBE", "ąčž", "\xA3\xF0", "Łđ"},
        {"KOI8-R", "\xCD\xC9\xD2", "мир", "\xF7\xC1", "Ва"},
        {"windows-1251", "\xEC\xE8\xF0", "мир", "\xB9", "№"},
        {"ISO-8859-7", "\xE1\xE2\xE3", "αβγ", "\xA4", "€"},
        // Its 0xA4 reads as ')', which expat keeps for the ASCII byte: refused alone, not the set.
        {"ARMSCII-8", "\xB2\xB3", "Աա", "\xB4", "Բ"},
        // Trail bytes in the ASCII range ('{' and '\') stay inside their character.
        {"Shift_JIS", "\x93\xFA\x96\x7B\x95\x5C", "日本表", "\xB1\x95\x5C<", "ｱ表<"},
        {"EUC-JP", "\xC6\xFC\xCB\xDC\x8F\xB0\xA1", "日本丂", "\x8E\xB1", "ｱ"},
        {"EUC-KR", "\xC7\xD1\xB1\xB9", "한국", "\xB0\xA1", "가"},
        {"GB2312", "\xD6\xD0\xCE\xC4", "中文", "\xA1\xA2", "、"},
        {"Big5", "\xA4\xA4\xA4\xE5", "中文", "\xA4\x40", "一"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.encoding);
        std::string text = c.text;
        if (!text.empty() && text.back() == '<') {
            text.replace(text.size() - 1, 1, "&lt;");
        }
        EXPECT_EQ(transcript(std::string("<?xml version='1.0' encoding='") + c.encoding + "'?>" +
                             "<r v='" + text + "'><" + c.name + ">" + text + "</" + c.name +
                             "></r>"),
                  (std::vector<std::string>{
                      "locator", "startDocument", std::string("start r v=") + c.expectedText,
                      std::string("start ") + c.expectedName, std::string("text ") + c.expectedText,
                      std::string("end ") + c.expectedName, "end r", "endDocument"}));
    }
}

// A child forked while another thread opens a character set reads one too: it does not find
// the lock around opening sets held forever.
TEST(SAXXMLReader, ChildForkedWhileAnotherThreadReadsACharacterSetReadsOne) {
    if (qortest::kSanitized) {
        GTEST_SKIP() << "the sanitizer's allocator may hang a child forked beside a busy thread; "
                        "tested in the normal build";
    }
    const auto read = [](const std::string& encoding) {
        const std::string document = "<?xml version='1.0' encoding='" + encoding + "'?><r/>";
        SAXXMLReader reader;
        return reader.parse(document.data(), document.size());
    };
    read("windows-1252"); // sets up what every reading shares before any child is forked
    // A set refused at once (EBCDIC): the thread reading it mostly holds the lock.
    const auto readRefused = [&read] { read("IBM037"); };
    const auto readOrFail = [&read] {
        if (read("windows-1252") != S_OK) {
            _exit(1);
        }
    };
    EXPECT_TRUE(
        qortest::ChildrenOfABusyProcessReturn(readRefused, readOrFail, std::chrono::seconds(1)));
}

// Documents labelled with a multi-byte set are written in its superset, and backslash and tilde
// are ASCII in them: every printable ASCII byte reaches the handler as itself (raw in a text,
// raw in an attribute value but for the three bytes that must be escaped there).
TEST_F(SAXXMLReaderTest, ReadsMultiByteLabelsAsTheirSupersetsWithAsciiIntact) {
    struct Case {
        const char* encoding;
        const char* beyond; // a character that only the superset has (or any beyond ASCII)
        const char* expected;
    };
    const Case cases[] = {
        {"Shift_JIS", "\x87\x40", "①"},  {"shift_jis", "\x87\x40", "①"},
        {"SJIS", "\x87\x40", "①"},       {"MS_Kanji", "\x87\x40", "①"},
        {"csShiftJIS", "\x87\x40", "①"}, {"EUC-KR", "\x81\x41", "갂"},
        {"csEUCKR", "\x81\x41", "갂"},   {"GB2312", "\x81\x40", "丂"},
        {"csGB2312", "\x81\x40", "丂"},  {"Big5", "\xA3\xE1", "€"},
        {"csBig5", "\xA3\xE1", "€"},     {"EUC-JP", "\x8F\xB0\xA1", "丂"},
        {"windows-1252", "\x80", "€"},   {"KOI8-R", "\xC1", "а"},
    };
    std::string ascii;
    std::string escaped;
    for (char c = 0x20; c < 0x7F; ++c) {
        ascii += c;
        escaped += c == '<' ? "&lt;" : c == '&' ? "&amp;" : c == '\'' ? "&apos;" : std::string{c};
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.encoding);
        EXPECT_EQ(transcript(std::string("<?xml version='1.0' encoding='") + c.encoding +
                             "'?><r v='" + escaped + "' w='" + c.beyond + "'><![CDATA[" + ascii +
                             "]]>" + c.beyond + "</r>"),
                  (std::vector<std::string>{"locator", "startDocument",
                                            "start r v=" + ascii + " w=" + c.expected,
                                            "text " + ascii + c.expected, "end r", "endDocument"}));
    }
}

// Labels match whatever the locale: in a Turkish one, 'I' and 'i' are not each other's
// case, yet "SHIFT_JIS" still names the superset. The locale is compiled for the test.
TEST_F(SAXXMLReaderTest, LabelsMatchTheirSupersetsInAnyLocale) {
    qortest::ScopedTempDir locales;
    const std::string build =
        "localedef -i tr_TR -f ISO-8859-9 " + locales.file("tr_TR.ISO-8859-9") + " 2>/dev/null";
    if (std::system(build.c_str()) != 0) {
        GTEST_SKIP() << "no Turkish locale can be compiled here";
    }
    const std::string previous = setlocale(LC_CTYPE, nullptr);
    setenv("LOCPATH", locales.path().c_str(), 1);
    const char* turkish = setlocale(LC_CTYPE, "tr_TR.ISO-8859-9");
    unsetenv("LOCPATH");
    ASSERT_NE(turkish, nullptr);
    for (const char* encoding : {"SHIFT_JIS", "sjis", "MS_KANJI"}) {
        SCOPED_TRACE(encoding);
        EXPECT_EQ(transcript(std::string("<?xml version='1.0' encoding='") + encoding +
                             "'?><r>\x87\x40</r>"),
                  (std::vector<std::string>{"locator", "startDocument", "start r", "text ①",
                                            "end r", "endDocument"}));
    }
    setlocale(LC_CTYPE, previous.c_str());
}

// A byte sequence that the set does not have, and a sequence cut by the end of the document,
// are fatal errors where they begin (line 3, column 5 here).
TEST_F(SAXXMLReaderTest, RefusesASequenceTheSetDoesNotHave) {
    struct Case {
        const char* encoding;
        const char* bytes;
        XML_Error error;
    };
    const Case cases[] = {
        {"Shift_JIS", "\x81\x7F", XML_ERROR_INVALID_TOKEN},
        {"Shift_JIS", "\x81", XML_ERROR_PARTIAL_CHAR},
        {"EUC-JP", "\x95\x5C", XML_ERROR_INVALID_TOKEN},
        {"EUC-JP", "\xA1\x41", XML_ERROR_INVALID_TOKEN},
        {"EUC-JP", "\x8F\xB0", XML_ERROR_PARTIAL_CHAR},
        {"EUC-KR", "\xC9\x41", XML_ERROR_INVALID_TOKEN},
        {"EUC-KR", "\x80", XML_ERROR_INVALID_TOKEN},
        {"EUC-KR", "\xB0", XML_ERROR_PARTIAL_CHAR},
        {"GB2312", "\x81\x7F", XML_ERROR_INVALID_TOKEN},
        {"GB2312", "\xFF", XML_ERROR_INVALID_TOKEN},
        {"GB2312", "\xD6", XML_ERROR_PARTIAL_CHAR},
        {"Big5", "\xA1\x30", XML_ERROR_INVALID_TOKEN},
        {"Big5", "\x80", XML_ERROR_INVALID_TOKEN},
        {"Big5", "\xA4", XML_ERROR_PARTIAL_CHAR},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.encoding) + " " + Hex(static_cast<unsigned char>(c.bytes[0])));
        const std::string start =
            std::string("<?xml version='1.0' encoding='") + c.encoding + "'?>\n<r>\n  ab" + c.bytes;
        const bool cut = c.error == XML_ERROR_PARTIAL_CHAR;
        EXPECT_EQ(parseText(cut ? start : start + "cd</r>"), SyntaxCode(c.error));
        EXPECT_EQ(recorder->lines.back().substr(0, 14), "fatal " + Hex(SyntaxCode(c.error)));
        EXPECT_EQ(recorder->lines.back().substr(recorder->lines.back().size() - 5), " @3:5");
    }
}

// "UTF8", as some generators label UTF-8, reads as UTF-8 does: the same calls, errors and
// places, in memory and from a file, characters beyond U+FFFF included.
TEST_F(SAXXMLReaderTest, ReadsTheLabelUtf8AsUtf8) {
    qortest::ScopedTempDir dir;
    const std::string path = dir.file("labelled.xml");
    recorder->showPositions = true;
    const auto read = [&](const std::string& document) {
        std::vector<std::string> lines = transcript(document);
        EXPECT_TRUE(qortest::WriteFile(path, document));
        recorder->lines.clear();
        reader.parseURL(path.c_str());
        EXPECT_EQ(recorder->lines, lines);
        return lines;
    };
    const std::pair<std::string, const char*> declarations[] = {
        {"<?xml version='1.0' encoding='", "'?>"},
        {"\xEF\xBB\xBF<?xml version=\"1.0\" encoding = \"", "\" ?>"},
        {"<?xml version='1.0'\n encoding='", "' standalone='yes'?>"},
        {"<?xml version='1.0'" + std::string(600, ' ') + "encoding='", "'?>"},
    };
    for (const auto& [before, after] : declarations) {
        for (const char* body : {"\n<r a='\xC3\xA9'>\xE4\xB8\xAD\xF0\x9F\x98\x80</r>",
                                 "\n<r>\xC0\x80</r>", "\n<r>\xED\xA0\x80</r>", "\n<r>\xE4\xB8"}) {
            SCOPED_TRACE(std::string(before) + body);
            const std::vector<std::string> utf8 =
                read(std::string(before) + "UTF-8" + after + body);
            for (const char* label : {"UTF8", "utf8", "Utf8"}) {
                EXPECT_EQ(read(before + std::string(label) + after + body), utf8);
            }
        }
    }
    // A document in UTF-16 so labelled is refused as one labelled UTF-8 is.
    const auto utf16 = [](const std::string& label) {
        std::string document = "\xFF\xFE";
        for (const char c : "<?xml version='1.0' encoding='" + label + "'?><r/>") {
            document += {c, '\0'};
        }
        return document;
    };
    EXPECT_EQ(transcript(utf16("UTF8")), transcript(utf16("UTF-8")));
}

TEST_F(SAXXMLReaderTest, RefusesAnUnreadableEncodingByName) {
    for (const char* encoding : {"X-NO-SUCH-SET", "ISO-2022-JP", "GB18030", "UTF-32", "UTF-7"}) {
        SCOPED_TRACE(encoding);
        EXPECT_EQ(transcript(std::string("<?xml version='1.0' encoding='") + encoding +
                             "'?>\n<r>text</r>"),
                  (std::vector<std::string>{"locator", "startDocument",
                                            "fatal 80040212 unknown encoding \"" +
                                                std::string(encoding) + "\"\r\n @1:31"}));
    }
}

// A descriptor is read from where it stands to its end and stays open for its owner.
TEST_F(SAXXMLReaderTest, ReadsADescriptorFromWhereItStands) {
    qortest::ScopedTempDir dir;
    const std::string path = dir.file("in.xml");
    ASSERT_TRUE(qortest::WriteFile(path, "<skipped/><r>text</r>"));
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(lseek(fd, 10, SEEK_SET), 10);
    uint64_t bytes = 99;
    recorder->lines.clear();
    EXPECT_EQ(reader.parseDescriptor(fd, "in", &bytes), S_OK);
    EXPECT_EQ(recorder->lines, (std::vector<std::string>{"locator", "startDocument", "start r",
                                                         "text text", "end r", "endDocument"}));
    EXPECT_EQ(bytes, 11u);
    EXPECT_EQ(close(fd), 0);
    EXPECT_EQ(reader.parseDescriptor(-1, nullptr, &bytes), E_INVALIDARG);
    EXPECT_EQ(bytes, 0u);
}

// A descriptor that does not block (as a parent may leave standard input) is waited on when it
// has nothing yet, not taken for a failed read.
TEST_F(SAXXMLReaderTest, WaitsOnADescriptorThatDoesNotBlock) {
    std::thread writer;
    const int fd = qortest::PipeWrittenInParts({"<r>te", "xt</r>"}, writer);
    recorder->lines.clear();
    EXPECT_EQ(reader.parseDescriptor(fd, "-"), S_OK);
    writer.join();
    close(fd);
    EXPECT_EQ(recorder->lines, (std::vector<std::string>{"locator", "startDocument", "start r",
                                                         "text text", "end r", "endDocument"}));
}

TEST_F(SAXXMLReaderTest, ReadsUtf16WithAndWithoutByteOrderMark) {
    const std::string text =
        "<?xml version='1.0' encoding='UTF-16'?><r a='\xC3\xA9'>\xF0\x9F\x98\x80</r>";
    auto utf16 = [&](bool bigEndian, bool bom) {
        std::string out = bom ? (bigEndian ? "\xFE\xFF" : "\xFF\xFE") : "";
        // The document is ASCII apart from é (U+00E9) and U+1F600.
        std::vector<unsigned short> units;
        for (size_t i = 0; i < text.size(); ++i) {
            const auto byte = static_cast<unsigned char>(text[i]);
            if (byte == 0xC3) {
                units.push_back(0xE9);
                ++i;
            } else if (byte == 0xF0) {
                units.push_back(0xD83D);
                units.push_back(0xDE00);
                i += 3;
            } else {
                units.push_back(byte);
            }
        }
        for (unsigned short unit : units) {
            const char high = static_cast<char>(unit >> 8);
            const char low = static_cast<char>(unit & 0xFF);
            out += bigEndian ? std::string{high, low} : std::string{low, high};
        }
        return out;
    };
    for (bool bigEndian : {false, true}) {
        for (bool bom : {true, false}) {
            SCOPED_TRACE(std::string(bigEndian ? "big" : "little") + (bom ? " with" : " without"));
            EXPECT_EQ(transcript(utf16(bigEndian, bom)),
                      (std::vector<std::string>{"locator", "startDocument", "start r a=é",
                                                "text \xF0\x9F\x98\x80", "end r", "endDocument"}));
        }
    }
}

TEST_F(SAXXMLReaderTest, ReportsFilesThatCannotBeReadThroughFatalError) {
    qortest::ScopedTempDir dir;
    const std::string missing = dir.file("missing.xml");
    recorder->lines.clear();
    EXPECT_EQ(reader.parseURL(missing.c_str()), MSXML2::SAXREADER_E_OPEN);
    EXPECT_EQ(recorder->lines,
              (std::vector<std::string>{"locator", "fatal 80040300 cannot open file '" + missing +
                                                       "': No such file or directory\r\n @1:1"}));

    recorder->lines.clear();
    EXPECT_EQ(reader.parseURL(dir.path().c_str()), MSXML2::SAXREADER_E_OPEN);
    EXPECT_EQ(recorder->lines,
              (std::vector<std::string>{"locator", "fatal 80040300 cannot open file '" +
                                                       dir.path() + "': Is a directory\r\n @1:1"}));

    const std::string empty = dir.file("empty.xml");
    ASSERT_TRUE(qortest::WriteFile(empty, ""));
    recorder->lines.clear();
    EXPECT_EQ(reader.parseURL(empty.c_str()), SyntaxCode(XML_ERROR_NO_ELEMENTS));
    EXPECT_EQ(recorder->lines,
              (std::vector<std::string>{"locator", "startDocument",
                                        "fatal 80040203 no element found\r\n @1:1"}));

    recorder->lines.clear();
    EXPECT_EQ(reader.parseURL(nullptr), E_INVALIDARG);
    EXPECT_EQ(reader.parse(nullptr, 1), E_INVALIDARG);
    EXPECT_EQ(recorder->lines.size(), 4u);
}

// Long enough for several input pieces, with names, text, references, a long comment and a
// long attribute across piece boundaries.
std::string LargeDocument() {
    std::string document = "<?xml version='1.0'?>\n<!DOCTYPE log [<!ENTITY e 'entity text'>]>\n"
                           "<log xmlns:m='urn:m'>\n";
    document += "<!--" + std::string(700000, 'c') + "-->";
    document += "<big v='" + std::string(600000, 'v') + "'/>\n";
    for (int i = 0; i < 20000; ++i) {
        document += "  <m:entry id='" + std::to_string(i) + "'>caf\xC3\xA9 &e; &#x1F600; line " +
                    std::to_string(i) + "<![CDATA[<raw>]]></m:entry>\n";
    }
    return document + "</log>\n";
}

// Reads the document through a pipe, a stream that is read in pieces.
long ParseThroughPipe(SAXXMLReader& reader, const std::string& document) {
    int ends[2];
    if (pipe(ends) != 0) {
        return E_FAIL;
    }
    std::thread writer([&] {
        for (size_t done = 0; done < document.size();) {
            const ssize_t wrote = write(ends[1], document.data() + done, document.size() - done);
            if (wrote <= 0) {
                break;
            }
            done += static_cast<size_t>(wrote);
        }
        close(ends[1]);
    });
    const long result = reader.parseURL(("/dev/fd/" + std::to_string(ends[0])).c_str());
    writer.join();
    close(ends[0]);
    return result;
}

TEST_F(SAXXMLReaderTest, FileStreamAndMemoryGiveTheSameTranscript) {
    qortest::ScopedTempDir dir;
    const std::string path = dir.file("large.xml");
    const std::string document = LargeDocument();
    ASSERT_TRUE(qortest::WriteFile(path, document));
    recorder->showPositions = true;

    EXPECT_EQ(reader.parse(document.data(), document.size()), S_OK);
    const std::vector<std::string> fromMemory = recorder->lines;
    recorder->lines.clear();
    EXPECT_EQ(reader.parseURL(path.c_str()), S_OK);
    EXPECT_EQ(recorder->lines, fromMemory);
    recorder->lines.clear();
    EXPECT_EQ(ParseThroughPipe(reader, document), S_OK);
    EXPECT_EQ(recorder->lines, fromMemory);
    ASSERT_EQ(fromMemory.size(), 80011u);
    EXPECT_EQ(fromMemory[5], "start big v=" + std::string(600000, 'v') + " @4:700008");
    EXPECT_EQ(fromMemory[80004], "start {urn:m}entry|m:entry id=19999 @20004:3");
    EXPECT_EQ(fromMemory[80005],
              "text café entity text \xF0\x9F\x98\x80 line 19999<raw> @20004:69");

    EXPECT_EQ(reader.parseURL(path.c_str()), S_OK);
    unsigned short* systemId = nullptr;
    recorder->locator->getSystemId(&systemId);
    EXPECT_EQ(Utf8(systemId), path);
}

// Line breaks after the root element, each CR LF pair at an offset that a stream cut into
// pieces of any size divisible by 4 cuts between its CR and LF: each pair is one line, as in
// memory.
TEST_F(SAXXMLReaderTest, AStreamCountsALineBreakCutBetweenItsCrAndLfOnce) {
    recorder->showPositions = true;
    std::string pairs;
    for (int i = 0; i < 300000; ++i) {
        pairs += "\r\n";
    }
    const std::string document = "<r/>" + pairs + "<?p?>";
    for (const std::string& bytes :
         {"<r/> " + pairs + "<?p?>", "\xFF\xFE" + AsciiToUtf16(document, false),
          "\xFE\xFF" + AsciiToUtf16(document, true)}) {
        const std::vector<std::string> fromMemory = transcript(bytes);
        EXPECT_EQ(fromMemory[4], "pi p  @300001:1");
        recorder->lines.clear();
        EXPECT_EQ(ParseThroughPipe(reader, bytes), S_OK);
        EXPECT_EQ(recorder->lines, fromMemory);
    }
}

// Checks that element n holds the text n, in order, and asks the line of element `lineOf`
// only, so that the reader works it out from the start of the document.
struct SequenceChecker final : QuietHandler {
    ISAXLocator* locator = nullptr;
    long lineOf = -1;
    long next = 0;
    long wrong = 0;
    int lastLine = 0;
    std::string text;
    long putDocumentLocator(ISAXLocator* documentLocator) override {
        locator = documentLocator;
        return S_OK;
    }
    long startElement(unsigned short*, int, unsigned short*, int, unsigned short*, int,
                      ISAXAttributes*) override {
        text.clear();
        return S_OK;
    }
    long characters(unsigned short* chars, int length) override {
        text += Utf8(chars, length);
        return S_OK;
    }
    long endElement(unsigned short*, int, unsigned short* localName, int localLength,
                    unsigned short*, int) override {
        if (Utf8(localName, localLength) == "e") {
            wrong += text != std::to_string(next);
            if (next++ == lineOf) {
                locator->getLineNumber(&lastLine);
            }
        }
        return S_OK;
    }
};

TEST(SAXXMLReader, ReadsAFileLargerThanItsReleaseStepIntact) {
    qortest::ScopedTempDir dir;
    const std::string path = dir.file("sequence.xml");
    std::string document = "<r>\n";
    long count = 0;
    while (document.size() < (size_t{13} << 20)) {
        document += "<e>" + std::to_string(count++) + "</e>\n";
    }
    document += "</r>\n";
    ASSERT_TRUE(qortest::WriteFile(path, document));

    for (bool throughPipe : {false, true}) {
        SCOPED_TRACE(throughPipe ? "pipe" : "file");
        SequenceChecker checker;
        checker.lineOf = count - 1;
        SAXXMLReader reader;
        reader.putContentHandler(&checker);
        EXPECT_EQ(throughPipe ? ParseThroughPipe(reader, document) : reader.parseURL(path.c_str()),
                  S_OK);
        EXPECT_EQ(checker.next, count);
        EXPECT_EQ(checker.wrong, 0);
        EXPECT_EQ(checker.lastLine, static_cast<int>(count + 1));
    }
}

// Another process may cut or rewrite a file while it is read: the document ends where the
// file now ends, with a fatal error, and the process lives on.
TEST_F(SAXXMLReaderTest, AFileCutWhileItIsReadEndsInAFatalError) {
    qortest::ScopedTempDir dir;
    const std::string path = dir.file("cut.xml");
    // Larger than any piece read whole.
    std::string document = "<r>\n";
    while (document.size() < (size_t{12} << 20)) {
        document += "<e>some text</e>\n";
    }
    document += "</r>\n";
    struct Cutter final : QuietHandler {
        std::function<void()> cut;
        long elements = 0;
        long startElement(unsigned short*, int, unsigned short*, int, unsigned short*, int,
                          ISAXAttributes*) override {
            if (elements++ == 1000) {
                cut();
            }
            return S_OK;
        }
    } cutter;
    const std::function<void()> cuts[] = {
        [&] { ASSERT_EQ(truncate(path.c_str(), 0), 0); },
        [&] { ASSERT_EQ(truncate(path.c_str(), static_cast<off_t>(document.size() / 2)), 0); },
        [&] { ASSERT_TRUE(qortest::WriteFile(path, "<r/>")); },
    };
    // A reader of its own, declared after the handler so that it gives the handler back first.
    SAXXMLReader cutReader;
    cutReader.putContentHandler(&cutter);
    cutReader.putErrorHandler(recorder);
    for (const auto& cut : cuts) {
        ASSERT_TRUE(qortest::WriteFile(path, document));
        cutter.cut = cut;
        cutter.elements = 0;
        recorder->lines.clear();
        EXPECT_LT(cutReader.parseURL(path.c_str()), 0);
        EXPECT_LT(cutter.elements, 600000);
        ASSERT_EQ(recorder->lines.size(), 1u);
        EXPECT_EQ(recorder->lines[0].substr(0, 13), "fatal 8004020");
    }
}

// An external entity is never read; a reference to one in content is reported skipped.
TEST_F(SAXXMLReaderTest, NeverReadsExternalEntitiesOrDtds) {
    qortest::ScopedTempDir dir;
    ASSERT_TRUE(qortest::WriteFile(dir.file("secret.txt"), "LEAKED"));
    ASSERT_TRUE(qortest::WriteFile(dir.file("secret.dtd"),
                                   "<!ENTITY e 'LEAKED'><!ATTLIST r a CDATA 'LEAKED'>"));
    const std::string secretTxt = dir.file("secret.txt");
    const std::string secretDtd = dir.file("secret.dtd");
    // In UTF-16 expat hands comments and references over in chunks of 1024 bytes: a long
    // name, and a comment with '&' wherever a chunk may begin.
    const std::string longName(3000, 'n');
    std::string ampersands;
    for (int i = 0; i < 1000; ++i) {
        ampersands += "&x;";
    }
    struct Case {
        std::string document;
        std::vector<std::string> events;
    };
    const Case cases[] = {
        {"<!DOCTYPE r [<!ENTITY x SYSTEM '" + secretTxt + "'>]><r>[&x;]</r>",
         {"start r", "text [", "skipped x", "text ]", "end r"}},
        {"<!DOCTYPE r SYSTEM '" + secretDtd + "'><r>[&e;]</r>",
         {"start r", "text [", "skipped e", "text ]", "end r"}},
        {"<!DOCTYPE r [<!ENTITY % p SYSTEM '" + secretDtd + "'>%p;]><r>&e;</r>",
         {"start r", "skipped e", "end r"}},
        {"<!DOCTYPE r [<!ENTITY x SYSTEM 'file://" + secretTxt + "'>]><r>&x;</r>",
         {"start r", "skipped x", "end r"}},
        {"<!DOCTYPE r [<!ENTITY x SYSTEM 'x'><!ENTITY i '&x;'>]><r><![CDATA[a]]>&i;</r>",
         {"start r", "text a", "skipped x", "end r"}},
        {AsciiToUtf16("<!DOCTYPE r [<!ENTITY " + longName + " SYSTEM 'n'>]><r><!--" + ampersands +
                          "--><![CDATA[&x;]]>&" + longName + ";<!---->&" + longName + ";</r>",
                      false),
         {"start r", "text &x;", "skipped " + longName, "skipped " + longName, "end r"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.document.substr(0, 100));
        std::vector<std::string> expected = {"locator", "startDocument"};
        expected.insert(expected.end(), c.events.begin(), c.events.end());
        expected.push_back("endDocument");
        EXPECT_EQ(transcript(c.document), expected);
    }
}

// A parameter entity of the internal subset is part of the document: its declarations hold,
// and so do those after a reference to it.
TEST_F(SAXXMLReaderTest, ReadsTheDeclarationsOfInternalParameterEntities) {
    EXPECT_EQ(transcript("<!DOCTYPE r [<!ENTITY % d \"<!ENTITY e 'v'>\"> %d;]><r>&e;</r>")[3],
              "text v");
    EXPECT_EQ(transcript("<!DOCTYPE r [<!ENTITY % n ''> %n; <!ATTLIST r a CDATA 'd'>]><r/>")[2],
              "start r a=d");
}

TEST_F(SAXXMLReaderTest, RefusesExponentialEntityExpansion) {
    std::string document = "<!DOCTYPE r [<!ENTITY l0 'lol'>";
    for (int i = 1; i < 10; ++i) {
        document += "<!ENTITY l" + std::to_string(i) + " '";
        for (int j = 0; j < 10; ++j) {
            document += "&l" + std::to_string(i - 1) + ";";
        }
        document += "'>";
    }
    document += "]><r>&l9;</r>";
    EXPECT_EQ(parseText(document), SyntaxCode(XML_ERROR_AMPLIFICATION_LIMIT_BREACH));
    EXPECT_EQ(recorder->lines.back().substr(0, 14), "fatal 8004022B");
    EXPECT_EQ(recorder->lines[recorder->lines.size() - 2].substr(0, 5), "text ");
    EXPECT_LT(recorder->joinedText().size(), 100u << 20);
}

TEST(SAXXMLReader, HoldsOneReferenceOnEachHandlerAndGivesItBack) {
    auto* content = new Recorder();
    auto* errors = new Recorder();
    {
        SAXXMLReader reader;
        EXPECT_EQ(reader.putContentHandler(content), S_OK);
        EXPECT_EQ(reader.putErrorHandler(errors), S_OK);
        EXPECT_EQ(content->count(), 2u);
        EXPECT_EQ(errors->count(), 2u);
        EXPECT_EQ(reader.putContentHandler(content), S_OK);
        EXPECT_EQ(content->count(), 2u);
        EXPECT_EQ(reader.parse("<r/>", 4), S_OK);
        EXPECT_EQ(reader.parse("<r>", 3), SyntaxCode(XML_ERROR_NO_ELEMENTS));
        EXPECT_EQ(content->count(), 2u);
        EXPECT_EQ(errors->count(), 2u);
        EXPECT_EQ(errors->lines.size(), 1u);
        EXPECT_EQ(reader.putErrorHandler(nullptr), S_OK);
        EXPECT_EQ(errors->count(), 1u);
    }
    EXPECT_EQ(content->count(), 1u);
    content->Release();
    errors->Release();
    EXPECT_EQ(Recorder::s_live, 0);
}

TEST(SAXXMLReader, LocatorOutlivesTheReaderWithItsLastPosition) {
    auto* recorder = new Recorder();
    {
        SAXXMLReader reader;
        reader.putContentHandler(recorder);
        EXPECT_EQ(reader.parse("<r>\n<a>", 7), SyntaxCode(XML_ERROR_NO_ELEMENTS));
    }
    ASSERT_NE(recorder->locator, nullptr);
    int line = 0;
    int column = 0;
    unsigned short* systemId = nullptr;
    unsigned short* publicId = nullptr;
    EXPECT_EQ(recorder->locator->getLineNumber(&line), S_OK);
    EXPECT_EQ(recorder->locator->getColumnNumber(&column), S_OK);
    EXPECT_EQ(recorder->locator->getSystemId(&systemId), S_OK);
    EXPECT_EQ(recorder->locator->getPublicId(&publicId), S_OK);
    EXPECT_EQ(line, 2);
    EXPECT_EQ(column, 4);
    EXPECT_EQ(Utf8(systemId), "");
    EXPECT_EQ(Utf8(publicId), "");
    EXPECT_EQ(recorder->locator->getLineNumber(nullptr), E_POINTER);
    // The recorder holds the only reference left; releasing it frees the locator.
    EXPECT_EQ(recorder->locator->AddRef(), 2u);
    EXPECT_EQ(recorder->locator->Release(), 1u);
    recorder->Release();
    EXPECT_EQ(Recorder::s_live, 0);
}

// A content handler that gives a failure back stops the parse; its code is the result, and
// nothing more is called.
TEST_F(SAXXMLReaderTest, StopsWhenAContentHandlerFails) {
    struct Case {
        bool failText; // otherwise the element start fails
        const char* document;
        long failure;
        std::vector<std::string> events;
    };
    const Case cases[] = {
        {false, "<r><a/>text</r>", E_FAIL, {"start r"}},
        // A text piece is handed over when the next event comes; that event is not delivered.
        {true, "<r>text<a/></r>", E_INVALIDARG, {"start r", "text text"}},
        {true, "<r>text<?pi data?></r>", E_INVALIDARG, {"start r", "text text"}},
        {true, "<r>text<a xmlns:p='urn:p'/></r>", E_INVALIDARG, {"start r", "text text"}},
        {true,
         "<r xmlns:p='urn:p'>text</r>",
         E_INVALIDARG,
         {"startPrefix p=urn:p", "start r", "text text"}},
        {true, "<!DOCTYPE r SYSTEM 'r.dtd'><r>text&e;</r>", E_INVALIDARG, {"start r", "text text"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.document);
        recorder->startElementHook = [&] { return c.failText ? S_OK : c.failure; };
        recorder->charactersHook = [&] { return c.failText ? c.failure : S_OK; };
        recorder->lines.clear();
        EXPECT_EQ(parseText(c.document), c.failure);
        std::vector<std::string> expected = {"locator", "startDocument"};
        expected.insert(expected.end(), c.events.begin(), c.events.end());
        EXPECT_EQ(recorder->lines, expected);
    }
}

// A result is a failure when its low 32 bits, taken as a signed number, are: a failure code
// widened to long without its sign stops the parse too, and comes back sign-extended.
TEST_F(SAXXMLReaderTest, JudgesAHandlerResultOnItsLow32Bits) {
    // Where long has 32 bits, the results are their low 32 bits.
    struct Case {
        uint64_t result;
        long parsed;
    };
    const Case cases[] = {
        {0x80004005u, E_FAIL}, {0xFFFFFFFF80004005u, E_FAIL}, {0x180070057u, E_INVALIDARG},
        {0x1u, S_OK},          {0x100000000u, S_OK},          {0xFFFFFFFF00000001u, S_OK},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.result);
        recorder->startElementHook = [&] { return static_cast<long>(c.result); };
        recorder->lines.clear();
        EXPECT_EQ(parseText("<r><a/></r>"), c.parsed);
        EXPECT_EQ(recorder->lines.size(), c.parsed == S_OK ? 7u : 3u);
    }
}

TEST_F(SAXXMLReaderTest, RefusesToParseFromItsOwnCallback) {
    long nested = S_OK;
    recorder->startElementHook = [&] {
        nested = reader.parse("<x/>", 4);
        return S_OK;
    };
    EXPECT_EQ(parseText("<r/>"), S_OK);
    EXPECT_EQ(nested, MSXML2::SAXREADER_E_BUSY);
    EXPECT_EQ(recorder->lines, (std::vector<std::string>{"locator", "startDocument", "start r",
                                                         "end r", "endDocument"}));
}

TEST(SAXXMLReader, ChecksWellFormednessWithoutHandlers) {
    SAXXMLReader reader;
    EXPECT_EQ(reader.parse("<r><a/></r>", 11), S_OK);
    EXPECT_EQ(reader.parse("<r><a></r>", 10), SyntaxCode(XML_ERROR_TAG_MISMATCH));
    EXPECT_EQ(reader.parseURL("/nonexistent/file.xml"), MSXML2::SAXREADER_E_OPEN);
    // What declarations make elements carry is limited without handlers too.
    const std::string uri = "'urn:" + std::string(65536, 'u') + "'";
    std::string manyDefaults;
    for (int i = 0; i < 5000; ++i) {
        manyDefaults += " a" + std::to_string(i) + " CDATA '1'";
    }
    const std::pair<std::string, std::string> carriers[] = {
        {"<r xmlns:p=" + uri + ">", "<e p:v='1'/>"},
        {"<!DOCTYPE r [<!ATTLIST e xmlns:p CDATA " + uri + ">]><r>", "<e/>"},
        {"<!DOCTYPE r [<!ATTLIST e" + manyDefaults + ">]><r>", "<e/>"},
    };
    for (const auto& [start, element] : carriers) {
        std::string carried = start;
        for (int i = 0; i < 20000; ++i) {
            carried += element;
        }
        carried += "</r>";
        EXPECT_EQ(reader.parse(carried.data(), carried.size()),
                  SyntaxCode(XML_ERROR_AMPLIFICATION_LIMIT_BREACH));
    }
}

TEST(SAXXMLReader, AnswersAttributeQueriesOutOfRangeWithoutCrashing) {
    std::vector<long> answers;
    struct Checker final : QuietHandler {
        std::vector<long>* answers;
        long startElement(unsigned short*, int, unsigned short*, int, unsigned short*, int,
                          ISAXAttributes* attributes) override {
            unsigned short* text = nullptr;
            int length = -1;
            answers->push_back(attributes->getValue(1, &text, &length));
            answers->push_back(text == nullptr && length == 0 ? S_OK : E_FAIL);
            answers->push_back(attributes->getLocalName(-1, &text, &length));
            answers->push_back(attributes->getQName(0, nullptr, &length));
            answers->push_back(attributes->getURI(0, &text, &length));
            answers->push_back(length);
            return S_OK;
        }
    } checker;
    checker.answers = &answers;
    SAXXMLReader other;
    other.putContentHandler(&checker);
    EXPECT_EQ(other.parse("<r a='1'/>", 10), S_OK);
    EXPECT_EQ(answers, (std::vector<long>{E_INVALIDARG, S_OK, E_INVALIDARG, E_POINTER, S_OK, 0}));
}
