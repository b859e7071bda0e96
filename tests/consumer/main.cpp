// Uses the installed library through its umbrella header; exits non-zero when something
// it relies on does not answer as documented.
#include <QorUtils/QorUtils.h>

#include <cstdio>
#include <cstring>

// The host's own language standard, when it names one, is the one it is compiled with.
#if defined(CONSUMER_CPLUSPLUS) && __cplusplus != CONSUMER_CPLUSPLUS
#error "the host's language standard was replaced"
#endif

#define CONSUMER_TEXT(number) #number
#define CONSUMER_VERSION(major, minor, patch)                                                      \
    CONSUMER_TEXT(major) "." CONSUMER_TEXT(minor) "." CONSUMER_TEXT(patch)

namespace {

bool AttributeWorks() {
    FIAttribute value(1.0 / 3.0);
    value.Append(" <of> ").Append(42).AppendChar('!');
    value.FixXML();
    char text[64];
    value.stval(text, sizeof text);
    std::printf("consumer: FIAttribute '%s' (length %d, capacity %d)\n", text, value.length(),
                value.capacity());
    const FIAttribute copy(value);
    return std::strcmp(text, "0.333333333333 &lt;of> 42!") == 0 &&
           value.GetType() == FIAttribute::FT_LONG_TEXT && copy.compare(value) == 0 &&
           FIAttribute(3).compare(FIAttribute("10")) == -1 && FIAttribute(" 7x").ival() == 7;
}

// A chain made here and filled and copied by the library.
bool ChainWorks() {
    FI::FIMessageChain chain;
    chain.Add(FI::FIMessageNotSupported, 1, 2, "first");
    chain.Add(FI::FIMessageNotSupported, 3, 4, "second");
    const FI::FIMessageChain copy(chain);
    return copy.Count() == 2 && std::strcmp(copy.Get(1)->pszText, "second") == 0;
}

// A host's own adapter, which counts the pieces of text of the documents it reads. The
// pkg-config build makes it without RTTI, as some hosts build everything.
class CountingAdapter final : public SAXContentHandlerImpl {
public:
    CountingAdapter() : SAXContentHandlerImpl(new TopHandler(nullptr)) {}
    long characters(unsigned short* chars, int length) override {
        ++m_pieces;
        return SAXContentHandlerImpl::characters(chars, length);
    }
    int m_pieces = 0;
};

bool DerivedAdapterWorks() {
    auto* adapter = new CountingAdapter;
    MSXML2::SAXXMLReader reader;
    reader.putContentHandler(adapter);
    const char document[] = "<a>text</a>";
    const long result = reader.parse(document, sizeof document - 1);
    const bool counted = adapter->m_pieces == 1;
    adapter->Release();
    return result == S_OK && counted;
}

} // namespace

int main() {
    OutputDebugStringA("consumer: linked against QorUtils\n");
    std::printf("consumer: QorUtils %s\n", QorUtilsVersion());
    if (std::strcmp(QorUtilsVersion(),
                    CONSUMER_VERSION(QORUTILS_VERSION_MAJOR, QORUTILS_VERSION_MINOR,
                                     QORUTILS_VERSION_PATCH)) != 0) {
        std::puts("consumer: the library loaded is not the release of its headers");
        return 1;
    }
    if (S_OK != 0 || E_NOINTERFACE >= 0 || IID_IUnknown == IID_ISAXContentHandler) {
        std::puts("consumer: unexpected platform constants");
        return 1;
    }
    if (!AttributeWorks()) {
        std::puts("consumer: FIAttribute did not answer as documented");
        return 1;
    }
    if (!ChainWorks()) {
        std::puts("consumer: FIMessageChain did not answer as documented");
        return 1;
    }
    if (!DerivedAdapterWorks()) {
        std::puts("consumer: a derived SAXContentHandlerImpl did not read the document");
        return 1;
    }
    std::puts("consumer: ok");
    return 0;
}
