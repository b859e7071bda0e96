// The whole XML road against expat alone: SAXXMLReader::parse, SAXContentHandlerImpl, a
// TopHandler and handlers that accept every element (adding a child for it, as handlers do),
// fetch its attributes with GetAttributeValue and receive its text, against expat with empty
// callbacks given the same bytes in memory as one piece. Two generated documents of 64 MiB: a
// model (nested elements with short attributes) and a text (long runs, few attributes). Before
// timing, the program checks that the road and expat see the same elements, values and text.
#include <QorUtils/platform/SAXXMLReader.h>
#include <QorUtils/xml/SAXContentHandlerImpl.h>
#include <QorUtils/xml/SAXErrorHandlerImpl.h>
#include <QorUtils/xml/TopHandler.h>

#include "support/BenchTable.h"

#include <benchmark/benchmark.h>
#include <expat.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

using qorbench::Goal;

// The size of each document; QORBENCH_XML_MIB sets another, for profiling.
size_t g_documentSize = size_t{64} << 20;

// A small deterministic generator (splitmix64), the same on every platform.
class Random {
public:
    explicit Random(uint64_t seed) : m_state(seed) {}
    uint64_t Next() {
        uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // A number from `low` to `high`, both included.
    int Between(int low, int high) {
        return low + static_cast<int>(Next() % static_cast<uint64_t>(high - low + 1));
    }
    template <size_t N> const char* Pick(const char* const (&choices)[N]) {
        return choices[Next() % N];
    }

private:
    uint64_t m_state;
};

// An element kind of the model and the attributes that every element of it carries, in the
// order it writes them (one to five; some with a namespace prefix).
struct Kind {
    const char* name;
    const char* attributes[6];
};

constexpr Kind kKinds[] = {
    {"unit", {"id", "type", "name", "state", "q:rev"}},
    {"q:port", {"id", "dir", "stream", "q:order"}},
    {"param", {"key", "value", "q:unit"}},
    {"stream", {"id", "from", "to", "phase", "flow"}},
    {"q:limit", {"key", "value"}},
    {"note", {"lang"}},
};

// Short attribute values: words, numbers, references, a few with entities or non-ASCII.
constexpr const char* kValues[] = {
    "pump",
    "in",
    "out",
    "vapour",
    "1.25e3",
    "0.5",
    "-17",
    "u1024",
    "Feed pump",
    "S&amp;T",
    "&lt;0.5",
    "35 \xC2\xB0"
    "C",
    "caf\xC3\xA9",
    "true",
    "2024-05-01",
    "R&amp;D 7",
    "kg/s",
    "\xC2\xB5m",
    "open",
    "Both",
};

constexpr const char* kWords[] = {
    "the",    "flow",   "of",      "feed",        "pump",         "&amp;",        "cooling",
    "loop",   "is",     "checked", "caf\xC3\xA9", "na\xC3\xAFve", "&lt;",         "pressure",
    "drop",   "across", "valve",   "3.5",         "bar",          "\xE2\x80\x94", "stage",
    "reflux", "ratio",  "column",  "tray",        "se\xC3\xB1or", "heat",         "duty",
};

void AppendText(std::string& document, Random& random, int words) {
    for (int i = 0; i < words; ++i) {
        if (i != 0) {
            document += ' ';
        }
        document += random.Pick(kWords);
    }
}

void Indent(std::string& document, int level) {
    document += '\n';
    document.append(static_cast<size_t>(2 * level), ' ');
}

// One element of the model at `level` with its subtree, which reaches down to `depth`.
void AppendModelElement(std::string& document, Random& random, int level, int depth) {
    const Kind& kind = kKinds[random.Next() % (sizeof kKinds / sizeof kKinds[0])];
    Indent(document, level);
    document += '<';
    document += kind.name;
    for (const char* const* attribute = kind.attributes; *attribute != nullptr; ++attribute) {
        document += ' ';
        document += *attribute;
        document += "=\"";
        document += random.Pick(kValues);
        document += '"';
    }
    if (level >= depth) {
        if (random.Between(0, 2) == 0) {
            document += "/>";
            return;
        }
        document += '>';
        AppendText(document, random, random.Between(1, 8));
    } else {
        document += '>';
        const int children = level + 1 == depth ? random.Between(1, 4) : random.Between(1, 2);
        for (int i = 0; i < children; ++i) {
            AppendModelElement(document, random, level + 1, depth);
        }
        Indent(document, level);
    }
    document += "</";
    document += kind.name;
    document += '>';
}

// Nesting 3 to 8 deep under the root, 1 to 5 short attributes per element, a namespace prefix
// on some elements and attributes, entities and non-ASCII in values and text.
std::string MakeModel() {
    Random random(1);
    std::string document = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                           "<q:model xmlns:q=\"urn:qor:model\" name=\"bench\">";
    while (document.size() < g_documentSize) {
        AppendModelElement(document, random, 1, random.Between(3, 8));
    }
    return document + "\n</q:model>\n";
}

// Sections of paragraphs, each a long run of text in lines of about 80 characters, with one
// attribute per element.
std::string MakeText() {
    Random random(2);
    std::string document = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                           "<t:doc xmlns:t=\"urn:qor:text\">";
    for (int section = 1; document.size() < g_documentSize; ++section) {
        document += "\n<t:section id=\"s" + std::to_string(section) + "\">";
        const int paragraphs = random.Between(3, 12);
        for (int i = 0; i < paragraphs; ++i) {
            document += "\n<para id=\"p" + std::to_string(i) + "\">";
            const int lines = random.Between(2, 80);
            for (int line = 0; line < lines; ++line) {
                AppendText(document, random, random.Between(10, 14));
                document += '\n';
            }
            document += "</para>";
        }
        document += "\n</t:section>";
    }
    return document + "\n</t:doc>\n";
}

std::string g_model;
std::string g_text;

const std::string& DocumentOf(int index) {
    return index == 0 ? g_model : g_text;
}

// What a parse saw: elements, attribute values and text, counted in characters.
struct Tally {
    long elements = 0;
    long attributes = 0;
    long valueCharacters = 0;
    long textCharacters = 0;
    unsigned long textPieces = 0;
    // Counting characters is left out of the timed runs: it is the check's cost, not the
    // road's.
    bool counting = false;
    bool operator==(const Tally& other) const {
        return elements == other.elements && attributes == other.attributes &&
               valueCharacters == other.valueCharacters && textCharacters == other.textCharacters;
    }
};

// Accepts every element: adds the child that will be offered the elements nested in it, asks
// for the attributes that the element's kind carries, and takes its text.
class RoadHandler final : public ElementHandler {
public:
    explicit RoadHandler(Tally& tally) : m_tally(tally) {}

    bool HandleElement(char* name, MSXML2::ISAXAttributes* attributes,
                       MSXML2::ISAXLocator* locator) override {
        AddHandler(new RoadHandler(m_tally));
        ++m_tally.elements;
        ResetAttributes(attributes);
        FIAttribute value;
        for (const char* const* attribute = AttributesOf(name); *attribute != nullptr;
             ++attribute) {
            GetAttributeValue(*attribute, attributes, value);
            if (!value.isNull()) {
                ++m_tally.attributes;
                if (m_tally.counting) {
                    m_tally.valueCharacters += value.length();
                }
            }
        }
        ExtraAttributes(name, locator);
        return true;
    }

    void HandleText(char* text, MSXML2::ISAXLocator*) override {
        ++m_tally.textPieces;
        if (m_tally.counting) {
            m_tally.textCharacters += static_cast<long>(std::strlen(text));
        }
    }

private:
    // The attribute names that the handler of an element expects (local names, as it asks for
    // them), null-terminated.
    static const char* const* AttributesOf(const char* element) {
        struct Expected {
            const char* element;
            const char* attributes[6];
        };
        static const Expected kExpected[] = {
            {"unit", {"id", "type", "name", "state", "rev"}},
            {"port", {"id", "dir", "stream", "order"}},
            {"param", {"key", "value", "unit"}},
            {"stream", {"id", "from", "to", "phase", "flow"}},
            {"limit", {"key", "value"}},
            {"note", {"lang"}},
            {"model", {"name"}},
            {"section", {"id"}},
            {"para", {"id"}},
        };
        for (const Expected& expected : kExpected) {
            if (std::strcmp(element, expected.element) == 0) {
                return expected.attributes;
            }
        }
        static const char* const kNone[1] = {};
        return kNone;
    }

    Tally& m_tally;
};

__attribute__((noinline)) Tally ParseRoad(const std::string& document, bool counting) {
    Tally tally;
    tally.counting = counting;
    auto* content = new SAXContentHandlerImpl(new TopHandler(new RoadHandler(tally)));
    auto* errors = new SAXErrorHandlerImpl();
    long result = E_FAIL;
    {
        MSXML2::SAXXMLReader reader;
        reader.putContentHandler(content);
        reader.putErrorHandler(errors);
        result = reader.parse(document.data(), document.size());
    }
    content->Release();
    errors->Release();
    return result == S_OK ? tally : Tally{};
}

void XMLCALL EmptyStart(void*, const XML_Char*, const XML_Char**) {}
void XMLCALL EmptyEnd(void*, const XML_Char*) {}
void XMLCALL EmptyText(void*, const XML_Char*, int) {}

__attribute__((noinline)) bool ParseRawExpat(const std::string& document) {
    XML_Parser parser = XML_ParserCreateNS(nullptr, '\x01');
    XML_SetElementHandler(parser, EmptyStart, EmptyEnd);
    XML_SetCharacterDataHandler(parser, EmptyText);
    const bool parsed = XML_Parse(parser, document.data(), static_cast<int>(document.size()),
                                  XML_TRUE) == XML_STATUS_OK;
    XML_ParserFree(parser);
    return parsed;
}

long CountCharacters(const char* text, size_t length) {
    long count = 0;
    for (size_t i = 0; i < length; ++i) {
        count += (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80;
    }
    return count;
}

// The same tally from expat's own callbacks, for the check: every element, every attribute
// (all of them are asked for), and characters of values and text.
void XMLCALL TallyStart(void* data, const XML_Char*, const XML_Char** attributes) {
    auto* tally = static_cast<Tally*>(data);
    ++tally->elements;
    for (int i = 0; attributes[i] != nullptr; i += 2) {
        ++tally->attributes;
        tally->valueCharacters +=
            CountCharacters(attributes[i + 1], std::strlen(attributes[i + 1]));
    }
}

void XMLCALL TallyText(void* data, const XML_Char* text, int length) {
    static_cast<Tally*>(data)->textCharacters += CountCharacters(text, static_cast<size_t>(length));
}

Tally TallyWithExpat(const std::string& document) {
    Tally tally;
    XML_Parser parser = XML_ParserCreateNS(nullptr, '\x01');
    XML_SetUserData(parser, &tally);
    XML_SetElementHandler(parser, TallyStart, EmptyEnd);
    XML_SetCharacterDataHandler(parser, TallyText);
    const bool parsed = XML_Parse(parser, document.data(), static_cast<int>(document.size()),
                                  XML_TRUE) == XML_STATUS_OK;
    XML_ParserFree(parser);
    return parsed ? tally : Tally{};
}

void BM_RawExpat(benchmark::State& state) {
    const std::string& document = DocumentOf(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        benchmark::DoNotOptimize(ParseRawExpat(document));
    }
}
BENCHMARK(BM_RawExpat)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_Road(benchmark::State& state) {
    const std::string& document = DocumentOf(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        benchmark::DoNotOptimize(ParseRoad(document, false));
    }
}
BENCHMARK(BM_Road)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

QORBENCH_TARGET({"XML road, 64 MiB model vs raw expat", "BM_Road/0", "BM_RawExpat/0",
                 Goal::AtMostTimesBaseline, 1.3});
QORBENCH_TARGET({"XML road, 64 MiB text vs raw expat", "BM_Road/1", "BM_RawExpat/1",
                 Goal::AtMostTimesBaseline, 1.3});

void CheckSame(const char* caseName, const std::string& document) {
    const Tally expat = TallyWithExpat(document);
    const Tally road = ParseRoad(document, true);
    const bool same = expat.elements > 0 && road == expat;
    qorbench::AddCheck(caseName, same ? "same" : "different", "same", same);
}

} // namespace

int main(int argc, char** argv) {
    if (const char* mib = std::getenv("QORBENCH_XML_MIB")) {
        g_documentSize = std::strtoul(mib, nullptr, 10) << 20;
    }
    g_model = MakeModel();
    g_text = MakeText();
    // "--profile road|expat model|text [times]" parses and does nothing else, for a profiler.
    if ((argc == 4 || argc == 5) && std::strcmp(argv[1], "--profile") == 0) {
        const std::string& document = std::strcmp(argv[3], "text") == 0 ? g_text : g_model;
        const bool road = std::strcmp(argv[2], "road") == 0;
        bool parsed = true;
        for (long times = argc == 5 ? std::atol(argv[4]) : 1; times > 0; --times) {
            parsed = parsed &&
                     (road ? ParseRoad(document, false).elements > 0 : ParseRawExpat(document));
        }
        return parsed ? 0 : 1;
    }
    CheckSame("XML road and expat see the same (64 MiB model)", g_model);
    CheckSame("XML road and expat see the same (64 MiB text)", g_text);
    return qorbench::RunBenchmarks(argc, argv);
}
