#include "platform/SAXParseSession.h"

#include "platform/ExpatName.h"
#include "platform/IconvEncoding.h"
#include "xml/HandlerTree.h"
#include "xml/XmlSupport.h"

#include <QorUtils/platform/SAXXMLReader.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <string_view>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace MSXML2 {
namespace detail {
namespace {

// A stream goes to expat in pieces of this size. Expat scans each non-final piece a second
// time to keep its line and column, whatever the piece size (measured from 16 KiB to 4 MiB);
// this one keeps the piece in the cache and memory small.
constexpr size_t kPieceSize = size_t{256} << 10;
// The rest of a regular file is read whole, and parsed as the final piece without that second
// scan, once it is at most this long: a file this small is parsed as a document in memory is.
constexpr size_t kLastPiece = size_t{8} << 20;
// The largest piece: expat counts buffer sizes in int and doubles them.
constexpr size_t kLargestPiece = size_t{1} << 30;

// Closes a file descriptor when it goes out of scope.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    ~FileDescriptor() {
        if (m_fd >= 0) {
            close(m_fd);
        }
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

// Reads until the buffer is full or the input ends (a pipe gives less per read); -1 on error.
long readFully(int fd, char* buffer, size_t size) {
    size_t filled = 0;
    while (filled < size) {
        const ssize_t got = read(fd, buffer + filled, size - filled);
        if (got == 0) {
            break;
        }
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return -1;
        }
        filled += static_cast<size_t>(got);
    }
    return static_cast<long>(filled);
}

// strerror_r (GNU form), as readings on other threads may fail at the same time.
std::string fileMessage(const char* what, const char* path, int error) {
    char buffer[128];
    return std::string(what) + " '" + path + "': " + strerror_r(error, buffer, sizeof buffer);
}

} // namespace

SAXParseSession::SAXParseSession(ISAXContentHandler* content, ISAXErrorHandler* errors,
                                 SAXParseSession*& owner)
    : m_pContent(content), m_pErrors(errors), m_ppOwner(&owner),
      m_bTreeRoute(content != nullptr && qorutils::HandlerTree::IsLibraryAdapter(*content)) {
    if (m_pContent != nullptr) {
        m_pContent->AddRef();
    }
    if (m_pErrors != nullptr) {
        m_pErrors->AddRef();
    }
    owner = this;
}

SAXParseSession::~SAXParseSession() {
    if (m_ppOwner != nullptr) {
        *m_ppOwner = nullptr;
    }
    if (m_pLocator != nullptr) {
        m_pLocator->detach();
        m_pLocator->Release();
    }
    if (m_parser != nullptr) {
        XML_ParserFree(m_parser);
    }
    if (m_pErrors != nullptr) {
        m_pErrors->Release();
    }
    if (m_pContent != nullptr) {
        m_pContent->Release();
    }
}

long SAXParseSession::parseFile(const char* path) {
    if (!begin(path)) {
        return m_result;
    }
    if (path == nullptr) {
        return fail(E_INVALIDARG, "no file name given");
    }
    const FileDescriptor file(open(path, O_RDONLY | O_CLOEXEC));
    if (file.get() < 0) {
        return fail(SAXREADER_E_OPEN, fileMessage("cannot open file", path, errno));
    }
    struct stat status {};
    if (fstat(file.get(), &status) != 0) {
        return fail(SAXREADER_E_OPEN, fileMessage("cannot open file", path, errno));
    }
    if (S_ISDIR(status.st_mode)) {
        return fail(SAXREADER_E_OPEN, fileMessage("cannot open file", path, EISDIR));
    }
    if (!createParser()) {
        return fail(SAXREADER_E_MEMORY, XML_ErrorString(XML_ERROR_NO_MEMORY));
    }
    if (!startDocument()) {
        return m_result;
    }
    return parseInPieces(file.get(), path, S_ISREG(status.st_mode) ? status.st_size : -1);
}

void SAXParseSession::abandon() {
    m_ppOwner = nullptr;
    abort(E_ABORT);
}

// Every file is read, never mapped: another process may truncate or rewrite a file while it is
// read, and a mapped page past its new end would kill the process (SIGBUS). A file that ends
// early ends the document there. `size` is a regular file's size as it was opened (-1 for a
// stream); a file that grew since is read on to its end.
long SAXParseSession::parseInPieces(int fd, const char* path, long long size) {
    posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    unsigned long long fed = 0;
    for (;;) {
        const size_t piece = nextPieceSize(fed, size);
        void* buffer = XML_GetBuffer(m_parser, static_cast<int>(piece));
        if (buffer == nullptr) {
            return parseFailed();
        }
        const long got = readFully(fd, static_cast<char*>(buffer), piece);
        if (got < 0) {
            return fail(SAXREADER_E_READ, fileMessage("cannot read file", path, errno));
        }
        m_bytesRead += static_cast<uint64_t>(got);
        const bool final = static_cast<size_t>(got) < piece;
        if (fed == 0) {
            noteByteOrderMark(static_cast<const char*>(buffer), static_cast<size_t>(got));
        }
        forgetInput();
        if (XML_ParseBuffer(m_parser, static_cast<int>(got), final) != XML_STATUS_OK) {
            return parseFailed();
        }
        if (final) {
            return finishDocument();
        }
        fed += static_cast<unsigned long long>(got);
    }
}

long SAXParseSession::parseDescriptor(int fd, const char* systemId, uint64_t* bytesRead) {
    if (!begin(systemId)) {
        return m_result;
    }
    if (fd < 0) {
        return fail(E_INVALIDARG, "no file descriptor given");
    }
    if (!createParser()) {
        return fail(SAXREADER_E_MEMORY, XML_ErrorString(XML_ERROR_NO_MEMORY));
    }
    if (!startDocument()) {
        return m_result;
    }
    const long result = parseInPieces(fd, systemId != nullptr ? systemId : "", -1);
    if (bytesRead != nullptr) {
        *bytesRead = m_bytesRead;
    }
    return result;
}

long SAXParseSession::parseMemory(const char* data, size_t size) {
    if (!begin(nullptr)) {
        return m_result;
    }
    if (data == nullptr && size != 0) {
        return fail(E_INVALIDARG, "no data given");
    }
    if (!createParser()) {
        return fail(SAXREADER_E_MEMORY, XML_ErrorString(XML_ERROR_NO_MEMORY));
    }
    if (!startDocument()) {
        return m_result;
    }
    noteByteOrderMark(data, size);
    // The document goes to expat whole: only a final piece spares expat a second scan. One
    // beyond expat's largest piece goes in pieces, as a stream does.
    size_t offset = 0;
    size_t piece = size <= kLargestPiece ? size : kPieceSize;
    for (;;) {
        const size_t length = std::min(piece, size - offset);
        const bool final = offset + length == size;
        forgetInput();
        if (XML_Parse(m_parser, data + offset, static_cast<int>(length), final) != XML_STATUS_OK) {
            return parseFailed();
        }
        if (final) {
            return finishDocument();
        }
        offset += length;
        piece = nextPieceSize(offset, -1);
    }
}

// A token that does not end inside a piece (a long comment or start tag) stays unparsed in
// expat's buffer and is scanned again with the next piece; the next piece is made as long as
// what is left, so such a token costs a bounded number of scans, not one per piece. Expat
// holds what is left and the piece together, so a piece is at most half its largest buffer.
// The rest of a regular file of `size` bytes is asked for whole, and one byte more, which
// shows that the file ends there, when it fits in the last piece.
size_t SAXParseSession::nextPieceSize(unsigned long long fed, long long size) const {
    size_t piece = kPieceSize;
    const XML_Index parsed = XML_GetCurrentByteIndex(m_parser);
    if (parsed >= 0 && static_cast<unsigned long long>(parsed) < fed) {
        const unsigned long long left = fed - static_cast<unsigned long long>(parsed);
        piece = static_cast<size_t>(std::min<unsigned long long>(
            std::max<unsigned long long>(left, kPieceSize), kLargestPiece / 2));
    }
    if (size >= 0 && static_cast<unsigned long long>(size) >= fed &&
        static_cast<unsigned long long>(size) - fed < kLastPiece) {
        piece =
            std::max(piece, static_cast<size_t>(static_cast<unsigned long long>(size) - fed) + 1);
    }
    return piece;
}

// Expat takes a byte-order mark at the start (UTF-8 or either UTF-16) for a character of the
// first line; the locator leaves it out.
void SAXParseSession::noteByteOrderMark(const char* data, size_t size) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(data);
    const bool utf8 = size >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF;
    const bool utf16 = size >= 2 && ((bytes[0] == 0xFE && bytes[1] == 0xFF) ||
                                     (bytes[0] == 0xFF && bytes[1] == 0xFE));
    if (utf8 || utf16) {
        m_pLocator->skipFirstColumn();
    }
}

bool SAXParseSession::begin(const char* systemId) {
    m_pLocator = SAXLocatorImpl::Create(systemId != nullptr ? systemId : "");
    if (m_pLocator == nullptr) {
        m_result = SAXREADER_E_MEMORY;
        return false;
    }
    if (m_pContent != nullptr) {
        check(m_pContent->putDocumentLocator(m_pLocator));
    }
    return !m_bStopped;
}

bool SAXParseSession::createParser() {
    m_parser = XML_ParserCreateNS(nullptr, kNamespaceSeparator);
    if (m_parser == nullptr) {
        return false;
    }
    XML_SetUserData(m_parser, this);
    XML_SetReturnNSTriplet(m_parser, XML_TRUE);
    // Never read an external DTD or parameter entity; expat fetches nothing by itself, and
    // no external entity handler is set, so a reference to an external general entity goes
    // to the default handler, which reports it skipped.
    XML_SetParamEntityParsing(m_parser, XML_PARAM_ENTITY_PARSING_NEVER);
    XML_SetUnknownEncodingHandler(m_parser, unknownEncodingThunk, this);
    return true;
}

bool SAXParseSession::startDocument() {
    if (m_pContent != nullptr) {
        XML_SetElementHandler(m_parser, startElementThunk, endElementThunk);
        XML_SetCharacterDataHandler(m_parser, charactersThunk);
        XML_SetProcessingInstructionHandler(m_parser, processingInstructionThunk);
        XML_SetNamespaceDeclHandler(m_parser, startNamespaceThunk, endNamespaceThunk);
        XML_SetSkippedEntityHandler(m_parser, skippedEntityThunk);
        XML_SetDefaultHandlerExpand(m_parser, defaultThunk);
        check(m_pContent->startDocument());
    }
    m_pLocator->follow(m_parser);
    return !m_bStopped;
}

long SAXParseSession::finishDocument() {
    flushText();
    if (m_pContent != nullptr && !m_bStopped) {
        check(m_pContent->endDocument());
    }
    return m_result;
}

long SAXParseSession::parseFailed() {
    if (m_bStopped) {
        return m_result;
    }
    const XML_Error error = XML_GetErrorCode(m_parser);
    std::string message = XML_ErrorString(error) != nullptr ? XML_ErrorString(error) : "error";
    if (error == XML_ERROR_UNKNOWN_ENCODING && !m_encoding.empty()) {
        message += " \"" + m_encoding + "\"";
    }
    return fail(SAXREADER_E_SYNTAX + static_cast<long>(error), message);
}

// Reports a fatal error at the current position, after any text that came before it.
long SAXParseSession::fail(long code, const std::string& message) {
    flushText();
    if (m_bStopped) {
        return m_result;
    }
    m_bStopped = true;
    m_result = code;
    m_pLocator->pin(m_pLocator->position());
    if (m_pErrors != nullptr) {
        const std::string text = message + "\r\n";
        std::vector<unsigned short> description(text.size() + 1);
        const char* source = text.data();
        const size_t units =
            ConvertUtf8ToUtf16(source, source + text.size(), description.data(), text.size());
        description[units] = 0;
        m_pErrors->fatalError(m_pLocator, description.data(), code);
    }
    return code;
}

void SAXParseSession::abort(long code) {
    if (m_bStopped) {
        return;
    }
    m_bStopped = true;
    m_result = code;
    if (m_parser != nullptr) {
        XML_StopParser(m_parser, XML_FALSE);
    }
}

void SAXParseSession::outOfMemory() {
    fail(SAXREADER_E_MEMORY, XML_ErrorString(XML_ERROR_NO_MEMORY));
    XML_StopParser(m_parser, XML_FALSE);
}

// Hands the gathered text to the handler. The locator stands where the text ends: at the
// event that follows it, or `ahead` characters into the current event for a piece cut inside
// it (expat's position is worked out only when a handler asks).
void SAXParseSession::flushText(const int* ahead) {
    long result = S_OK;
    if (m_textLength != 0 && !m_bStopped) {
        if (ahead != nullptr) {
            m_pLocator->follow(m_parser, *ahead);
        }
        result = deliverText();
        if (ahead != nullptr) {
            m_pLocator->follow(m_parser);
        }
    }
    m_textLength = 0;
    m_narrowedLength = 0;
    check(result);
}

long SAXParseSession::deliverText() {
    if (m_bTreeRoute) {
        m_narrowed[m_narrowedLength] = '\0';
        qorutils::HandlerTree::Characters(*m_pContent, m_narrowed);
        return S_OK;
    }
    m_text[m_textLength] = 0;
    return m_pContent->characters(m_text, static_cast<int>(m_textLength));
}

// The element's names stay on a stack until its end, which reuses them.
void SAXParseSession::onStartElement(const char* name, const char** attributes) {
    ++m_depth;
    flushText();
    if (m_bStopped) {
        return;
    }
    if (m_bTreeRoute) {
        m_attributes.assign(attributes);
        qorutils::HandlerTree::StartElementUtf8(*m_pContent, name, kNamespaceSeparator,
                                                &m_attributes);
        return;
    }
    OpenElement element;
    element.start = m_elementNames.size();
    if (!AppendExpatName(m_elementNames, name, element)) {
        outOfMemory();
        return;
    }
    m_openElements.push_back(element);
    m_attributes.assign(attributes);
    // The handler may write in the names it is lent: it gets a copy, the end keeps the names.
    const size_t units = m_elementNames.size() - element.start;
    m_names.clear();
    unsigned short* copy = m_names.reserve(units);
    if (copy == nullptr) {
        outOfMemory();
        return;
    }
    std::memcpy(copy, m_elementNames.data() + element.start, units * sizeof(unsigned short));
    m_names.commit(units);
    const auto at = [&](size_t offset) { return copy + (offset - element.start); };
    check(m_pContent->startElement(at(element.uri), static_cast<int>(element.uriLength),
                                   at(element.local), static_cast<int>(element.localLength),
                                   at(element.qName), static_cast<int>(element.qNameLength),
                                   &m_attributes));
}

void SAXParseSession::onEndElement(const char*) {
    --m_depth;
    flushText();
    if (m_bStopped) {
        return;
    }
    if (m_bTreeRoute) {
        qorutils::HandlerTree::EndElement(*m_pContent);
        return;
    }
    if (m_openElements.empty()) {
        return;
    }
    const OpenElement element = m_openElements.back();
    m_openElements.pop_back();
    unsigned short* text = m_elementNames.data();
    const long result =
        m_pContent->endElement(text + element.uri, static_cast<int>(element.uriLength),
                               text + element.local, static_cast<int>(element.localLength),
                               text + element.qName, static_cast<int>(element.qNameLength));
    m_elementNames.truncate(element.start);
    check(result);
}

// Gathers text into pieces of at most kTextPiece units; a character that would not fit
// whole (a surrogate pair) starts the next piece.
// Most events fit in the piece: a byte never gives more than one unit. They are added here,
// before any set-up of the general way (onCharacters, which cuts the piece when it fills),
// which gets the event when this answers false.
bool SAXParseSession::addWholeEvent(const char* text, int length) {
    const auto size = static_cast<size_t>(length);
    if (kTextPiece - m_textLength < size || m_bStopped) {
        return false;
    }
    // Expat reports each line break, and each reference such as &amp;, as an event of its own.
    if (size == 1 && static_cast<unsigned char>(*text) < 0x80) {
        if (m_bTreeRoute) {
            m_narrowed[m_narrowedLength++] = *text;
        } else {
            m_text[m_textLength] = static_cast<unsigned char>(*text);
        }
        ++m_textLength;
        return true;
    }
    const char* readable = readableEnd(text);
    if (size > kWideningBlock || !addAsciiBlock(text, size, readable)) {
        const char* next = text;
        addText(next, text + size, readable);
    }
    return true;
}

// Adds a short event (the indentation between elements, a few words between references) as
// one whole block from expat's buffer, as it is or widened, when none of its bytes is beyond
// ASCII; false when it is not such an event.
bool SAXParseSession::addAsciiBlock(const char* text, size_t size, const char* readable) {
#if defined(__SSE2__)
    if (readable == nullptr || readable - text < std::ptrdiff_t{kWideningBlock} ||
        kTextPiece - m_textLength < kWideningBlock) {
        return false;
    }
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text));
    const auto high = static_cast<unsigned>(_mm_movemask_epi8(block));
    if ((high & ((1u << size) - 1u)) != 0) {
        return false;
    }
    if (m_bTreeRoute) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(m_narrowed + m_narrowedLength), block);
        m_narrowedLength += size;
    } else {
        const __m128i zero = _mm_setzero_si128();
        auto* to = reinterpret_cast<__m128i*>(m_text + m_textLength);
        _mm_storeu_si128(to, _mm_unpacklo_epi8(block, zero));
        _mm_storeu_si128(to + 1, _mm_unpackhi_epi8(block, zero));
    }
    m_textLength += size;
    return true;
#else
    (void)text;
    (void)size;
    (void)readable;
    return false;
#endif
}

void SAXParseSession::onCharacters(const char* text, int length) {
    const char* next = text;
    const char* end = text + length;
    const char* readable = readableEnd(text);
    // Expat reports line breaks on their own, so a cut lies on the event's line, as many
    // characters on as were taken from the event; they are counted piece by piece.
    const char* counted = text;
    int ahead = 0;
    while (next < end && !m_bStopped) {
        addText(next, end, readable);
        if (next < end) {
            ahead +=
                static_cast<int>(CountUtf8Characters(counted, static_cast<size_t>(next - counted)));
            counted = next;
            flushText(&ahead);
        }
    }
}

// Adds what the piece has room for, in the form that the content handler takes.
void SAXParseSession::addText(const char*& next, const char* end, const char* readable) {
    const size_t room = kTextPiece - m_textLength;
    if (m_bTreeRoute) {
        const qorutils::NarrowedRun run =
            qorutils::NarrowUtf8Run(m_narrowed + m_narrowedLength, next, end, room, readable);
        m_narrowedLength += run.bytes;
        m_textLength += run.units;
    } else {
        m_textLength += ConvertUtf8ToUtf16(next, end, m_text + m_textLength, room, readable);
    }
}

// How far the text may be read: to the end of expat's input buffer when the text lies in it
// (most text does; line breaks, references and text converted from another encoding are
// elsewhere), so that a short text is widened as one block; or not past its own end.
const char* SAXParseSession::readableEnd(const char* text) {
    if (!m_inputKnown) {
        int offset = 0;
        int size = 0;
        m_inputBegin = XML_GetInputContext(m_parser, &offset, &size);
        m_inputEnd = m_inputBegin != nullptr ? m_inputBegin + size : nullptr;
        m_inputKnown = true;
    }
    const auto at = reinterpret_cast<uintptr_t>(text);
    const bool inside = m_inputBegin != nullptr &&
                        at >= reinterpret_cast<uintptr_t>(m_inputBegin) &&
                        at < reinterpret_cast<uintptr_t>(m_inputEnd);
    return inside ? m_inputEnd : nullptr;
}

// The library's own adapter does nothing with an instruction, which only ends a text piece.
void SAXParseSession::onProcessingInstruction(const char* target, const char* data) {
    flushText();
    if (m_bStopped || m_bTreeRoute) {
        return;
    }
    m_names.clear();
    const long targetAt = m_names.appendUtf8(target);
    const long dataAt = m_names.appendUtf8(data);
    if (targetAt < 0 || dataAt < 0) {
        outOfMemory();
        return;
    }
    unsigned short* text = m_names.data();
    check(m_pContent->processingInstruction(
        text + targetAt, static_cast<int>(dataAt - targetAt - 1), text + dataAt,
        static_cast<int>(m_names.size() - static_cast<size_t>(dataAt) - 1)));
}

// The default namespace has no prefix, and an undeclaring xmlns="" no URI: both are empty.
void SAXParseSession::onStartNamespace(const char* prefix, const char* uri) {
    flushText();
    if (m_bStopped) {
        return;
    }
    m_names.clear();
    const char* empty = "";
    const long prefixAt = m_names.appendUtf8(prefix != nullptr ? prefix : empty);
    const long uriAt = m_names.appendUtf8(uri != nullptr ? uri : empty);
    if (prefixAt < 0 || uriAt < 0) {
        outOfMemory();
        return;
    }
    unsigned short* text = m_names.data();
    check(m_pContent->startPrefixMapping(
        text + prefixAt, static_cast<int>(uriAt - prefixAt - 1), text + uriAt,
        static_cast<int>(m_names.size() - static_cast<size_t>(uriAt) - 1)));
}

void SAXParseSession::onEndNamespace(const char* prefix) {
    flushText();
    if (m_bStopped) {
        return;
    }
    m_names.clear();
    const char* empty = "";
    const long prefixAt = m_names.appendUtf8(prefix != nullptr ? prefix : empty);
    if (prefixAt < 0) {
        outOfMemory();
        return;
    }
    check(m_pContent->endPrefixMapping(m_names.data() + prefixAt,
                                       static_cast<int>(m_names.size() - 1)));
}

// Only general entities are reported; a parameter entity that was not read concerns the
// DTD, not the content.
void SAXParseSession::onSkippedEntity(const char* name, int isParameterEntity) {
    if (isParameterEntity == 0) {
        skipEntity(name);
    }
}

void SAXParseSession::skipEntity(const char* name) {
    flushText();
    if (m_bStopped) {
        return;
    }
    m_names.clear();
    const long nameAt = m_names.appendUtf8(name);
    if (nameAt < 0) {
        outOfMemory();
        return;
    }
    check(m_pContent->skippedEntity(m_names.data() + nameAt, static_cast<int>(m_names.size() - 1)));
}

// What no other handler takes: in content, the markup of comments and CDATA sections, and
// references to external entities, which are reported skipped. A document not in UTF-8 comes
// in chunks of at most 1024 bytes here, so a long comment or name may take several calls;
// outside the content no reference can stand.
void SAXParseSession::onDefault(const char* text, int length) {
    if (m_depth == 0 || length == 0) {
        return;
    }
    const std::string_view chunk(text, static_cast<size_t>(length));
    switch (m_defaultToken) {
    case DefaultToken::None:
        if (chunk.substr(0, 4) == "<!--") {
            m_defaultToken = DefaultToken::Comment;
            m_defaultText.clear();
        } else if (chunk[0] == '&') {
            m_defaultToken = DefaultToken::Reference;
            m_defaultText.assign(chunk.substr(1));
            break;
        } else {
            return;
        }
        [[fallthrough]];
    case DefaultToken::Comment:
        // A comment holds no "--" before its end; keep what may begin the end.
        m_defaultText.append(chunk.substr(chunk.size() - std::min<size_t>(chunk.size(), 3)));
        if (m_defaultText.size() >= 3 &&
            m_defaultText.compare(m_defaultText.size() - 3, 3, "-->") == 0) {
            m_defaultToken = DefaultToken::None;
        }
        m_defaultText.erase(0, m_defaultText.size() - std::min<size_t>(m_defaultText.size(), 2));
        return;
    case DefaultToken::Reference:
        m_defaultText.append(chunk);
        break;
    }
    if (!m_defaultText.empty() && m_defaultText.back() == ';') {
        m_defaultToken = DefaultToken::None;
        m_defaultText.pop_back();
        skipEntity(m_defaultText.c_str());
    }
}

int SAXParseSession::onUnknownEncoding(const char* name, XML_Encoding* info) {
    m_encoding = name != nullptr ? name : "";
    return FillIconvEncoding(name, info) ? XML_STATUS_OK : XML_STATUS_ERROR;
}

// No exception may unwind through expat: memory running out stops the parse with a fatal
// error, and anything a handler throws stops it with E_FAIL.
template <typename Callback> void SAXParseSession::guard(Callback&& callback) {
    if (m_bStopped) {
        return;
    }
    try {
        callback();
    } catch (const std::bad_alloc&) {
        outOfMemory();
    } catch (...) {
        abort(E_FAIL);
    }
}

void XMLCALL SAXParseSession::startElementThunk(void* self, const XML_Char* name,
                                                const XML_Char** attributes) {
    auto* session = static_cast<SAXParseSession*>(self);
    session->guard([&] { session->onStartElement(name, attributes); });
}

void XMLCALL SAXParseSession::endElementThunk(void* self, const XML_Char* name) {
    auto* session = static_cast<SAXParseSession*>(self);
    session->guard([&] { session->onEndElement(name); });
}

void XMLCALL SAXParseSession::charactersThunk(void* self, const XML_Char* text, int length) {
    auto* session = static_cast<SAXParseSession*>(self);
    if (session->addWholeEvent(text, length)) {
        return;
    }
    session->guard([&] { session->onCharacters(text, length); });
}

void XMLCALL SAXParseSession::processingInstructionThunk(void* self, const XML_Char* target,
                                                         const XML_Char* data) {
    auto* session = static_cast<SAXParseSession*>(self);
    session->guard([&] { session->onProcessingInstruction(target, data); });
}

void XMLCALL SAXParseSession::startNamespaceThunk(void* self, const XML_Char* prefix,
                                                  const XML_Char* uri) {
    auto* session = static_cast<SAXParseSession*>(self);
    session->guard([&] { session->onStartNamespace(prefix, uri); });
}

void XMLCALL SAXParseSession::endNamespaceThunk(void* self, const XML_Char* prefix) {
    auto* session = static_cast<SAXParseSession*>(self);
    session->guard([&] { session->onEndNamespace(prefix); });
}

void XMLCALL SAXParseSession::skippedEntityThunk(void* self, const XML_Char* name,
                                                 int isParameterEntity) {
    auto* session = static_cast<SAXParseSession*>(self);
    session->guard([&] { session->onSkippedEntity(name, isParameterEntity); });
}

void XMLCALL SAXParseSession::defaultThunk(void* self, const XML_Char* text, int length) {
    auto* session = static_cast<SAXParseSession*>(self);
    session->guard([&] { session->onDefault(text, length); });
}

int XMLCALL SAXParseSession::unknownEncodingThunk(void* self, const XML_Char* name,
                                                  XML_Encoding* info) {
    auto* session = static_cast<SAXParseSession*>(self);
    int status = XML_STATUS_ERROR;
    session->guard([&] { status = session->onUnknownEncoding(name, info); });
    return status;
}

} // namespace detail
} // namespace MSXML2
