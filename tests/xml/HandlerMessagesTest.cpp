#include <QorUtils/log/FILog.h>
#include <QorUtils/platform/SAXXMLReader.h>
#include <QorUtils/xml/SAXContentHandlerImpl.h>
#include <QorUtils/xml/SAXErrorHandlerImpl.h>
#include <QorUtils/xml/TopHandler.h>

#include "support/FakeSAX.h"
#include "support/RecordingHandler.h"
#include "support/ScopedLog.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using qortest::FakeAttributes;
using qortest::FakeLocator;
using qortest::RecordingHandler;
using Lines = std::vector<std::string>;

namespace {

// A handler whose protected services the tests call directly, with the log in a scratch file.
class HandlerMessages : public testing::Test {
protected:
    qortest::ScopedLog m_log;
    qortest::Grammar m_grammar;
    RecordingHandler::Transcript m_transcript;
    RecordingHandler m_handler{"e", m_grammar, m_transcript};
    FakeLocator m_locator{12, 3, "dir/doc.xml"};
};

} // namespace

TEST_F(HandlerMessages, EachLineHasItsExactLongAndShortForm) {
    FakeAttributes attributes{{"a", "1"}};
    m_handler.ResetAttributes(&attributes);
    m_handler.ExtraAttributes("e", &m_locator);
    m_handler.ExtraAttributes("e", nullptr);
    m_handler.ExtraElement("x", &m_locator);
    m_handler.ExtraElement("x", nullptr);
    m_handler.SevereError("bad value", &m_locator);
    m_handler.SevereError("bad value", nullptr);
    m_handler.TraceMessage("note", 5, &m_locator);
    m_handler.TraceMessage("note", 5, nullptr);
    EXPECT_EQ(m_log.Messages(),
              (Lines{"  XML Parser Warning: file dir/doc.xml at line 12, unexpected attribute in e",
                     "  XML Parser Warning: file, unexpected attribute in e",
                     "  XML Parser Warning: file dir/doc.xml at line 12, unknown element <x>",
                     "  XML Parser Warning: file, unknown element <x>",
                     "  XML Parser Severe Error: file dir/doc.xml at line 12, bad value",
                     "   XML Parser Severe Error: file, bad value",
                     "  XML Parser Message: file dir/doc.xml at line 12, note",
                     "   XML Parser Message: file, note"}));
    EXPECT_EQ(m_locator.calls(),
              (Lines{"getLineNumber", "getSystemId", "getLineNumber", "getSystemId",
                     "getLineNumber", "getSystemId", "getLineNumber", "getSystemId"}));
}

// A message that the threshold keeps out is not composed: the locator is not even asked.
TEST_F(HandlerMessages, WarningsAreTracesAtLevelFiveAndErrorsAlwaysWritten) {
    SetFILogLevel(4);
    FakeAttributes attributes{{"a", "1"}};
    m_handler.ResetAttributes(&attributes);
    m_handler.ExtraAttributes("e", &m_locator);
    m_handler.ExtraElement("x", &m_locator);
    m_handler.TraceMessage("level 5", 5, &m_locator);
    m_handler.TraceMessage("level 4", 4, nullptr);
    SetFILogLevel(-10);
    m_handler.SevereError("always", nullptr);
    SetFILogLevel(7);
    m_handler.TraceMessage("level 7", 7, &m_locator);
    EXPECT_EQ(
        m_log.Messages(),
        (Lines{"   XML Parser Message: file, level 4", "   XML Parser Severe Error: file, always",
               "  XML Parser Message: file dir/doc.xml at line 12, level 7"}));
    EXPECT_EQ(m_locator.calls(), (Lines{"getLineNumber", "getSystemId"}));
}

TEST_F(HandlerMessages, TallyWarnsOnlyAboutAttributesNotFetched) {
    struct Case {
        const char* name;
        std::vector<std::string> fetched;
        bool warned;
    };
    const Case cases[] = {
        {"all fetched", {"a", "b"}, false},
        {"one left", {"a"}, true},
        {"same one twice", {"a", "a"}, false},
        {"missing ones do not count", {"a", "zz", "zz"}, true},
    };
    FakeAttributes attributes{{"a", "1"}, {"b", "2"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        OpenFILog(nullptr);
        m_handler.ResetAttributes(&attributes);
        for (const std::string& name : c.fetched) {
            FIAttribute value;
            m_handler.GetAttributeValue(name.c_str(), &attributes, value);
        }
        m_handler.ExtraAttributes("e", nullptr);
        EXPECT_EQ(m_log.Messages().size(), c.warned ? 1u : 0u);
    }
}

TEST_F(HandlerMessages, NoTallyNoWarning) {
    m_handler.ExtraAttributes("before any reset", nullptr);
    FakeAttributes none{};
    m_handler.ResetAttributes(&none);
    m_handler.ExtraAttributes("no attributes", nullptr);
    m_handler.ResetAttributes(nullptr);
    m_handler.ExtraAttributes("no attribute list", nullptr);
    EXPECT_EQ(m_log.Messages(), Lines{});
}

TEST_F(HandlerMessages, LongNamesAndTextsAreWrittenWhole) {
    const std::string file(1000, 'f');
    const std::string text(1000, 't');
    FakeLocator locator(4, 1, file);
    m_handler.SevereError(text.c_str(), &locator);
    EXPECT_EQ(m_log.Messages(),
              Lines{"  XML Parser Severe Error: file " + file + " at line 4, " + text});
}

// A file name is written as UTF-8, a byte that the reader kept as U+DC80..U+DCFF as that byte.
TEST_F(HandlerMessages, FileNamesAreWrittenAsBytesAndAMissingOneIsEmpty) {
    FakeLocator missing = FakeLocator::WithoutSystemId(4, 1);
    m_handler.ExtraElement("x", &missing);
    FakeLocator wide(5, 1,
                     qortest::Utf16::FromUnits(
                         {'c', 0xE9, 0x20AC, 0xD83D, 0xDE00, 0xDC83, 0xDCFF, 0xD800, '.', 'x'}));
    m_handler.ExtraElement("y", &wide);
    EXPECT_EQ(m_log.Messages(),
              (Lines{"  XML Parser Warning: file  at line 4, unknown element <x>",
                     "  XML Parser Warning: file c\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\x83\xFF?.x "
                     "at line 5, unknown element <y>"}));
}

// Files named in UTF-8, in Shift_JIS (left so by archives from other systems) or with stray
// bytes: the reader's lines name each by its bytes, the warnings through the locator and the
// errors through the description.
TEST(HandlerMessagesOfFiles, NameEachFileByItsBytes) {
    qortest::ScopedLog log;
    qortest::ScopedTempDir dir;
    qortest::Grammar grammar{{"root", {{}, {}, true}}};
    Lines expected;
    for (const char* name : {"caf\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80.xml",
                             "\x83\x65\x83\x58\x83\x67.xml", "\xFF\xED\xA0\x80\xC3.xml"}) {
        const std::string path = dir.file(name);
        ASSERT_TRUE(qortest::WriteFile(path, "<root><x/></root>"));
        RecordingHandler::Transcript transcript;
        auto* content = new SAXContentHandlerImpl(
            new TopHandler(new RecordingHandler("root", grammar, transcript)));
        auto* errors = new SAXErrorHandlerImpl;
        {
            MSXML2::SAXXMLReader reader;
            reader.putContentHandler(content);
            reader.putErrorHandler(errors);
            EXPECT_EQ(reader.parseURL(path.c_str()), S_OK);
            EXPECT_EQ(reader.parseURL((path + "~").c_str()), MSXML2::SAXREADER_E_OPEN);
        }
        content->Release();
        errors->Release();
        expected.push_back("  XML Parser Warning: file " + path +
                           " at line 1, unknown element <x>");
        expected.push_back("  XML Parser fatal error: 0x80040300 at line 1 column 1, cannot open "
                           "file '" +
                           path + "~': No such file or directory");
    }
    EXPECT_EQ(log.Messages(), expected);
}

TEST_F(HandlerMessages, EveryMessageStaysOneLine) {
    // A file may be named with any byte but '/' and NUL; a caller's text may quote a document.
    FakeLocator named(7, 2,
                      qortest::Utf16::FromUnits({'a', '\n', 'b', '\r', 0x0B, 'c', 0x7F, '\t', 0x9B,
                                                 0x85, 0xDC9B, 0xA0, 'd', '.', 'x', 'm', 'l'}));
    m_handler.ExtraElement("x", &named);
    m_handler.SevereError("one\ntwo", nullptr);
    auto* errors = new SAXErrorHandlerImpl;
    qortest::Utf16 description("cannot open file 'x\n  XML Parser error: forged': gone\r\n");
    errors->fatalError(&m_locator, description.data(), 0x80040300);
    errors->Release();
    EXPECT_EQ(m_log.Messages(),
              (Lines{"  XML Parser Warning: file a?b??c?\t??\x9B\xC2\xA0"
                     "d.xml at line 7, unknown element <x>",
                     "   XML Parser Severe Error: file, one?two",
                     "  XML Parser fatal error: 0x80040300 at line 12 column 3, cannot open file "
                     "'x?  XML Parser error: forged': gone"}));
}

TEST(ContentAdapterLocator, MessagesTakeTheLongFormOnlyWhileALocatorIsKept) {
    qortest::ScopedLog log;
    qortest::Grammar grammar{{"root", {{}, {}, true}}};
    RecordingHandler::Transcript transcript;
    auto* adapter = new SAXContentHandlerImpl(
        new TopHandler(new RecordingHandler("root", grammar, transcript)));
    FakeLocator locator(7, 2, "doc.xml");
    qortest::StartElement(adapter, "root");
    qortest::StartElement(adapter, "before");
    qortest::EndElement(adapter, "before");
    adapter->putDocumentLocator(&locator);
    qortest::StartElement(adapter, "during");
    qortest::EndElement(adapter, "during");
    adapter->endDocument();
    qortest::StartElement(adapter, "after");
    qortest::EndElement(adapter, "after");
    adapter->Release();
    EXPECT_EQ(log.Messages(),
              (Lines{"  XML Parser Warning: file, unknown element <before>",
                     "  XML Parser Warning: file doc.xml at line 7, unknown element <during>",
                     "  XML Parser Warning: file, unknown element <after>"}));
    EXPECT_EQ(locator.refs(), 0);
}
