#include <QorUtils/log/FILog.h>
#include <QorUtils/platform/SAXXMLReader.h>
#include <QorUtils/xml/SAXContentHandlerImpl.h>
#include <QorUtils/xml/SAXErrorHandlerImpl.h>
#include <QorUtils/xml/TopHandler.h>

#include "support/FakeSAX.h"
#include "support/RecordingHandler.h"
#include "support/ScopedLog.h"

#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <string>
#include <vector>

using qortest::FakeLocator;
using qortest::RecordingHandler;
using qortest::Utf16;
using Lines = std::vector<std::string>;

namespace {

// Checks the COM identity of an adapter that starts with one reference: both identifiers it
// answers give the same pointer and a reference each; others give null and E_NOINTERFACE; a
// null out-parameter gives E_POINTER, as the reader's own objects answer it.
void CheckIdentity(IUnknown* object, const GUID& own, const GUID& foreign) {
    EXPECT_EQ(object->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
    void* answer = nullptr;
    EXPECT_EQ(object->QueryInterface(IID_IUnknown, &answer), S_OK);
    EXPECT_EQ(answer, static_cast<void*>(object));
    answer = nullptr;
    EXPECT_EQ(object->QueryInterface(own, &answer), S_OK);
    EXPECT_EQ(answer, static_cast<void*>(object));
    EXPECT_EQ(object->AddRef(), 4u);

    GUID almost = own;
    almost.Data4[7] ^= 0x01;
    for (const GUID refused : {foreign, almost}) {
        answer = object;
        EXPECT_EQ(object->QueryInterface(refused, &answer), E_NOINTERFACE);
        EXPECT_EQ(answer, nullptr);
    }
    EXPECT_EQ(object->Release(), 3u);
    EXPECT_EQ(object->Release(), 2u);
    EXPECT_EQ(object->Release(), 1u);
}

// Destructors of host classes that take and drop a reference on an adapter being destroyed: a
// handler of the adapter's tree (which may release the adapter when offered an element), and
// adapters derived by a host. Each counts its destruction.
int g_destroyed = 0;

class TouchingHandler : public ElementHandler {
public:
    ~TouchingHandler() override {
        ++g_destroyed;
        adapter->AddRef();
        adapter->Release();
    }
    bool HandleElement(char*, MSXML2::ISAXAttributes*, MSXML2::ISAXLocator*) override {
        if (releaseOnElement) {
            adapter->Release();
        }
        return true;
    }
    IUnknown* adapter = nullptr;
    bool releaseOnElement = false;
};

class TouchingContent : public SAXContentHandlerImpl {
public:
    using SAXContentHandlerImpl::SAXContentHandlerImpl;

private:
    ~TouchingContent() override {
        ++g_destroyed;
        AddRef();
        Release();
    }
};

class TouchingErrors : public SAXErrorHandlerImpl {
    ~TouchingErrors() override {
        ++g_destroyed;
        AddRef();
        Release();
    }
};

} // namespace

TEST(SAXAdapters, DestructorsMayTakeAndDropReferencesOnTheAdapter) {
    struct Case {
        const char* what;
        std::function<void()> run;
    };
    const Case cases[] = {
        {"a handler of the tree",
         [] {
             auto* handler = new TouchingHandler;
             auto* adapter = new SAXContentHandlerImpl(new TopHandler(handler));
             handler->adapter = adapter;
             adapter->Release();
         }},
        {"a handler of a tree whose adapter is released during a callback",
         [] {
             auto* handler = new TouchingHandler;
             auto* adapter = new SAXContentHandlerImpl(new TopHandler(handler));
             handler->adapter = adapter;
             handler->releaseOnElement = true;
             Utf16 name("e");
             EXPECT_EQ(
                 adapter->startElement(name.data(), 0, name.data(), 1, name.data(), 1, nullptr),
                 E_ABORT);
         }},
        {"a derived content adapter",
         [] { (new TouchingContent(new TopHandler(new ElementHandler)))->Release(); }},
        {"a derived error adapter", [] { (new TouchingErrors)->Release(); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        g_destroyed = 0;
        c.run();
        EXPECT_EQ(g_destroyed, 1);
    }
}

TEST(SAXContentHandlerImpl, IdentityAndCountsFromOne) {
    qortest::Grammar grammar;
    RecordingHandler::Transcript transcript;
    auto* adapter = new SAXContentHandlerImpl(
        new TopHandler(new RecordingHandler("root", grammar, transcript)));
    CheckIdentity(adapter, IID_ISAXContentHandler, IID_ISAXErrorHandler);
    EXPECT_EQ(transcript.live, 1);
    EXPECT_EQ(adapter->Release(), 0u);
    EXPECT_EQ(transcript.live, 0) << "the adapter deletes the TopHandler and the root with it";
}

TEST(SAXErrorHandlerImpl, IdentityAndCountsFromOne) {
    auto* adapter = new SAXErrorHandlerImpl;
    CheckIdentity(adapter, IID_ISAXErrorHandler, IID_ISAXContentHandler);
    EXPECT_EQ(adapter->Release(), 0u);
}

TEST(SAXContentHandlerImpl, KeepsOneReferenceOnTheLatestLocator) {
    qortest::Grammar grammar;
    RecordingHandler::Transcript transcript;
    auto* adapter = new SAXContentHandlerImpl(
        new TopHandler(new RecordingHandler("root", grammar, transcript)));
    FakeLocator first(1, 1, "a.xml");
    FakeLocator second(1, 1, "b.xml");
    adapter->putDocumentLocator(&first);
    adapter->putDocumentLocator(&first);
    EXPECT_EQ(first.refs(), 1);
    adapter->putDocumentLocator(&second);
    EXPECT_EQ(first.refs(), 0) << "a replaced locator is given back";
    EXPECT_EQ(second.refs(), 1);
    EXPECT_EQ(adapter->endDocument(), S_OK);
    EXPECT_EQ(second.refs(), 0);
    EXPECT_EQ(adapter->endDocument(), S_OK);
    EXPECT_EQ(second.refs(), 0);
    adapter->putDocumentLocator(&first);
    adapter->putDocumentLocator(nullptr);
    EXPECT_EQ(first.refs(), 0);
    adapter->putDocumentLocator(&second);
    adapter->Release();
    EXPECT_EQ(second.refs(), 0) << "a locator still held is given back on destruction";
}

TEST(SAXContentHandlerImpl, ForwardsElementsAndTextOnly) {
    qortest::ScopedLog log;
    qortest::Grammar grammar{{"root", {{}, {}, true}}};
    RecordingHandler::Transcript transcript;
    auto* adapter = new SAXContentHandlerImpl(
        new TopHandler(new RecordingHandler("root", grammar, transcript)));
    Utf16 p("p");
    Utf16 uri("urn:p");
    Utf16 space("  \n");
    Utf16 target("target");
    Utf16 data("data");
    Utf16 entity("ent");
    EXPECT_EQ(adapter->startDocument(), S_OK);
    EXPECT_EQ(adapter->startPrefixMapping(p.data(), p.length(), uri.data(), uri.length()), S_OK);
    qortest::StartElement(adapter, "root");
    EXPECT_EQ(adapter->ignorableWhitespace(space.data(), space.length()), S_OK);
    EXPECT_EQ(
        adapter->processingInstruction(target.data(), target.length(), data.data(), data.length()),
        S_OK);
    EXPECT_EQ(adapter->skippedEntity(entity.data(), entity.length()), S_OK);
    EXPECT_EQ(adapter->characters(data.data(), data.length()), S_OK);
    Utf16 unknown("unknown");
    EXPECT_EQ(adapter->startElement(uri.data(), 0, unknown.data(), unknown.length(), unknown.data(),
                                    unknown.length(), nullptr),
              S_OK);
    EXPECT_EQ(adapter->endElement(uri.data(), 0, unknown.data(), unknown.length(), unknown.data(),
                                  unknown.length()),
              S_OK);
    qortest::EndElement(adapter, "root");
    EXPECT_EQ(adapter->endPrefixMapping(p.data(), p.length()), S_OK);
    EXPECT_EQ(adapter->endDocument(), S_OK);
    adapter->Release();
    EXPECT_EQ(transcript.lines, (Lines{"root#1 accepts root", "root#1 text 'data'",
                                       "root#1 unknown unknown", "root#1 end", "root#1 deleted"}));
}

namespace {

// Accepts every element, runs `event` with the name of each call it receives, and counts the
// handlers alive in `live`.
class EventRunner final : public ElementHandler {
public:
    EventRunner(const std::function<void(const std::string&)>& event, int& live)
        : m_event(event), m_live(live) {
        ++m_live;
    }
    ~EventRunner() override { --m_live; }
    bool HandleElement(char*, MSXML2::ISAXAttributes*, MSXML2::ISAXLocator*) override {
        AddHandler(new EventRunner(m_event, m_live));
        m_event("element");
        return true;
    }
    void HandleText(char*, MSXML2::ISAXLocator*) override { m_event("text"); }
    void HandleEndElement(MSXML2::ISAXLocator*) override { m_event("end"); }

private:
    const std::function<void(const std::string&)>& m_event;
    int& m_live;
};

} // namespace

// A parser that holds no reference of its own may see a handler release the adapter during
// one of the adapter's callbacks: the adapter and its tree go when that callback ends, and it
// answers E_ABORT so that the parse ends.
TEST(SAXContentHandlerImpl, ReleasedDuringItsOwnCallbackItGoesWhenTheCallEnds) {
    Utf16 name("e");
    Utf16 text("t");
    for (const std::string at : {"element", "text", "end"}) {
        SCOPED_TRACE(at);
        std::function<void(const std::string&)> event;
        int live = 0;
        auto* adapter = new SAXContentHandlerImpl(new TopHandler(new EventRunner(event, live)));
        event = [&](const std::string& what) {
            if (what == at) {
                adapter->Release();
            }
        };
        std::vector<long> results = {
            adapter->startElement(name.data(), 0, name.data(), 1, name.data(), 1, nullptr)};
        if (results.back() == S_OK) {
            results.push_back(adapter->characters(text.data(), 1));
        }
        if (results.back() == S_OK) {
            results.push_back(adapter->endElement(name.data(), 0, name.data(), 1, name.data(), 1));
        }
        EXPECT_EQ(results.back(), E_ABORT);
        EXPECT_EQ(results.size(), at == "element" ? 1u : at == "text" ? 2u : 3u);
        EXPECT_EQ(live, 0);
    }
}

// Memory running out in a handler stops the reader's parse; the adapter's own reference on
// itself for the call is given back all the same, so that the host's Release frees the tree.
TEST(SAXContentHandlerImpl, AHandlerThatThrowsLeavesTheCountRight) {
    for (const std::string at : {"element", "text", "end"}) {
        SCOPED_TRACE(at);
        int live = 0;
        const std::function<void(const std::string&)> event = [&](const std::string& what) {
            if (what == at) {
                throw std::bad_alloc();
            }
        };
        auto* adapter = new SAXContentHandlerImpl(new TopHandler(new EventRunner(event, live)));
        MSXML2::SAXXMLReader reader;
        reader.putContentHandler(adapter);
        EXPECT_EQ(reader.parse("<e>t</e>", 8), MSXML2::SAXREADER_E_MEMORY);
        reader.putContentHandler(nullptr);
        EXPECT_EQ(adapter->Release(), 0u);
        EXPECT_EQ(live, 0);
    }
}

namespace {

enum class Callback { Error, Fatal, Warning };

long Call(SAXErrorHandlerImpl* adapter, Callback callback, MSXML2::ISAXLocator* locator,
          Utf16& description, long code) {
    switch (callback) {
    case Callback::Error:
        return adapter->error(locator, description.data(), code);
    case Callback::Fatal:
        return adapter->fatalError(locator, description.data(), code);
    case Callback::Warning:
        return adapter->ignorableWarning(locator, description.data(), code);
    }
    return E_FAIL;
}

} // namespace

TEST(SAXErrorHandlerImpl, WritesOneLinePerReport) {
    struct Case {
        Callback callback;
        bool withLocator;
        Utf16 description;
        int64_t code;
        std::string expected;
    };
    const std::string d300(300, 'd');
    // 255 bytes, then a character of three that does not fit in the 256 taken.
    std::vector<unsigned short> units(255, 'd');
    units.insert(units.end(), {0x263A, '\r', '\n'});
    const Utf16 cutInCharacter = Utf16::FromUnits(units);
    // 'a' and 85 euro signs fill the 256 bytes; the last two characters go whole.
    std::vector<unsigned short> euros(101, 0x20AC);
    euros[0] = 'a';
    std::string keptEuros = "a";
    for (int i = 0; i < 83; ++i) {
        keptEuros += "\xE2\x82\xAC";
    }
    const Case cases[] = {
        {Callback::Fatal, true, "abc\r\n", static_cast<int32_t>(0xC00CE502u),
         "  XML Parser fatal error: 0xC00CE502 at line 3 column 14, abc"},
        {Callback::Fatal, false, "abc\r\n", 2, "  XML Parser fatal error: 0x       2, abc"},
        {Callback::Error, true, "bad\r\n", 0xABCDEF,
         "  XML Parser error: 0x  ABCDEF at line 3 column 14, bad"},
        {Callback::Error, false, "ab", 1, "  XML Parser error: 0x       1, ab"},
        {Callback::Error, false, "a", E_FAIL, "  XML Parser error: 0x80004005, a"},
        {Callback::Error, false, "", 0, "  XML Parser error: 0x       0, "},
        {Callback::Error, false, "abc", 0x123456789, "  XML Parser error: 0x23456789, a"},
        {Callback::Warning, true, "careful\r\n", 0x10,
         "  XML Parser warning: 0x      10 at line 3 column 14, careful"},
        {Callback::Warning, false, "careful\r\n", 0x10,
         "  XML Parser warning: 0x      10, careful"},
        {Callback::Error, false, d300, 1, "  XML Parser error: 0x       1, " + d300.substr(0, 254)},
        {Callback::Error, false, Utf16::FromUnits({'a', 0x263A, 0xD83D, 0xDE00, 'b', '\r', '\n'}),
         1,
         "  XML Parser error: 0x       1, a\xE2\x98\xBA\xF0\x9F\x98\x80"
         "b"},
        {Callback::Error, false, Utf16::FromUnits({'a', 0xDC83, 0xD800, '\r', '\n'}), 1,
         "  XML Parser error: 0x       1, a\x83?"},
        {Callback::Error, false, cutInCharacter, 1,
         "  XML Parser error: 0x       1, " + d300.substr(0, 253)},
        {Callback::Error, false, Utf16::FromUnits(euros), 1,
         "  XML Parser error: 0x       1, " + keptEuros},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        qortest::ScopedLog log;
        auto* adapter = new SAXErrorHandlerImpl;
        FakeLocator locator(3, 14, "doc.xml");
        Utf16 description = c.description;
        EXPECT_EQ(Call(adapter, c.callback, c.withLocator ? &locator : nullptr, description,
                       static_cast<long>(c.code)),
                  S_OK);
        adapter->Release();
        EXPECT_EQ(log.Messages(), Lines{c.expected});
        EXPECT_EQ(locator.calls(),
                  c.withLocator ? (Lines{"getLineNumber", "getColumnNumber"}) : Lines{});
        EXPECT_EQ(locator.refs(), 0);
    }
}

TEST(SAXErrorHandlerImpl, WarningsFollowTheTraceThreshold) {
    qortest::ScopedLog log;
    auto* adapter = new SAXErrorHandlerImpl;
    Utf16 description("text\r\n");
    SetFILogLevel(4);
    adapter->ignorableWarning(nullptr, description.data(), 1);
    adapter->error(nullptr, description.data(), 2);
    adapter->fatalError(nullptr, description.data(), 3);
    adapter->ignorableWarning(nullptr, nullptr, 4);
    SetFILogLevel(5);
    adapter->ignorableWarning(nullptr, nullptr, 5);
    adapter->Release();
    EXPECT_EQ(log.Messages(), (Lines{"  XML Parser error: 0x       2, text",
                                     "  XML Parser fatal error: 0x       3, text",
                                     "  XML Parser warning: 0x       5, "}));
}
