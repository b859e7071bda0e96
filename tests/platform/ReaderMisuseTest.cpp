// The reader under misuse by its callers: handlers that throw, a parse started from a callback,
// queries with null out-parameters or for interfaces the lent objects do not have, a file name
// that is not UTF-8, and a large file read without a content handler.
#include <QorUtils/platform/SAXXMLReader.h>

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

using MSXML2::ISAXAttributes;
using MSXML2::ISAXLocator;
using MSXML2::SAXXMLReader;

namespace {

// A content and error handler on the stack that runs a hook on each element start, and one on
// each event it names, and keeps what it is told.
struct Handler final : MSXML2::ISAXContentHandler, MSXML2::ISAXErrorHandler {
    std::function<void(ISAXAttributes*)> onStart = [](ISAXAttributes*) {};
    std::function<void(const std::string&)> onEvent = [](const std::string&) {};
    std::vector<std::string> events;
    ISAXLocator* locator = nullptr;
    int starts = 0;
    int ends = 0;
    std::vector<long> fatal;
    std::u16string description;

    long QueryInterface(const GUID&, void**) override { return E_NOINTERFACE; }
    unsigned long AddRef() override { return 2; }
    unsigned long Release() override { return 1; }
    long putDocumentLocator(ISAXLocator* documentLocator) override {
        locator = documentLocator;
        return note("putDocumentLocator");
    }
    long startDocument() override { return note("startDocument"); }
    long endDocument() override { return note("endDocument"); }
    long startPrefixMapping(unsigned short*, int, unsigned short*, int) override { return S_OK; }
    long endPrefixMapping(unsigned short*, int) override { return S_OK; }
    long startElement(unsigned short*, int, unsigned short*, int, unsigned short*, int,
                      ISAXAttributes* attributes) override {
        ++starts;
        onStart(attributes);
        return note("startElement");
    }
    long endElement(unsigned short*, int, unsigned short*, int, unsigned short*, int) override {
        ++ends;
        return note("endElement");
    }
    long characters(unsigned short*, int) override { return note("characters"); }
    long ignorableWhitespace(unsigned short*, int) override { return S_OK; }
    long processingInstruction(unsigned short*, int, unsigned short*, int) override { return S_OK; }
    long skippedEntity(unsigned short*, int) override { return S_OK; }
    long error(ISAXLocator*, unsigned short*, long) override { return S_OK; }
    long fatalError(ISAXLocator*, unsigned short* text, long code) override {
        fatal.push_back(code);
        description.clear();
        for (; *text != 0; ++text) {
            description += static_cast<char16_t>(*text);
        }
        return note("fatalError");
    }
    long ignorableWarning(ISAXLocator*, unsigned short*, long) override { return S_OK; }

    long note(const char* event) {
        events.push_back(event);
        onEvent(event);
        return S_OK;
    }
};

// COM identity of an object the reader lends: IUnknown gives the object itself with one more
// reference, anything else nothing, and a null out-parameter E_POINTER.
void ExpectOnlyIUnknown(IUnknown* object) {
    void* answer = nullptr;
    EXPECT_EQ(object->QueryInterface(IID_IUnknown, &answer), S_OK);
    EXPECT_EQ(answer, static_cast<void*>(object));
    object->Release();
    answer = object;
    EXPECT_EQ(object->QueryInterface(IID_ISAXContentHandler, &answer), E_NOINTERFACE);
    EXPECT_EQ(answer, nullptr);
    EXPECT_EQ(object->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
}

} // namespace

TEST(ReaderMisuse, ThrowingHandlerStopsTheParseWithoutLettingTheExceptionOut) {
    struct Case {
        const char* at;
        std::function<void()> thrower;
        long result;
        size_t fatalErrors;
        // The error handler throws in its turn: the parse stops all the same, with its code.
        bool fatalErrorThrows = false;
    };
    const auto outOfMemory = [] { throw std::bad_alloc(); };
    const Case cases[] = {
        {"startElement", [] { throw std::runtime_error("handler failed"); }, E_FAIL, 0},
        {"startElement", [] { throw 42; }, E_FAIL, 0},
        // Memory running out in a handler is the reader's own out-of-memory error, reported
        // once, whichever callback it was: nothing is delivered again, or after it, but that.
        {"putDocumentLocator", outOfMemory, MSXML2::SAXREADER_E_MEMORY, 1},
        {"startDocument", outOfMemory, MSXML2::SAXREADER_E_MEMORY, 1},
        {"startElement", outOfMemory, MSXML2::SAXREADER_E_MEMORY, 1},
        {"characters", outOfMemory, MSXML2::SAXREADER_E_MEMORY, 1},
        {"endDocument", outOfMemory, MSXML2::SAXREADER_E_MEMORY, 1},
        {"startElement", outOfMemory, MSXML2::SAXREADER_E_MEMORY, 1, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.at);
        Handler handler;
        handler.onEvent = [&](const std::string& event) {
            if (event == c.at) {
                c.thrower();
            }
            if (event == "fatalError" && c.fatalErrorThrows) {
                throw std::runtime_error("error handler failed");
            }
        };
        SAXXMLReader reader;
        reader.putContentHandler(&handler);
        reader.putErrorHandler(&handler);
        EXPECT_EQ(reader.parse("<r>t<a/></r>", 12), c.result);
        const auto thrown = std::find(handler.events.begin(), handler.events.end(), c.at);
        ASSERT_NE(thrown, handler.events.end());
        EXPECT_EQ(std::vector<std::string>(thrown + 1, handler.events.end()),
                  std::vector<std::string>(c.fatalErrors, "fatalError"));
        EXPECT_EQ(handler.fatal.size(), c.fatalErrors);
        EXPECT_EQ(reader.parse("<r>t</r>", 8), c.result) << "the next parse meets the same handler";
    }
}

TEST(ReaderMisuse, ParseUrlFromACallbackIsRefused) {
    Handler handler;
    SAXXMLReader reader;
    long nested = S_OK;
    handler.onStart = [&](ISAXAttributes*) { nested = reader.parseURL("/dev/null"); };
    reader.putContentHandler(&handler);
    EXPECT_EQ(reader.parse("<r/>", 4), S_OK);
    EXPECT_EQ(nested, MSXML2::SAXREADER_E_BUSY);
    EXPECT_EQ(handler.ends, 1);
}

TEST(ReaderMisuse, AReaderDeletedByItsOwnCallbackEndsTheParse) {
    struct Case {
        const char* deleteAt;
        const char* document;
        long result;
        std::vector<std::string> events;
    };
    const Case cases[] = {
        {"putDocumentLocator", "<r>t</r>", E_ABORT, {}},
        {"startDocument", "<r>t</r>", E_ABORT, {"startDocument"}},
        {"startElement", "<r>t<a/></r>", E_ABORT, {"startDocument", "startElement"}},
        {"characters", "<r>t<a/></r>", E_ABORT, {"startDocument", "startElement", "characters"}},
        {"endElement",
         "<r><a/>t</r>",
         E_ABORT,
         {"startDocument", "startElement", "startElement", "endElement"}},
        {"fatalError",
         "<r>",
         MSXML2::SAXREADER_E_SYNTAX + 3,
         {"startDocument", "startElement", "fatalError"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.deleteAt);
        Handler handler;
        auto* reader = new SAXXMLReader;
        handler.onEvent = [&](const std::string& event) {
            if (event == c.deleteAt) {
                delete reader;
                reader = nullptr;
            }
        };
        reader->putContentHandler(&handler);
        reader->putErrorHandler(&handler);
        EXPECT_EQ(reader->parse(c.document, std::strlen(c.document)), c.result);
        std::vector<std::string> expected = {"putDocumentLocator"};
        expected.insert(expected.end(), c.events.begin(), c.events.end());
        EXPECT_EQ(handler.events, expected);
        EXPECT_EQ(reader, nullptr);
        delete reader;
    }
}

TEST(ReaderMisuse, LentObjectsAnswerOnlyIUnknownAndRefuseNullOutParameters) {
    Handler handler;
    handler.onStart = [&](ISAXAttributes* attributes) {
        ExpectOnlyIUnknown(attributes);
        ExpectOnlyIUnknown(handler.locator);
        EXPECT_EQ(attributes->getLength(nullptr), E_POINTER);
        EXPECT_EQ(handler.locator->getColumnNumber(nullptr), E_POINTER);
        EXPECT_EQ(handler.locator->getPublicId(nullptr), E_POINTER);
        EXPECT_EQ(handler.locator->getSystemId(nullptr), E_POINTER);
        // The attribute list lives as long as the element event: counting on it keeps it.
        EXPECT_EQ(attributes->AddRef(), 2u);
        EXPECT_EQ(attributes->Release(), 1u);
        EXPECT_EQ(attributes->Release(), 1u);
    };
    SAXXMLReader reader;
    reader.putContentHandler(&handler);
    EXPECT_EQ(reader.parse("<r a='1'/>", 10), S_OK);
    EXPECT_EQ(handler.starts, 1);
}

// A byte that is no UTF-8 is kept as U+DC00 + byte, so that the name can be written back.
TEST(ReaderMisuse, FileNameThatIsNotUtf8KeepsItsBytes) {
    qortest::ScopedTempDir dir;
    Handler handler;
    SAXXMLReader reader;
    reader.putErrorHandler(&handler);
    const std::string path = dir.file("caf\xE9\xFF.xml");
    EXPECT_EQ(reader.parseURL(path.c_str()), MSXML2::SAXREADER_E_OPEN);
    ASSERT_EQ(handler.fatal.size(), 1u);
    const std::u16string name =
        u"caf" + std::u16string{0xDCE9, 0xDCFF} + u".xml': No such file or directory\r\n";
    ASSERT_GE(handler.description.size(), name.size());
    EXPECT_EQ(handler.description.substr(handler.description.size() - name.size()), name);
}

TEST(ReaderMisuse, LargeFileIsCheckedWithoutAContentHandler) {
    qortest::ScopedTempDir dir;
    const std::string path = dir.file("large.xml");
    std::string document = "<r>";
    while (document.size() < (1u << 20)) {
        document += "<e a='1'>text</e>";
    }
    ASSERT_TRUE(qortest::WriteFile(path, document + "</r>"));
    ASSERT_TRUE(qortest::WriteFile(dir.file("bad.xml"), document + "</x>"));
    Handler handler;
    SAXXMLReader reader;
    reader.putErrorHandler(&handler);
    EXPECT_EQ(reader.parseURL(path.c_str()), S_OK);
    EXPECT_EQ(reader.parseURL(dir.file("bad.xml").c_str()), MSXML2::SAXREADER_E_SYNTAX + 7);
    EXPECT_EQ(handler.fatal, std::vector<long>{MSXML2::SAXREADER_E_SYNTAX + 7});
}
