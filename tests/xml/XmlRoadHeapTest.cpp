// The whole XML road when memory runs out: each allocation of a reading refused in turn (alone,
// and together with every one after it), for a well-formed and a malformed document, in memory
// and from a file. Every reading ends as it does with memory to spare or with SAXREADER_E_MEMORY,
// no exception escapes, every handler is released and every block freed.
#include <QorUtils/log/FILog.h>
#include <QorUtils/platform/SAXXMLReader.h>
#include <QorUtils/xml/ElementHandler.h>
#include <QorUtils/xml/SAXContentHandlerImpl.h>
#include <QorUtils/xml/SAXErrorHandlerImpl.h>
#include <QorUtils/xml/TopHandler.h>

#include "support/FailingHeap.h"
#include "support/ScopedLog.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <new>
#include <string>

using MSXML2::ISAXAttributes;
using MSXML2::ISAXLocator;

namespace {

int g_live = 0;

// Accepts every element and does what a module's handler does, allocating nothing that could
// throw: children made with new (std::nothrow), attributes fetched, warnings and errors logged.
class PlainHandler final : public ElementHandler {
public:
    PlainHandler() : ElementHandler(true) { ++g_live; }
    ~PlainHandler() override { --g_live; }

    bool HandleElement(char* name, ISAXAttributes* attributes, ISAXLocator* locator) override {
        if (name[0] == 'x') {
            return false;
        }
        ResetAttributes(attributes);
        FIAttribute value;
        GetAttributeValue("a", attributes, value);
        ExtraAttributes(name, locator);
        if (name[0] == 'e') {
            SevereError(name, locator);
        }
        AddHandler(new (std::nothrow) PlainHandler);
        return true;
    }
};

long Read(const std::string& document, const std::string& path) {
    long result = S_OK;
    // One object at a time: GCC 11 evaluates a new-expression's argument before its allocation,
    // so a refused outer allocation would leave the inner object to no one.
    ElementHandler* root = new (std::nothrow) PlainHandler;
    auto* top = new (std::nothrow) TopHandler(root);
    if (top == nullptr) {
        delete root;
    }
    auto* content = new (std::nothrow) SAXContentHandlerImpl(top);
    if (content == nullptr) {
        delete top;
    }
    auto* errors = new (std::nothrow) SAXErrorHandlerImpl;
    {
        MSXML2::SAXXMLReader reader;
        reader.putContentHandler(content);
        reader.putErrorHandler(errors);
        result = path.empty() ? reader.parse(document.data(), document.size())
                              : reader.parseURL(path.c_str());
    }
    if (content != nullptr) {
        content->Release();
    }
    if (errors != nullptr) {
        errors->Release();
    }
    return result;
}

} // namespace

TEST(XmlRoadHeap, EveryRefusedAllocationIsSurvived) {
    if (!qortest::HeapCanRefuse()) {
        GTEST_SKIP() << "the sanitizer owns malloc in this build; refusals are tested in the "
                        "normal build";
    }
    const std::string body = "<!DOCTYPE r [<!ENTITY e 'ent'>]>\n"
                             "<r xmlns='urn:d' xmlns:p='urn:p' a='1' p:b='\xE9' c='2'>"
                             "<?pi data?><p:c a='x'>caf\xE9 &e; &#x1F600;<![CDATA[<raw>]]></p:c>"
                             "<x><y/></x><e/>" +
                             std::string(5000, 't') + "<d>";
    std::string japanese = body;
    japanese.replace(japanese.find('\xE9'), 1, "\x93\xFA");
    japanese.replace(japanese.find('\xE9'), 1, "\x96\x7B");
    const std::string documents[] = {
        "<?xml version='1.0' encoding='windows-1252'?>\n" + body + "</d></r>",
        "<?xml version='1.0' encoding='ISO-8859-1'?>\n" + body + "</r>",
        "<?xml version='1.0' encoding='Shift_JIS'?>\n" + japanese + "</d></r>",
    };
    qortest::ScopedTempDir dir;
    const std::string path = dir.file("doc.xml");
    qortest::ScopedLog log;
    // The C library unloads a character set converter left unused lazily: each release of
    // another one ages it, the third unloads it, freeing blocks from before the count. Holding
    // the converters that the readings use and releasing one a few times unloads the others now.
    const iconv_t converters[] = {
        iconv_open("UTF-32LE", "windows-1252"), iconv_open("UTF-32LE", "CP932"),
        iconv_open("UTF-32LE", "EUC-JP"),       iconv_open("UTF-32LE", "CP949"),
        iconv_open("UTF-32LE", "CP936"),        iconv_open("UTF-32LE", "CP950")};
    for (const iconv_t converter : converters) {
        ASSERT_NE(converter, reinterpret_cast<iconv_t>(-1));
    }
    for (int i = 0; i < 4; ++i) {
        iconv_close(iconv_open("UTF-32LE", "windows-1252"));
    }
    // The reader keeps the tables of the first few multi-byte sets that documents name: four
    // others take every place, so that the Shift_JIS tables are built, and refused, each time.
    for (const char* other : {"EUC-JP", "EUC-KR", "GB2312", "Big5"}) {
        Read(std::string("<?xml version='1.0' encoding='") + other + "'?><r/>", "");
    }
    for (const std::string& document : documents) {
        ASSERT_TRUE(qortest::WriteFile(path, document));
        for (const std::string& from : {std::string(), path}) {
            // Loads what the C library keeps for good (the character set converters).
            const long whole = Read(document, from);
            for (const auto kind : {qortest::Refusal::Only, qortest::Refusal::From}) {
                for (int index = 0;; ++index) {
                    SCOPED_TRACE(testing::Message()
                                 << document.substr(30, 12) << " "
                                 << (from.empty() ? "memory" : "file") << " "
                                 << (kind == qortest::Refusal::Only ? "only" : "from") << " "
                                 << index);
                    long result = S_OK;
                    const qortest::HeapUse use =
                        qortest::HeapUseOf([&] { result = Read(document, from); }, {kind, index});
                    EXPECT_TRUE(result == whole || result == MSXML2::SAXREADER_E_MEMORY)
                        << std::hex << result;
                    EXPECT_EQ(g_live, 0);
                    EXPECT_EQ(use.live, 0);
                    if (use.allocations <= index) {
                        break;
                    }
                }
            }
        }
    }
    for (const iconv_t converter : converters) {
        iconv_close(converter);
    }
}
