#include "platform/SAXEventTranslator.h"

#include "platform/ExpatName.h"
#include "platform/ExpatPosition.h"
#include "platform/IconvEncoding.h"
#include "text/ByteText.h"
#include "text/Narrow.h"
#include "text/Utf8.h"

#include <QorUtils/platform/SAXXMLReader.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string_view>

namespace MSXML2 {
namespace detail {
namespace {

using qorutils::text::kNarrowLimit;

// Expat's allocations go through these, which count the ones refused: expat reports some
// refusals as faults of the document (an unbound prefix), and a parse that fails after one
// failed for want of memory. The count is the process's: a parse that fails while memory runs
// out for another thread's fails as out of memory too. (A count per thread would have the C
// library allocate a block for each thread of a host that loads the library at run time, which
// leak checkers report at exit.)
std::atomic<unsigned long> g_refusedAllocations{0};

void CountRefusal() {
    g_refusedAllocations.fetch_add(1, std::memory_order_relaxed);
}

void* XMLCALL ExpatMalloc(size_t size) {
    void* block = std::malloc(size);
    if (block == nullptr) {
        CountRefusal();
    }
    return block;
}

void* XMLCALL ExpatRealloc(void* block, size_t size) {
    void* moved = std::realloc(block, size);
    if (moved == nullptr && size != 0) {
        CountRefusal();
    }
    return moved;
}

void XMLCALL ExpatFree(void* block) {
    std::free(block);
}

const XML_Memory_Handling_Suite kExpatMemory = {ExpatMalloc, ExpatRealloc, ExpatFree};

// The encoding that the XML declaration at the start of `text` names (after a UTF-8 byte-order
// mark), or nothing.
std::string_view DeclaredEncoding(std::string_view text) {
    constexpr std::string_view kSpace = " \t\r\n";
    if (text.substr(0, 3) == "\xEF\xBB\xBF") {
        text.remove_prefix(3);
    }
    if (text.size() < 6 || text.substr(0, 5) != "<?xml" || kSpace.find(text[5]) == kSpace.npos) {
        return {};
    }
    const size_t end = text.find("?>");
    if (end == text.npos) {
        return {};
    }
    text = text.substr(6, end - 6);
    const size_t name = text.find("encoding");
    if (name == text.npos) {
        return {};
    }
    text.remove_prefix(name + 8);
    const auto skipSpace = [&] {
        text.remove_prefix(std::min(text.find_first_not_of(kSpace), text.size()));
    };
    skipSpace();
    if (text.empty() || text[0] != '=') {
        return {};
    }
    text.remove_prefix(1);
    skipSpace();
    if (text.empty() || (text[0] != '"' && text[0] != '\'')) {
        return {};
    }
    const size_t close = text.find(text[0], 1);
    return close == text.npos ? std::string_view{} : text.substr(1, close - 1);
}

} // namespace

SAXEventTranslator::SAXEventTranslator(ISAXContentHandler* content, ISAXErrorHandler* errors)
    : m_pContent(content), m_pErrors(errors),
      m_pNarrow(QueryShortcut<ISAXNarrowContentHandler>(content, IID_ISAXNarrowContentHandler)),
      m_piece(m_pNarrow != nullptr) {
    if (m_pContent != nullptr) {
        m_pContent->AddRef();
    }
    if (m_pErrors != nullptr) {
        m_pErrors->AddRef();
    }
}

SAXEventTranslator::~SAXEventTranslator() {
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
    if (m_pNarrow != nullptr) {
        m_pNarrow->Release();
    }
    if (m_pContent != nullptr) {
        m_pContent->Release();
    }
}

bool SAXEventTranslator::begin(const char* systemId) {
    m_pLocator = SAXLocatorImpl::Create(systemId != nullptr ? systemId : "");
    if (m_pLocator == nullptr) {
        m_result = SAXREADER_E_MEMORY;
        return false;
    }
    if (m_pContent != nullptr) {
        guard([&] { check(m_pContent->putDocumentLocator(m_pLocator)); });
    }
    return !m_bStopped;
}

bool SAXEventTranslator::createParser() {
    m_refusedBefore = g_refusedAllocations.load(std::memory_order_relaxed);
    const XML_Char separator[] = {kNamespaceSeparator, '\0'};
    m_parser = XML_ParserCreate_MM(nullptr, &kExpatMemory, separator);
    if (m_parser == nullptr) {
        return false;
    }
    XML_SetUserData(m_parser, this);
    XML_SetReturnNSTriplet(m_parser, XML_TRUE);
    // Expat fetches nothing by itself and no external entity handler is set: an external DTD
    // or parameter entity is never read, and a reference to an external general entity goes
    // to the default handler, which reports it skipped. Parameter entities of the internal
    // subset are expanded, so their declarations, and those after them, hold.
    XML_SetParamEntityParsing(m_parser, XML_PARAM_ENTITY_PARSING_UNLESS_STANDALONE);
    XML_SetUnknownEncodingHandler(m_parser, unknownEncodingThunk, this);
    XML_SetXmlDeclHandler(m_parser, xmlDeclThunk);
    XML_SetEntityDeclHandler(m_parser, entityDeclThunk);
    return true;
}

bool SAXEventTranslator::startDocument() {
    // Without a content handler, the elements are only looked at once a long namespace URI or
    // an attribute default is declared, for the limit on what they carry.
    XML_SetStartNamespaceDeclHandler(m_parser, startNamespaceThunk);
    XML_SetAttlistDeclHandler(m_parser, attlistDeclThunk);
    if (m_pContent != nullptr) {
        XML_SetElementHandler(m_parser, startElementThunk, endElementThunk);
        XML_SetCharacterDataHandler(m_parser, charactersThunk);
        XML_SetProcessingInstructionHandler(m_parser, processingInstructionThunk);
        XML_SetEndNamespaceDeclHandler(m_parser, endNamespaceThunk);
        XML_SetSkippedEntityHandler(m_parser, skippedEntityThunk);
        XML_SetDefaultHandlerExpand(m_parser, defaultThunk);
        guard([&] { check(m_pContent->startDocument()); });
    }
    m_pLocator->follow(m_parser);
    return !m_bStopped;
}

long SAXEventTranslator::finishDocument() {
    flushText();
    if (m_pContent != nullptr) {
        guard([&] { check(m_pContent->endDocument()); });
    }
    return m_result;
}

// Expat takes a byte-order mark at the start (UTF-8 or either UTF-16) for a character of the
// first line; the locator leaves it out. A document declared in UTF-8 under a label that expat
// does not know is read as UTF-8, as expat reads its own label: told so before the first byte.
void SAXEventTranslator::noteStart(const char* data, size_t size) {
    if (NamesUtf8(DeclaredEncoding(std::string_view(data, size)))) {
        XML_SetEncoding(m_parser, "UTF-8");
    }
    const auto* bytes = reinterpret_cast<const unsigned char*>(data);
    const bool utf8 = size >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF;
    const bool utf16 = size >= 2 && ((bytes[0] == 0xFE && bytes[1] == 0xFF) ||
                                     (bytes[0] == 0xFF && bytes[1] == 0xFE));
    if (utf8 || utf16) {
        m_pLocator->skipFirstColumn();
    }
    // UTF-16 with its mark, or without one, as expat tells it from a first '<'.
    const bool unmarkedUtf16 =
        size >= 2 && ((bytes[0] == '<' && bytes[1] == 0) || (bytes[0] == 0 && bytes[1] == '<'));
    m_leastCharacterBytes = utf16 || unmarkedUtf16 ? 2 : 1;
}

long SAXEventTranslator::parseFailed() {
    if (m_bStopped) {
        return m_result;
    }
    const bool memoryRanOut =
        g_refusedAllocations.load(std::memory_order_relaxed) != m_refusedBefore;
    XML_Error error = memoryRanOut ? XML_ERROR_NO_MEMORY : XML_GetErrorCode(m_parser);
    // The label UTF8 reaches expat's question for an unknown encoding only from a document
    // whose first bytes are no UTF-8 declaration (UTF-16): it fails as one labelled UTF-8 does.
    if (error == XML_ERROR_UNKNOWN_ENCODING && NamesUtf8(m_encoding)) {
        error = XML_ERROR_INCORRECT_ENCODING;
    }
    std::string message = XML_ErrorString(error) != nullptr ? XML_ErrorString(error) : "error";
    if (error == XML_ERROR_UNKNOWN_ENCODING && !m_encoding.empty()) {
        message += " \"" + m_encoding + "\"";
    }
    return fail(SAXREADER_E_SYNTAX + static_cast<long>(error), message);
}

long SAXEventTranslator::fail(long code, const std::string& message) {
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
        description[qorutils::text::Utf16FromBytes(text.data(), text.size(), description.data())] =
            0;
        m_pErrors->fatalError(m_pLocator, description.data(), code);
    }
    return code;
}

void SAXEventTranslator::abort(long code) {
    if (m_bStopped) {
        return;
    }
    m_bStopped = true;
    m_result = code;
    if (m_parser != nullptr) {
        XML_StopParser(m_parser, XML_FALSE);
    }
}

// Memory ran out: reported as the reader's own fatal error. A report that throws in its turn
// (the error handler failing, memory still short) is dropped, as no exception may unwind
// through expat; the parse stops with the same code all the same.
void SAXEventTranslator::outOfMemory() {
    try {
        fail(SAXREADER_E_MEMORY, XML_ErrorString(XML_ERROR_NO_MEMORY));
    } catch (...) {
        if (!m_bStopped) {
            m_bStopped = true;
            m_result = SAXREADER_E_MEMORY;
        }
    }
    if (m_parser != nullptr) {
        XML_StopParser(m_parser, XML_FALSE);
    }
}

// Hands the gathered text to the handler. The locator stands where the text ends: at the
// event that follows it, or `ahead` characters into the current event for a piece cut inside
// it (expat's position is worked out only when a handler asks).
void SAXEventTranslator::flushText(const int* ahead) {
    long result = S_OK;
    if (!m_piece.empty() && !m_bStopped) {
        if (ahead != nullptr) {
            m_pLocator->follow(m_parser, *ahead);
        }
        result = deliverText();
        if (ahead != nullptr) {
            m_pLocator->follow(m_parser);
        }
    }
    m_piece.clear();
    check(result);
}

// The piece is emptied before the call (its text stays in place until more is gathered): a
// handler that throws, memory running out, is not handed the same text again with the error.
long SAXEventTranslator::deliverText() {
    int length = 0;
    if (m_pNarrow != nullptr) {
        char* text = m_piece.narrow(length);
        m_piece.clear();
        return m_pNarrow->charactersNarrow(text, length);
    }
    unsigned short* text = m_piece.wide(length);
    m_piece.clear();
    return m_pContent->characters(text, length);
}

void SAXEventTranslator::onStartElement(const char* name, const char** attributes) {
    if (m_pContent == nullptr) {
        withinCarriedLimit(name, attributes);
        return;
    }
    ++m_depth;
    flushText();
    if (m_bStopped || !withinCarriedLimit(name, attributes)) {
        return;
    }
    m_attributes.assign(attributes);
    if (m_pNarrow != nullptr) {
        char local[kNarrowLimit + 1];
        const int length = NarrowExpatLocalName(local, name, kNarrowLimit);
        check(m_pNarrow->startElementNarrow(local, length, &m_attributes));
        return;
    }
    OpenElement element;
    element.start = m_elementNames.size();
    if (!AppendExpatName(m_elementNames, name, element)) {
        outOfMemory();
        return;
    }
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
    m_openElements.push_back(element);
    if (element.uriLength != 0) {
        dropUri(m_openElements.back());
    }
    const auto at = [&](size_t offset) { return copy + (offset - element.start); };
    check(m_pContent->startElement(at(element.uri), static_cast<int>(element.uriLength),
                                   at(element.local), static_cast<int>(element.localLength),
                                   at(element.qName), static_cast<int>(element.qNameLength),
                                   &m_attributes));
}

// The URI comes first among an element's names; it is cut from the stack, and the names after
// it move back.
void SAXEventTranslator::dropUri(OpenElement& element) {
    const size_t cut = element.uriLength + 1;
    unsigned short* names = m_elementNames.data() + element.start;
    const size_t kept = m_elementNames.size() - element.start - cut;
    std::memmove(names, names + cut, kept * sizeof(unsigned short));
    m_elementNames.truncate(element.start + kept);
    element.local -= cut;
    element.qName -= cut;
}

// Expat gives the element's name again, whose URI is widened again.
void SAXEventTranslator::onEndElement(const char* name) {
    if (m_pContent == nullptr) {
        return;
    }
    --m_depth;
    flushText();
    if (m_bStopped) {
        return;
    }
    if (m_pNarrow != nullptr) {
        check(m_pNarrow->endElementNarrow());
        return;
    }
    if (m_openElements.empty()) {
        return;
    }
    const OpenElement element = m_openElements.back();
    m_openElements.pop_back();
    m_names.clear();
    const long uriAt = element.uriLength != 0 ? m_names.appendUtf8(name, kNamespaceSeparator) : 0;
    if (uriAt < 0) {
        outOfMemory();
        return;
    }
    unsigned short* text = m_elementNames.data();
    unsigned short* uri = element.uriLength != 0 ? m_names.data() + uriAt : text + element.uri;
    const long result =
        m_pContent->endElement(uri, static_cast<int>(element.uriLength), text + element.local,
                               static_cast<int>(element.localLength), text + element.qName,
                               static_cast<int>(element.qNameLength));
    m_elementNames.truncate(element.start);
    check(result);
}

bool SAXEventTranslator::countCarried(const char* name, const char** attributes) {
    if (m_limits.carry(m_parser, name, attributes)) {
        return true;
    }
    refuseAmplification();
    return false;
}

// Once the limits count what elements carry, elements are looked at without a content handler
// too.
void SAXEventTranslator::watchElements() {
    if (m_limits.counting() && m_pContent == nullptr) {
        XML_SetStartElementHandler(m_parser, startElementThunk);
    }
}

void SAXEventTranslator::refuseAmplification() {
    fail(SAXREADER_E_SYNTAX + XML_ERROR_AMPLIFICATION_LIMIT_BREACH,
         XML_ErrorString(XML_ERROR_AMPLIFICATION_LIMIT_BREACH));
    XML_StopParser(m_parser, XML_FALSE);
}

// An event that does not fit the piece whole: the piece is handed over each time it fills.
// Expat reports line breaks on their own, so a cut lies on the event's line, as many
// characters on as were taken from the event; they are counted piece by piece. The document's
// text takes at least a byte a character (two in UTF-16), so the cut lies no further on than
// that many characters of the event's bytes: an entity's replacement text, which expat places
// at the reference, ends at most at the reference's end.
void SAXEventTranslator::onCharacters(const char* text, int length) {
    const char* next = text;
    const char* end = text + length;
    const char* readable = readableEnd(text);
    const char* counted = text;
    const uint64_t covered = ExpatByteCount(m_parser) / m_leastCharacterBytes;
    int ahead = 0;
    while (next < end && !m_bStopped) {
        m_piece.add(next, end, readable);
        if (next < end) {
            ahead += static_cast<int>(
                qorutils::text::CountUtf8Characters(counted, static_cast<size_t>(next - counted)));
            counted = next;
            int at = static_cast<int>(std::min(static_cast<uint64_t>(ahead), covered));
            flushText(&at);
        }
    }
}

// Expat's input buffer while it parses the current piece (none: nothing is inside it).
void SAXEventTranslator::findInput() {
    uint64_t size = 0;
    m_inputBegin = ExpatInputContext(m_parser, &size);
    m_inputEnd = m_inputBegin != nullptr ? m_inputBegin + size : nullptr;
    m_inputKnown = true;
}

// An instruction ends a text piece; a handler that takes narrowed text gets nothing more.
void SAXEventTranslator::onProcessingInstruction(const char* target, const char* data) {
    flushText();
    if (m_bStopped || m_pNarrow != nullptr) {
        return;
    }
    WidePair pair{};
    if (widenPair(target, data, pair)) {
        check(m_pContent->processingInstruction(pair.first, pair.firstLength, pair.second,
                                                pair.secondLength));
    }
}

bool SAXEventTranslator::widenPair(const char* first, const char* second, WidePair& out) {
    m_names.clear();
    const long firstAt = m_names.appendUtf8(first);
    const long secondAt = m_names.appendUtf8(second);
    if (firstAt < 0 || secondAt < 0) {
        outOfMemory();
        return false;
    }
    unsigned short* text = m_names.data();
    out = {text + firstAt, static_cast<int>(secondAt - firstAt - 1), text + secondAt,
           static_cast<int>(m_names.size() - static_cast<size_t>(secondAt) - 1)};
    return true;
}

// The default namespace has no prefix, and an undeclaring xmlns="" no URI: both are empty.
void SAXEventTranslator::onStartNamespace(const char* prefix, const char* uri) {
    m_limits.declareNamespace(uri);
    watchElements();
    if (m_pContent == nullptr) {
        return;
    }
    flushText();
    if (m_bStopped) {
        return;
    }
    const char* empty = "";
    WidePair pair{};
    if (widenPair(prefix != nullptr ? prefix : empty, uri != nullptr ? uri : empty, pair)) {
        check(m_pContent->startPrefixMapping(pair.first, pair.firstLength, pair.second,
                                             pair.secondLength));
    }
}

void SAXEventTranslator::onEndNamespace(const char* prefix) {
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
void SAXEventTranslator::onSkippedEntity(const char* name, int isParameterEntity) {
    if (isParameterEntity == 0) {
        skipEntity(name);
    }
}

void SAXEventTranslator::skipEntity(const char* name) {
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
void SAXEventTranslator::onDefault(const char* text, int length) {
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
            if (chunk.back() != ';') {
                beginLongReference();
            }
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
        if (m_referenceSplit) {
            m_referenceSplit = false;
            m_pLocator->pin(m_referenceAt);
            skipEntity(m_defaultText.c_str());
            m_pLocator->follow(m_parser);
        } else {
            skipEntity(m_defaultText.c_str());
        }
    }
}

void SAXEventTranslator::onEntityDecl(const char* name, bool parameter, const char* value,
                                      int length) {
    if (!m_limits.declareEntity(name, parameter, value, length)) {
        refuseAmplification();
    }
}

// Expat moves its position to each chunk of a reference it hands over in chunks: the text
// before it is handed over now, and the reference is reported where it begins.
void SAXEventTranslator::beginLongReference() {
    flushText();
    m_referenceAt = m_pLocator->position();
    m_referenceSplit = true;
}

int SAXEventTranslator::onUnknownEncoding(const char* name, XML_Encoding* info) {
    m_encoding = name != nullptr ? name : "";
    switch (FillIconvEncoding(name, info)) {
    case EncodingFill::Filled:
        return XML_STATUS_OK;
    case EncodingFill::OutOfMemory:
        outOfMemory();
        break;
    case EncodingFill::Unknown:
        break;
    }
    return XML_STATUS_ERROR;
}

// No exception may unwind through expat: memory running out stops the parse with a fatal
// error, and anything a handler throws stops it with E_FAIL. The callbacks made outside expat
// (the locator, the start and end of the document) are guarded alike.
template <typename Callback> void SAXEventTranslator::guard(Callback&& callback) {
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

void XMLCALL SAXEventTranslator::startElementThunk(void* self, const XML_Char* name,
                                                   const XML_Char** attributes) {
    auto* events = static_cast<SAXEventTranslator*>(self);
    events->guard([&] { events->onStartElement(name, attributes); });
}

void XMLCALL SAXEventTranslator::endElementThunk(void* self, const XML_Char* name) {
    auto* events = static_cast<SAXEventTranslator*>(self);
    events->guard([&] { events->onEndElement(name); });
}

// Most text events are gathered here, without a call.
void XMLCALL SAXEventTranslator::charactersThunk(void* self, const XML_Char* text, int length) {
    auto* events = static_cast<SAXEventTranslator*>(self);
    if (!events->m_piece.gather(text, static_cast<size_t>(length), events->readableEnd(text))) {
        events->charactersCut(text, length);
    }
}

// The events that cut the text piece.
void SAXEventTranslator::charactersCut(const char* text, int length) {
    guard([&] { onCharacters(text, length); });
}

void XMLCALL SAXEventTranslator::processingInstructionThunk(void* self, const XML_Char* target,
                                                            const XML_Char* data) {
    auto* events = static_cast<SAXEventTranslator*>(self);
    events->guard([&] { events->onProcessingInstruction(target, data); });
}

void XMLCALL SAXEventTranslator::startNamespaceThunk(void* self, const XML_Char* prefix,
                                                     const XML_Char* uri) {
    auto* events = static_cast<SAXEventTranslator*>(self);
    events->guard([&] { events->onStartNamespace(prefix, uri); });
}

void XMLCALL SAXEventTranslator::endNamespaceThunk(void* self, const XML_Char* prefix) {
    auto* events = static_cast<SAXEventTranslator*>(self);
    events->guard([&] { events->onEndNamespace(prefix); });
}

void XMLCALL SAXEventTranslator::skippedEntityThunk(void* self, const XML_Char* name,
                                                    int isParameterEntity) {
    auto* events = static_cast<SAXEventTranslator*>(self);
    events->guard([&] { events->onSkippedEntity(name, isParameterEntity); });
}

void XMLCALL SAXEventTranslator::defaultThunk(void* self, const XML_Char* text, int length) {
    auto* events = static_cast<SAXEventTranslator*>(self);
    events->guard([&] { events->onDefault(text, length); });
}

void XMLCALL SAXEventTranslator::entityDeclThunk(void* self, const XML_Char* name,
                                                 int isParameterEntity, const XML_Char* value,
                                                 int length, const XML_Char*, const XML_Char*,
                                                 const XML_Char*, const XML_Char*) {
    auto* events = static_cast<SAXEventTranslator*>(self);
    events->guard([&] { events->onEntityDecl(name, isParameterEntity != 0, value, length); });
}

// Expat counts the characters of a line with the encoding in force when it first works a
// position out: a byte-order mark before a declaration of another encoding would count as
// three characters of that one. Working the position out here, before the encoding changes,
// counts the mark as one character, which the locator leaves out.
void XMLCALL SAXEventTranslator::xmlDeclThunk(void* self, const XML_Char*, const XML_Char*, int) {
    ExpatLine(static_cast<SAXEventTranslator*>(self)->m_parser);
}

void XMLCALL SAXEventTranslator::attlistDeclThunk(void* self, const XML_Char*, const XML_Char*,
                                                  const XML_Char*, const XML_Char* value, int) {
    if (value != nullptr) {
        auto* events = static_cast<SAXEventTranslator*>(self);
        events->m_limits.declareDefault();
        events->watchElements();
    }
}

int XMLCALL SAXEventTranslator::unknownEncodingThunk(void* self, const XML_Char* name,
                                                     XML_Encoding* info) {
    auto* events = static_cast<SAXEventTranslator*>(self);
    int status = XML_STATUS_ERROR;
    events->guard([&] { status = events->onUnknownEncoding(name, info); });
    return status;
}

} // namespace detail
} // namespace MSXML2
