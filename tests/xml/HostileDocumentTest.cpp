// Hostile documents read the whole way: SAXXMLReader, the two adapters, a TopHandler and a
// handler tree, with the log written to a scratch file. Each document is read correctly or
// refused with one fatal-error line; the handler tree is released either way.
#include <QorUtils/platform/SAXXMLReader.h>
#include <QorUtils/xml/ElementHandler.h>
#include <QorUtils/xml/SAXContentHandlerImpl.h>
#include <QorUtils/xml/SAXErrorHandlerImpl.h>
#include <QorUtils/xml/TopHandler.h>

#include "support/FailingHeap.h"
#include "support/ScopedLog.h"
#include "support/TestSupport.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <iconv.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <ctime>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

using MSXML2::ISAXAttributes;
using MSXML2::ISAXLocator;

namespace {

// What the handler tree received.
struct Counts {
    long accepted = 0;
    long ended = 0;
    long live = 0;
    long long textBytes = 0;
    size_t longestPiece = 0;
    // The first 64 KiB of text, in order.
    std::string text;
    // The value of the attribute "v" of the last accepted element that had one.
    std::string attribute;
};

// Accepts the elements down to a given depth below the document (and refuses deeper ones,
// which are then skipped), fetching the attribute "v" and counting everything it is given.
class CountingHandler final : public ElementHandler {
public:
    CountingHandler(Counts& counts, long acceptDepth)
        : m_counts(counts), m_acceptDepth(acceptDepth) {
        ++m_counts.live;
    }
    ~CountingHandler() override { --m_counts.live; }

    bool HandleElement(char*, ISAXAttributes* attributes, ISAXLocator*) override {
        if (m_acceptDepth <= 0) {
            return false;
        }
        ++m_counts.accepted;
        FIAttribute value;
        if (!GetAttributeValue("v", attributes, value).isNull()) {
            m_counts.attribute = value.c_str();
        }
        AddHandler(new CountingHandler(m_counts, m_acceptDepth - 1));
        return true;
    }
    void HandleText(char* text, ISAXLocator*) override {
        const size_t length = std::strlen(text);
        m_counts.textBytes += static_cast<long long>(length);
        m_counts.longestPiece = std::max(m_counts.longestPiece, length);
        if (m_counts.text.size() < 65536) {
            m_counts.text += text;
        }
    }
    void HandleEndElement(ISAXLocator*) override { ++m_counts.ended; }

private:
    Counts& m_counts;
    long m_acceptDepth;
};

// The adapter as a derived class, which the reader gives the UTF-16 callbacks.
class DerivedAdapter final : public SAXContentHandlerImpl {
public:
    using SAXContentHandlerImpl::SAXContentHandlerImpl;
};

// One reading of a document, the way a module reads one (`utf16Road`: through a class
// derived from the adapter).
class Road {
public:
    explicit Road(long acceptDepth = LONG_MAX, bool utf16Road = false)
        : m_acceptDepth(acceptDepth), m_utf16Road(utf16Road) {}

    long Parse(const std::string& document) {
        return Read([&](MSXML2::SAXXMLReader& reader) {
            return reader.parse(document.data(), document.size());
        });
    }
    long ParseFile(const std::string& path) {
        return Read([&](MSXML2::SAXXMLReader& reader) { return reader.parseURL(path.c_str()); });
    }

    std::vector<std::string> Messages() const { return m_log.Messages(); }
    Counts counts;

private:
    template <typename Parse> long Read(Parse parse) {
        counts = Counts{};
        m_log.reset();
        auto* tree = new TopHandler(new CountingHandler(counts, m_acceptDepth));
        SAXContentHandlerImpl* content =
            m_utf16Road ? new DerivedAdapter(tree) : new SAXContentHandlerImpl(tree);
        auto* errors = new SAXErrorHandlerImpl;
        long result = S_OK;
        {
            MSXML2::SAXXMLReader reader;
            reader.putContentHandler(content);
            reader.putErrorHandler(errors);
            result = parse(reader);
        }
        content->Release();
        errors->Release();
        EXPECT_EQ(counts.live, 0) << "every handler is released";
        return result;
    }

    struct Log {
        std::unique_ptr<qortest::ScopedLog> log;
        // The old log is put back before the new one is set up.
        void reset() {
            log.reset();
            log = std::make_unique<qortest::ScopedLog>();
        }
        std::vector<std::string> Messages() const { return log->Messages(); }
    };
    long m_acceptDepth;
    bool m_utf16Road;
    Log m_log;
};

// The log holds exactly one line, a fatal error with the given code whose text contains
// `containing`.
void ExpectOneFatalLine(const Road& road, unsigned long code, const std::string& containing) {
    const std::vector<std::string> messages = road.Messages();
    ASSERT_EQ(messages.size(), 1u) << testing::PrintToString(messages);
    char prefix[64];
    std::snprintf(prefix, sizeof prefix, "  XML Parser fatal error: 0x%8lX at line ", code);
    EXPECT_EQ(messages[0].rfind(prefix, 0), 0u) << messages[0];
    EXPECT_NE(messages[0].find(containing), std::string::npos) << messages[0];
}

constexpr unsigned long k_amplification = 0x8004022B;

std::string Repeat(const std::string& text, size_t count) {
    std::string out;
    out.reserve(text.size() * count);
    for (size_t i = 0; i < count; ++i) {
        out += text;
    }
    return out;
}

// A socket listening on the loopback interface, to see whether anyone connects to it.
class LoopbackListener {
public:
    LoopbackListener() {
        m_socket = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        if (m_socket < 0 || bind(m_socket, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
            listen(m_socket, 4) != 0 ||
            getsockname(m_socket, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
            return;
        }
        m_port = ntohs(address.sin_port);
    }
    ~LoopbackListener() {
        if (m_socket >= 0) {
            close(m_socket);
        }
    }
    LoopbackListener(const LoopbackListener&) = delete;
    LoopbackListener& operator=(const LoopbackListener&) = delete;

    int port() const { return m_port; }
    std::string Url(const std::string& name) const {
        return "http://127.0.0.1:" + std::to_string(m_port) + "/" + name;
    }
    // True when a connection is waiting to be accepted.
    bool Connected() const {
        const int connection = accept(m_socket, nullptr, nullptr);
        if (connection < 0) {
            return false;
        }
        close(connection);
        return true;
    }

private:
    int m_socket = -1;
    int m_port = 0;
};

std::string ToUtf16Le(const std::string& utf8) {
    iconv_t convert = iconv_open("UTF-16LE", "UTF-8");
    std::string out(utf8.size() * 4, '\0');
    char* in = const_cast<char*>(utf8.data());
    size_t inLeft = utf8.size();
    char* outNext = out.data();
    size_t outLeft = out.size();
    iconv(convert, &in, &inLeft, &outNext, &outLeft);
    iconv_close(convert);
    out.resize(out.size() - outLeft);
    return out;
}

} // namespace

TEST(HostileDocument, EntityExpansionIsRefusedWithOneFatalLine) {
    std::string laughs = "<!DOCTYPE r [<!ENTITY l0 'lol'>";
    for (int i = 1; i < 10; ++i) {
        laughs += "<!ENTITY l" + std::to_string(i) + " '" +
                  Repeat("&l" + std::to_string(i - 1) + ";", 10) + "'>";
    }
    laughs += "]><r>&l9;</r>";
    // One entity of 40,000 characters referenced 40,000 times: 1.6 GB from 160 KB.
    const std::string quadratic = "<!DOCTYPE r [<!ENTITY a '" + std::string(40000, 'a') +
                                  "'>]><r>" + Repeat("&a;", 40000) + "</r>";
    for (const std::string& document : {laughs, quadratic}) {
        SCOPED_TRACE(document.substr(0, 40));
        Road road;
        EXPECT_EQ(road.Parse(document), static_cast<long>(static_cast<int32_t>(k_amplification)));
        ExpectOneFatalLine(road, k_amplification, "amplification");
        EXPECT_LT(road.counts.textBytes, 64LL << 20);
    }
}

// Marks that character references put in an entity's value (&#38;, &#37;) start no reference:
// looking for the references of a declaration takes nothing for each of them (it took memory
// and time in their number squared: 3 GB for a document of 400 KB).
TEST(HostileDocument, MarksFromCharacterReferencesInAnEntityCostNothing) {
    for (const std::string entity : {"e '&#38;", "% e '&#37;"}) {
        SCOPED_TRACE(entity);
        const std::string document = "<!DOCTYPE r [<!ENTITY " + entity +
                                     Repeat(entity.substr(entity.size() - 5), 20000) + ";'>]><r/>";
        Road road;
        long result = E_FAIL;
        const qortest::HeapUse use = qortest::HeapUseOf([&] { result = road.Parse(document); });
        EXPECT_EQ(result, S_OK);
        EXPECT_LT(use.allocations, 1000);
    }
}

// What declarations make every element carry, a namespace URI in its names or the attribute
// defaults of the DTD, is limited against the document's size as entity expansion is, on either
// road. Expat copies a URI into each prefixed attribute's name byte by byte, and declares a
// defaulted namespace on each element again.
TEST(HostileDocument, LongDeclarationsCarriedByEveryElementAreRefused) {
    const std::string longText = "urn:" + std::string(65536, 'u');
    const std::string text = "urn:" + std::string(300, 'u');
    const std::string attlist = "<!DOCTYPE r [<!ATTLIST e ";
    std::string manyDefaults;
    for (int i = 0; i < 5000; ++i) {
        manyDefaults += " a" + std::to_string(i) + " CDATA '1'";
    }
    const struct {
        std::string document;
        long result;
    } cases[] = {
        {"<r xmlns:p='" + longText + "'>" + Repeat("<e p:v='1'/>", 20000) + "</r>",
         static_cast<int32_t>(k_amplification)},
        {"<p:r xmlns:p='" + longText + "'>" + Repeat("<p:e/>", 100000) + "</p:r>",
         static_cast<int32_t>(k_amplification)},
        {attlist + "v CDATA '" + longText + "'>]><r>" + Repeat("<e/>", 20000) + "</r>",
         static_cast<int32_t>(k_amplification)},
        {attlist + "xmlns:p CDATA '" + longText + "'>]><r>" + Repeat("<e/>", 20000) + "</r>",
         static_cast<int32_t>(k_amplification)},
        {attlist + manyDefaults + ">]><r>" + Repeat("<e/>", 20000) + "</r>",
         static_cast<int32_t>(k_amplification)},
        // Long declarations as documents use them.
        {"<!DOCTYPE p:r [<!ATTLIST p:e d CDATA '" + text + "'>]><p:r xmlns:p='" + text + "'>" +
             Repeat("<p:e p:id='12' p:v='1'>text</p:e>", 20000) + "</p:r>",
         S_OK},
    };
    for (const bool utf16Road : {false, true}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(c.document.substr(0, 30) + c.document.substr(c.document.size() - 30) +
                         (utf16Road ? " (UTF-16)" : ""));
            Road road(LONG_MAX, utf16Road);
            EXPECT_EQ(road.Parse(c.document), c.result);
            if (c.result != S_OK) {
                ExpectOneFatalLine(road, k_amplification, "amplification");
            }
        }
    }
}

// An open element's URI is not kept until its end: 20,000 levels of 256 characters would take
// 10 MB; what the reader keeps for an open element is a few dozen bytes.
TEST(HostileDocument, DeepElementsInANamespaceTakeNoMemoryPerLevel) {
    const std::string document = "<p:r xmlns:p='urn:" + std::string(250, 'u') + "'>" +
                                 Repeat("<p:e>", 20000) + Repeat("</p:e>", 20000) + "</p:r>";
    Road road(1, true);
    long result = E_FAIL;
    const qortest::HeapUse use = qortest::HeapUseOf([&] { result = road.Parse(document); });
    EXPECT_EQ(result, S_OK);
    EXPECT_LT(use.largest, size_t{4} << 20);
}

TEST(HostileDocument, ExternalEntitiesAtANetworkAddressAreNeverFetched) {
    LoopbackListener listener;
    ASSERT_NE(listener.port(), 0);
    const std::string documents[] = {
        "<!DOCTYPE r [<!ENTITY x SYSTEM '" + listener.Url("x.txt") + "'>]><r>[&x;]</r>",
        "<!DOCTYPE r SYSTEM '" + listener.Url("r.dtd") + "'><r>[&e;]</r>",
        "<!DOCTYPE r PUBLIC '-//X//Y' '" + listener.Url("p.dtd") + "'><r>[]</r>",
        "<!DOCTYPE r [<!ENTITY % p SYSTEM '" + listener.Url("p.ent") + "'>%p;]><r>[&e;]</r>",
    };
    for (const std::string& document : documents) {
        SCOPED_TRACE(document);
        Road road;
        EXPECT_EQ(road.Parse(document), S_OK);
        EXPECT_EQ(road.counts.text, "[]");
        EXPECT_TRUE(road.Messages().empty());
        EXPECT_FALSE(listener.Connected());
    }
}

TEST(HostileDocument, MillionLevelsDeepAreReadAcceptedOrSkipped) {
    constexpr size_t k_depth = 1000000;
    const std::string document = Repeat("<e>", k_depth) + "deep" + Repeat("</e>", k_depth);
    struct Case {
        long acceptDepth;
        long accepted;
        const char* text;
    };
    const Case cases[] = {{LONG_MAX, k_depth, "deep"}, {1, 1, ""}, {1000, 1000, ""}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.acceptDepth);
        Road road(c.acceptDepth);
        EXPECT_EQ(road.Parse(document), S_OK);
        EXPECT_EQ(road.counts.accepted, c.accepted);
        EXPECT_EQ(road.counts.ended, c.accepted);
        EXPECT_EQ(road.counts.text, c.text);
        EXPECT_TRUE(road.Messages().empty());
    }
}

TEST(HostileDocument, HugeAttributeAndTextReachTheHandlersBounded) {
    constexpr size_t k_size = 100u << 20;
    qortest::ScopedTempDir dir;
    const std::string path = dir.file("huge.xml");
    {
        SCOPED_TRACE("attribute");
        ASSERT_TRUE(qortest::WriteFile(path, "<r v='" + std::string(k_size, 'v') + "'/>"));
        Road road;
        EXPECT_EQ(road.ParseFile(path), S_OK);
        EXPECT_EQ(road.counts.attribute, std::string(4096, 'v'));
    }
    {
        SCOPED_TRACE("text");
        ASSERT_TRUE(qortest::WriteFile(path, "<r>" + Repeat("text&amp;", k_size / 9) + "</r>"));
        Road road;
        EXPECT_EQ(road.ParseFile(path), S_OK);
        EXPECT_EQ(road.counts.textBytes, static_cast<long long>(k_size / 9 * 5));
        EXPECT_EQ(road.counts.longestPiece, 4096u);
        EXPECT_EQ(road.counts.text.substr(0, 10), "text&text&");
    }
}

// Text on one line is handed over in pieces, and each piece must cost in proportion to its own
// length: the line costs what the same characters in short lines cost, in processor time.
// (Counted from the start of the line at each piece, 8 MiB cost about eighty times as much.)
TEST(HostileDocument, TextOnOneLineCostsWhatShortLinesCost) {
    constexpr size_t k_size = 8u << 20;
    struct Case {
        const char* what;
        const char* open;
        std::string unit;
        const char* close;
        bool utf16Road;
    };
    const Case cases[] = {
        {"text", "<r>", "words and more ", "</r>", false},
        {"text, UTF-16 road", "<r>", "words and more ", "</r>", true},
        {"CDATA", "<r><![CDATA[", "words <and> more ", "]]></r>", false},
        {"UTF-8", "<r>", "caf\xC3\xA9 na\xC3\xAFve ", "</r>", false},
        {"wide characters, UTF-16 road", "<r>", "\xE4\xB8\xAD\xF0\x9F\x98\x80 ", "</r>", true},
        {"in a skipped element", "<r><x>", "words and more ", "</x></r>", false},
    };
    const auto cpuSeconds = [](Road& road, const std::string& document) {
        const std::clock_t start = std::clock();
        EXPECT_EQ(road.Parse(document), S_OK);
        return static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const size_t units = k_size / c.unit.size();
        Road road(1, c.utf16Road);
        const double shortLines =
            cpuSeconds(road, c.open + Repeat(c.unit + c.unit + c.unit + "\n", units / 3) + c.close);
        const double oneLine = cpuSeconds(road, c.open + Repeat(c.unit, units) + c.close);
        EXPECT_LT(oneLine, 4 * shortLines + 0.05);
    }
}

TEST(HostileDocument, MalformedBytesAreRefusedWithOneFatalLine) {
    struct Case {
        std::string document;
        const char* accepted; // text received before the error
    };
    const Case cases[] = {
        {"<r>ok\x80</r>", "ok"},                       // a lone continuation byte
        {"<r>\xC0\xAF</r>", ""},                       // an overlong '/'
        {"<r>\xED\xA0\x80</r>", ""},                   // a UTF-16 surrogate in UTF-8
        {"<r>\xF4\x90\x80\x80</r>", ""},               // beyond U+10FFFF
        {"<r>\xE2\x82</r>", ""},                       // a sequence cut short
        {"<r a='\xFF'/>", ""},                         // never valid
        {std::string("<r>a\0b</r>", 10), "a"},         // NUL in text
        {std::string("<r\0/>", 5), ""},                // NUL in a name
        {std::string("\0<r/>", 5), ""},                // NUL before the document
        {std::string("<r a='\0'/>", 10), ""},          // NUL in an attribute
        {"<r>\x01\x1F</r>", ""},                       // control characters
        {"<r>&#0;</r>", ""},                           // a reference to NUL
        {"<?xml version='1.0'?>\xEF\xBB\xBF<r/>", ""}, // a byte-order mark after the start
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.document));
        Road road;
        EXPECT_LT(road.Parse(c.document), 0);
        ASSERT_EQ(road.Messages().size(), 1u) << testing::PrintToString(road.Messages());
        EXPECT_EQ(road.Messages()[0].rfind("  XML Parser fatal error: 0x8004020", 0), 0u);
        EXPECT_EQ(road.counts.text, c.accepted);
    }
}

TEST(HostileDocument, EveryTruncationIsReadOrRefusedWithOneFatalLine) {
    const std::string head =
        "<!DOCTYPE r [<!ENTITY e 'ent'>]>\n"
        "<r xmlns:p='urn:p' a='1' p:b='&amp;x'>\n"
        "  <p:c>caf\xC3\xA9 &e; &#x1F600;\xF0\x9F\x98\x80<![CDATA[<raw>]]></p:c>"
        "<!-- c --><?pi data?>\n  <d/>\n</r>";
    const std::string tail = "\n<!--t-->\n";
    struct Form {
        const char* name;
        std::string declaration;
        std::string (*encode)(const std::string&);
    };
    const Form forms[] = {
        {"UTF-8", "<?xml version='1.0' encoding='UTF-8'?>\n",
         [](const std::string& text) { return text; }},
        {"UTF-16", "\xEF\xBB\xBF<?xml version='1.0' encoding='UTF-16'?>\n", ToUtf16Le},
    };
    for (const Form& form : forms) {
        SCOPED_TRACE(form.name);
        const std::string document = form.encode(form.declaration + head + tail);
        // The prefixes that hold a whole document: up to the root's end, with or without the
        // line end after it, and the whole text with or without its last line end.
        const size_t complete = form.encode(form.declaration + head).size();
        const size_t lineEnd = form.encode("\n").size();
        const size_t wellFormed[] = {complete, complete + lineEnd, document.size() - lineEnd,
                                     document.size()};
        Road road;
        for (size_t size = 0; size <= document.size(); ++size) {
            SCOPED_TRACE(size);
            const long result = road.Parse(document.substr(0, size));
            if (std::find(std::begin(wellFormed), std::end(wellFormed), size) !=
                std::end(wellFormed)) {
                EXPECT_EQ(result, S_OK);
                EXPECT_TRUE(road.Messages().empty());
                EXPECT_EQ(road.counts.accepted, 3);
                EXPECT_EQ(road.counts.ended, 3);
                EXPECT_EQ(road.counts.text, "\n  caf\xE9 ent ?\?<raw>\n  \n");
                continue;
            }
            EXPECT_LT(result, 0);
            ASSERT_EQ(road.Messages().size(), 1u) << testing::PrintToString(road.Messages());
            EXPECT_EQ(road.Messages()[0].rfind("  XML Parser fatal error: 0x800402", 0), 0u);
            EXPECT_LE(road.counts.ended, road.counts.accepted);
        }
    }
}

TEST(HostileDocument, AdapterWithoutAHandlerTreeReadsTheDocumentAndDropsIt) {
    qortest::ScopedLog log;
    auto* content = new SAXContentHandlerImpl(nullptr);
    MSXML2::SAXXMLReader reader;
    reader.putContentHandler(content);
    EXPECT_EQ(reader.parse("<r a='1'>text<e/></r>", 21), S_OK);
    reader.putContentHandler(nullptr);
    EXPECT_EQ(content->Release(), 0u);
    EXPECT_TRUE(log.Messages().empty());
}
