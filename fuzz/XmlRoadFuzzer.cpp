// Fuzz target: the whole XML road from bytes. The input is a document read by
// MSXML2::SAXXMLReader::parse into the two adapters and a TopHandler over a small tree of
// handlers that accept some elements and refuse others (by their names), fetch attributes and
// call ExtraAttributes, ConvertBranch, SevereError and TraceMessage, with the log written to a
// scratch file. Checked on every input: the reader's result agrees with the callbacks (one
// fatal error exactly when it fails, endDocument exactly when it succeeds, every accepted
// element ended after a success), every narrowed text stays within its limit, every attribute
// fetched by name is the one the parser's UTF-16 names and values narrow to, and every handler
// is released once the adapters are. The document is read twice, through a class derived
// from the content adapter (which takes the UTF-16 callbacks) and through the adapter itself
// (to which the reader hands names and text narrowed straight from UTF-8), then once more from
// a descriptor, as files are read: the handlers must see the same calls with the same bytes at
// the same places.
#include "FuzzSupport.h"

#include <QorUtils/log/FILog.h>
#include <QorUtils/platform/SAXXMLReader.h>
#include <QorUtils/xml/ElementHandler.h>
#include <QorUtils/xml/SAXContentHandlerImpl.h>
#include <QorUtils/xml/SAXErrorHandlerImpl.h>
#include <QorUtils/xml/TopHandler.h>

#include <string>

#include <sys/mman.h>
#include <unistd.h>

namespace {

using MSXML2::ISAXAttributes;
using MSXML2::ISAXLocator;

constexpr size_t k_narrowLimit = 4096;

// Handlers alive, and accepted elements whose end has not come.
int g_live = 0;
int g_open = 0;
// What the handlers saw, with the locator's place.
std::string g_trace;

void Trace(const char* what, const char* text, ISAXLocator* locator) {
    int line = 0;
    int column = 0;
    locator->getLineNumber(&line);
    locator->getColumnNumber(&column);
    g_trace += std::string(what) + "@" + std::to_string(line) + ":" + std::to_string(column) + " " +
               text + "\n";
}

class FuzzHandler final : public ElementHandler {
public:
    explicit FuzzHandler(bool reportUnknown) : ElementHandler(reportUnknown) { ++g_live; }
    ~FuzzHandler() override { --g_live; }

    // Refuses the elements whose name begins with a capital letter, 'x', 'y' or 'z', so that
    // whole subtrees are skipped too; accepts every other.
    bool HandleElement(char* name, ISAXAttributes* attributes, ISAXLocator* locator) override {
        const size_t length = std::strlen(name);
        FUZZ_CHECK(length <= k_narrowLimit);
        // Only the children of the innermost open handler are offered elements.
        FUZZ_CHECK(!m_open);
        const auto first = static_cast<unsigned char>(name[0]);
        if ((first >= 'A' && first <= 'Z') || (first >= 'x' && first <= 'z')) {
            return false;
        }
        Trace("start", name, locator);
        ResetAttributes(attributes);
        FIAttribute value;
        FUZZ_CHECK(GetAttributeValue("a", attributes, value).length() <= int{k_narrowLimit});
        Trace("a", value.isNull() ? "(null)" : value.c_str(), locator);
        FUZZ_CHECK(GetAttributeValue(name, attributes, value).length() <= int{k_narrowLimit});
        CheckEveryAttribute(attributes);
        if (ConvertBranch(value) != BranchNone) {
            FUZZ_CHECK(value.length() == 4);
        }
        if (first % 5 == 0) {
            SevereError(name, locator);
        }
        if (first % 7 == 0) {
            TraceMessage(value.isNull() ? name : value.c_str(), first % 8, locator);
        }
        ExtraAttributes(name, locator);
        // The children for the elements nested in this occurrence.
        AddHandler(new FuzzHandler(false));
        AddHandler(new FuzzHandler(first % 2 == 0));
        m_open = true;
        ++g_open;
        return true;
    }
    void HandleText(char* text, ISAXLocator* locator) override {
        FUZZ_CHECK(m_open);
        Trace("text", text, locator);
        FUZZ_CHECK(std::strlen(text) <= k_narrowLimit);
    }
    void HandleEndElement(ISAXLocator* locator) override {
        FUZZ_CHECK(m_open);
        Trace("end", "", locator);
        m_open = false;
        --g_open;
    }

private:
    // Each attribute, fetched by its narrowed local name, gives the first attribute of that
    // name narrowed from the UTF-16 the parser reports, whichever way the fetch reads it.
    void CheckEveryAttribute(ISAXAttributes* attributes) {
        int count = 0;
        attributes->getLength(&count);
        static char name[k_narrowLimit + 1];
        static char other[k_narrowLimit + 1];
        static char expected[k_narrowLimit + 1];
        for (int i = 0; i < count; ++i) {
            unsigned short* text = nullptr;
            int length = 0;
            attributes->getLocalName(i, &text, &length);
            myconvert(name, text, length);
            int first = 0;
            for (;; ++first) {
                attributes->getLocalName(first, &text, &length);
                myconvert(other, text, length);
                if (std::strcmp(other, name) == 0) {
                    break;
                }
            }
            attributes->getValue(first, &text, &length);
            myconvert(expected, text, length);
            FIAttribute value;
            GetAttributeValue(name, attributes, value);
            FUZZ_CHECK(value.c_str() != nullptr && std::strcmp(value.c_str(), expected) == 0);
            g_trace += std::string(name) + "=" + expected + "\n";
        }
    }

    bool m_open = false;
};

// The content adapter, counting the document's start and end.
class CountingContent final : public SAXContentHandlerImpl {
public:
    using SAXContentHandlerImpl::SAXContentHandlerImpl;
    int starts = 0;
    int ends = 0;
    long startDocument() override {
        ++starts;
        return SAXContentHandlerImpl::startDocument();
    }
    long endDocument() override {
        ++ends;
        return SAXContentHandlerImpl::endDocument();
    }
};

// The error adapter, counting what it is told.
class CountingErrors final : public SAXErrorHandlerImpl {
public:
    int fatal = 0;
    int other = 0;
    long fatalError(ISAXLocator* locator, unsigned short* description, long code) override {
        ++fatal;
        FUZZ_CHECK(code < 0);
        return SAXErrorHandlerImpl::fatalError(locator, description, code);
    }
    long error(ISAXLocator* locator, unsigned short* description, long code) override {
        ++other;
        return SAXErrorHandlerImpl::error(locator, description, code);
    }
    long ignorableWarning(ISAXLocator* locator, unsigned short* description, long code) override {
        ++other;
        return SAXErrorHandlerImpl::ignorableWarning(locator, description, code);
    }
};

// The scratch log, removed when the run ends.
struct ScratchLog {
    std::string path;
    ScratchLog() {
        const char* dir = std::getenv("TMPDIR");
        path = std::string(dir != nullptr && *dir != '\0' ? dir : "/tmp") + "/qorfuzz-xml-" +
               std::to_string(getpid()) + ".log";
    }
    ~ScratchLog() { unlink(path.c_str()); }
};

// Reads the document as files and standard input are read, from a descriptor into expat's own
// buffer rather than from the caller's memory: the same result and the same trace.
void ReadFromDescriptor(const uint8_t* data, size_t size, long result, const std::string& trace) {
    static const int fd = memfd_create("qorfuzz-xml", 0);
    FUZZ_CHECK(fd >= 0);
    FUZZ_CHECK(ftruncate(fd, 0) == 0);
    FUZZ_CHECK(pwrite(fd, data, size, 0) == static_cast<ssize_t>(size));
    FUZZ_CHECK(lseek(fd, 0, SEEK_SET) == 0);
    g_trace.clear();
    auto* adapter = new SAXContentHandlerImpl(new TopHandler(new FuzzHandler(true)));
    {
        MSXML2::SAXXMLReader reader;
        reader.putContentHandler(adapter);
        FUZZ_CHECK(reader.parseDescriptor(fd, "fuzz.xml") == result);
    }
    adapter->Release();
    FUZZ_CHECK(g_live == 0);
    g_open = 0;
    FUZZ_CHECK(g_trace == trace);
}

// Reads the document through the derived content adapter, checking what it and the error
// adapter are told, then through the adapter itself; both must leave the same trace.
void ReadBothWays(const uint8_t* data, size_t size) {
    g_trace.clear();
    auto* content = new CountingContent(new TopHandler(new FuzzHandler(true)));
    auto* errors = new CountingErrors;
    long result = S_OK;
    {
        MSXML2::SAXXMLReader reader;
        reader.putContentHandler(content);
        reader.putErrorHandler(errors);
        result = reader.parse(reinterpret_cast<const char*>(data), size);
    }
    FUZZ_CHECK(content->starts == 1);
    FUZZ_CHECK(errors->other == 0);
    if (result == S_OK) {
        FUZZ_CHECK(errors->fatal == 0);
        FUZZ_CHECK(content->ends == 1);
        FUZZ_CHECK(g_open == 0);
    } else {
        FUZZ_CHECK(result < 0);
        FUZZ_CHECK(errors->fatal == 1);
        FUZZ_CHECK(content->ends == 0);
    }
    content->Release();
    errors->Release();
    FUZZ_CHECK(g_live == 0);
    g_open = 0;

    const std::string utf16Road = g_trace;
    g_trace.clear();
    auto* adapter = new SAXContentHandlerImpl(new TopHandler(new FuzzHandler(true)));
    {
        MSXML2::SAXXMLReader reader;
        reader.putContentHandler(adapter);
        FUZZ_CHECK(reader.parse(reinterpret_cast<const char*>(data), size) == result);
    }
    adapter->Release();
    FUZZ_CHECK(g_live == 0);
    g_open = 0;
    FUZZ_CHECK(g_trace == utf16Road);
    ReadFromDescriptor(data, size, result, utf16Road);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static ScratchLog log;
    // Each input starts the file afresh (a header, then its lines), so it stays small.
    SetFILog(log.path.c_str());
    SetFILogLevel(7);
    ReadBothWays(data, size);
    return 0;
}
