// The whole XML road against expat alone: SAXXMLReader::parse, SAXContentHandlerImpl, a
// TopHandler and handlers that accept every element (adding a child for it, as handlers do)
// and receive its text, against expat with empty callbacks given the same bytes in memory as
// one piece. Two kinds of handler: one that fetches the attributes its element's kind carries
// by name with GetAttributeValue, and a generic one that reads every attribute by position
// (getLength, getLocalName, getValue, each narrowed), as qorxml does. Two generated documents
// of 64 MiB: a model (nested elements with short attributes) and a text (long runs, few
// attributes). Before timing, the program checks that the roads and expat see the same
// elements, names, values and text. Last, `qorxml --events` reads the model from a file against
// expat alone reading the same file the same way, both as programs of their own.
#include <QorUtils/platform/SAXXMLReader.h>
#include <QorUtils/xml/SAXContentHandlerImpl.h>
#include <QorUtils/xml/SAXErrorHandlerImpl.h>
#include <QorUtils/xml/TopHandler.h>

#include "support/BenchTable.h"
#include "support/ExpatBaseline.h"

#include <benchmark/benchmark.h>
#include <expat.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using qorbench::EmptyEnd;
using qorbench::EmptyStart;
using qorbench::EmptyText;
using qorbench::Goal;
using qorbench::ParseRawExpat;

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

// What a parse saw: elements, attributes, and their local names, values and text counted in
// characters.
struct Tally {
    long elements = 0;
    long attributes = 0;
    long nameCharacters = 0;
    long valueCharacters = 0;
    long textCharacters = 0;
    unsigned long textPieces = 0;
    // Counting characters is left out of the timed runs: it is the check's cost, not the
    // road's.
    bool counting = false;
    bool operator==(const Tally& other) const {
        return elements == other.elements && attributes == other.attributes &&
               nameCharacters == other.nameCharacters && valueCharacters == other.valueCharacters &&
               textCharacters == other.textCharacters;
    }
};

// Takes the text pieces of every element.
class TextCounter : public ElementHandler {
public:
    explicit TextCounter(Tally& tally) : m_tally(tally) {}

    void HandleText(char* text, MSXML2::ISAXLocator*) override {
        ++m_tally.textPieces;
        if (m_tally.counting) {
            m_tally.textCharacters += static_cast<long>(std::strlen(text));
        }
    }

protected:
    Tally& m_tally;
};

// Accepts every element: adds the child that will be offered the elements nested in it, asks
// for the attributes that the element's kind carries, and takes its text.
// With `tracing`, it also traces every element at a level that the log's threshold keeps out,
// as handlers that keep their debugging traces do.
class RoadHandler final : public TextCounter {
public:
    RoadHandler(Tally& tally, bool tracing) : TextCounter(tally), m_tracing(tracing) {}

    bool HandleElement(char* name, MSXML2::ISAXAttributes* attributes,
                       MSXML2::ISAXLocator* locator) override {
        AddHandler(new RoadHandler(m_tally, m_tracing));
        ++m_tally.elements;
        if (m_tracing) {
            TraceMessage(name, 9, locator);
        }
        ResetAttributes(attributes);
        FIAttribute value;
        for (const char* const* attribute = AttributesOf(name); *attribute != nullptr;
             ++attribute) {
            GetAttributeValue(*attribute, attributes, value);
            if (!value.isNull()) {
                ++m_tally.attributes;
                if (m_tally.counting) {
                    m_tally.nameCharacters += static_cast<long>(std::strlen(*attribute));
                    m_tally.valueCharacters += value.length();
                }
            }
        }
        ExtraAttributes(name, locator);
        return true;
    }

private:
    bool m_tracing;

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
};

// Accepts every element, adds a child, and reads every attribute by position as qorxml's
// handler reads them: its local name and its value, each narrowed.
class GenericHandler final : public TextCounter {
public:
    explicit GenericHandler(Tally& tally) : TextCounter(tally) {}

    bool HandleElement(char*, MSXML2::ISAXAttributes* attributes, MSXML2::ISAXLocator*) override {
        AddHandler(new GenericHandler(m_tally));
        ++m_tally.elements;
        int count = 0;
        attributes->getLength(&count);
        char name[4096 + 1];
        char value[4096 + 1];
        for (int index = 0; index < count; ++index) {
            unsigned short* text = nullptr;
            int length = 0;
            attributes->getLocalName(index, &text, &length);
            myconvert(name, text, length);
            attributes->getValue(index, &text, &length);
            myconvert(value, text, length);
            ++m_tally.attributes;
            if (m_tally.counting) {
                m_tally.nameCharacters += static_cast<long>(std::strlen(name));
                m_tally.valueCharacters += static_cast<long>(std::strlen(value));
            }
        }
        return true;
    }
};

enum class Road { KnownNames, Generic, KnownNamesTraced };

__attribute__((noinline)) Tally ParseRoad(const std::string& document, Road road, bool counting) {
    Tally tally;
    tally.counting = counting;
    ElementHandler* root = road == Road::Generic
                               ? static_cast<ElementHandler*>(new GenericHandler(tally))
                               : new RoadHandler(tally, road == Road::KnownNamesTraced);
    auto* content = new SAXContentHandlerImpl(new TopHandler(root));
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

long CountCharacters(const char* text, size_t length) {
    long count = 0;
    for (size_t i = 0; i < length; ++i) {
        count += (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80;
    }
    return count;
}

// The same tally from expat's own callbacks, for the check: every element, every attribute
// (all of them are asked for) with its local name (after the namespace and its separator),
// and characters of values and text.
void XMLCALL TallyStart(void* data, const XML_Char*, const XML_Char** attributes) {
    auto* tally = static_cast<Tally*>(data);
    ++tally->elements;
    for (int i = 0; attributes[i] != nullptr; i += 2) {
        ++tally->attributes;
        const char* separator = std::strchr(attributes[i], '\x01');
        const char* local = separator != nullptr ? separator + 1 : attributes[i];
        tally->nameCharacters += CountCharacters(local, std::strlen(local));
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
        benchmark::DoNotOptimize(ParseRoad(document, Road::KnownNames, false));
    }
}
BENCHMARK(BM_Road)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_GenericRoad(benchmark::State& state) {
    const std::string& document = DocumentOf(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        benchmark::DoNotOptimize(ParseRoad(document, Road::Generic, false));
    }
}
BENCHMARK(BM_GenericRoad)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_TracedRoad(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(ParseRoad(g_model, Road::KnownNamesTraced, false));
    }
}
BENCHMARK(BM_TracedRoad)->Unit(benchmark::kMillisecond);

QORBENCH_TARGET({"XML road, 64 MiB model vs raw expat", "BM_Road/0", "BM_RawExpat/0",
                 Goal::AtMostTimesBaseline, 1.15});
QORBENCH_TARGET({"XML road, 64 MiB text vs raw expat", "BM_Road/1", "BM_RawExpat/1",
                 Goal::AtMostTimesBaseline, 1.15});
QORBENCH_TARGET({"XML road, every attribute by position, 64 MiB model vs raw expat",
                 "BM_GenericRoad/0", "BM_RawExpat/0", Goal::AtMostTimesBaseline, 1.25});
QORBENCH_TARGET({"XML road, every attribute by position, 64 MiB text vs raw expat",
                 "BM_GenericRoad/1", "BM_RawExpat/1", Goal::AtMostTimesBaseline, 1.25});
QORBENCH_TARGET({"XML road, a trace per element that the log keeps out, 64 MiB model vs none",
                 "BM_TracedRoad", "BM_Road/0", Goal::AtMostTimesBaseline, 1.1});

// The model as a file, for the programs that read one; removed when the program ends.
std::string g_modelFile;

// Expat alone reads a file as the reader does: XML_GetBuffer filled by read() in pieces of
// 256 KiB, the rest of the file as one final piece once at most 8 MiB of it are left, each
// piece handed to XML_ParseBuffer; empty callbacks as BM_RawExpat's.
bool ParseFileWithExpat(const char* path) {
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    struct stat status {};
    if (fd < 0 || fstat(fd, &status) != 0) {
        return false;
    }
    XML_Parser parser = XML_ParserCreateNS(nullptr, '\x01');
    XML_SetElementHandler(parser, EmptyStart, EmptyEnd);
    XML_SetCharacterDataHandler(parser, EmptyText);
    const auto size = static_cast<size_t>(status.st_size);
    size_t fed = 0;
    bool parsed = true;
    for (bool final = false; parsed && !final;) {
        const size_t left = size - std::min(fed, size);
        const size_t piece = left < (size_t{8} << 20) ? left + 1 : size_t{256} << 10;
        auto* buffer = static_cast<char*>(XML_GetBuffer(parser, static_cast<int>(piece)));
        size_t got = 0;
        for (ssize_t n = 1; n > 0 && got < piece; got += static_cast<size_t>(n)) {
            n = read(fd, buffer + got, piece - got);
            if (n < 0) {
                n = 0;
                parsed = false;
            }
        }
        final = got < piece;
        fed += got;
        parsed = parsed && XML_ParseBuffer(parser, static_cast<int>(got), final) == XML_STATUS_OK;
    }
    XML_ParserFree(parser);
    close(fd);
    return parsed;
}

// Runs a program with standard output to /dev/null; its processor time (user and system) in
// seconds, or a negative number when it did not end well.
double RunProgram(const std::vector<std::string>& arguments) {
    std::vector<char*> argv;
    for (const std::string& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    pid_t child = 0;
    const int spawned = posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    struct rusage usage {};
    if (spawned != 0 || wait4(child, &status, 0, &usage) != child || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0) {
        return -1;
    }
    const auto seconds = [](const timeval& time) {
        return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_usec) / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Each iteration's time is the child's processor time, on both sides: the same start-up, the
// same reading of the file.
void TimeProgram(benchmark::State& state, const std::vector<std::string>& arguments) {
    for (auto _ : state) {
        const double seconds = RunProgram(arguments);
        if (seconds < 0) {
            state.SkipWithError("the program failed");
            break;
        }
        state.SetIterationTime(seconds);
    }
}

std::string g_self;

#if defined(QORBENCH_QORXML)
void BM_QorxmlEvents(benchmark::State& state) {
    TimeProgram(state, {QORBENCH_QORXML, "--events", g_modelFile});
}
BENCHMARK(BM_QorxmlEvents)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_ExpatFile(benchmark::State& state) {
    TimeProgram(state, {g_self, "--expat-file", g_modelFile});
}
BENCHMARK(BM_ExpatFile)->UseManualTime()->Unit(benchmark::kMillisecond);

QORBENCH_TARGET({"qorxml --events, 64 MiB model file vs expat reading it", "BM_QorxmlEvents",
                 "BM_ExpatFile", Goal::AtMostTimesBaseline, 1.6});
#endif

void CheckSame(const char* caseName, Road road, const std::string& document) {
    const Tally expat = TallyWithExpat(document);
    const Tally seen = ParseRoad(document, road, true);
    const bool same = expat.elements > 0 && seen == expat;
    qorbench::AddCheck(caseName, same ? "same" : "different", "same", same);
}

// Writes the model to a temporary file for the programs; false when it cannot.
bool WriteModelFile() {
    const char* directory = std::getenv("TMPDIR");
    std::string path =
        std::string(directory != nullptr ? directory : "/tmp") + "/qorbench-model-XXXXXX.xml";
    const int fd = mkstemps(path.data(), 4);
    if (fd < 0) {
        return false;
    }
    size_t written = 0;
    while (written < g_model.size()) {
        const ssize_t n = write(fd, g_model.data() + written, g_model.size() - written);
        if (n <= 0) {
            break;
        }
        written += static_cast<size_t>(n);
    }
    close(fd);
    g_modelFile = path;
    return written == g_model.size();
}

} // namespace

int main(int argc, char** argv) {
    // "--expat-file FILE": the baseline of the qorxml row, run as a program of its own.
    if (argc == 3 && std::strcmp(argv[1], "--expat-file") == 0) {
        return ParseFileWithExpat(argv[2]) ? 0 : 1;
    }
    if (const char* mib = std::getenv("QORBENCH_XML_MIB")) {
        g_documentSize = std::strtoul(mib, nullptr, 10) << 20;
    }
    g_model = MakeModel();
    g_text = MakeText();
    // "--profile road|generic|expat model|text [times]" parses and does nothing else, for a
    // profiler.
    if ((argc == 4 || argc == 5) && std::strcmp(argv[1], "--profile") == 0) {
        const std::string& document = std::strcmp(argv[3], "text") == 0 ? g_text : g_model;
        const bool expat = std::strcmp(argv[2], "expat") == 0;
        const Road road = std::strcmp(argv[2], "generic") == 0 ? Road::Generic : Road::KnownNames;
        bool parsed = true;
        for (long times = argc == 5 ? std::atol(argv[4]) : 1; times > 0; --times) {
            parsed = parsed && (expat ? ParseRawExpat(document)
                                      : ParseRoad(document, road, false).elements > 0);
        }
        return parsed ? 0 : 1;
    }
    CheckSame("XML road and expat see the same (64 MiB model)", Road::KnownNames, g_model);
    CheckSame("XML road and expat see the same (64 MiB text)", Road::KnownNames, g_text);
    CheckSame("XML road by position and expat see the same (64 MiB model)", Road::Generic, g_model);
    CheckSame("XML road by position and expat see the same (64 MiB text)", Road::Generic, g_text);
    g_self = "/proc/self/exe";
    char self[4096];
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    if (length > 0) {
        g_self.assign(self, static_cast<size_t>(length));
    }
    const bool written = WriteModelFile();
    qorbench::AddCheck("64 MiB model written to a file for the programs", written ? "yes" : "no",
                       "yes", written);
    const int status = qorbench::RunBenchmarks(argc, argv);
    if (!g_modelFile.empty()) {
        unlink(g_modelFile.c_str());
    }
    return status;
}
