// The XML reader against expat alone, on a generated document of 256 MiB: SAXXMLReader::parse
// with a handler that counts, against expat given the same bytes as one piece with handlers
// that count (the reader's own cost), and parseURL of the same bytes in a file against parse
// in memory (the cost of reading the file). Before timing, the program checks that all three
// see the same elements and text. Then small documents read one reader each, in Shift_JIS
// against UTF-8: what setting up a multi-byte set costs a set of small files.
#include <QorUtils/platform/SAXXMLReader.h>

#include "support/BenchTable.h"

#include <benchmark/benchmark.h>
#include <expat.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include <unistd.h>

namespace {

using qorbench::Goal;

constexpr size_t kDocumentSize = size_t{256} << 20;

std::string g_document;
std::string g_path;

// Units of a few elements with attributes, text, a reference and a non-ASCII character.
std::string MakeDocument() {
    std::string document =
        "<?xml version='1.0' encoding='UTF-8'?>\n<model xmlns:u='urn:units' name='plant'>\n";
    char unit[512];
    for (long i = 0; document.size() < kDocumentSize; ++i) {
        const int length =
            std::snprintf(unit, sizeof(unit),
                          "  <unit id='u%ld' type='pump' u:scale='1.5' enabled='true'>\n"
                          "    <name>Feed pump %ld of the cooling loop</name>\n"
                          "    <param key='flow' value='%ld.25'/>\n"
                          "    <param key='head' value='%ld'/>\n"
                          "    <note>Checked &amp; approved, caf\xC3\xA9 line %ld</note>\n"
                          "  </unit>\n",
                          i, i, i, i % 97, i);
        document.append(unit, static_cast<size_t>(length));
    }
    return document + "</model>\n";
}

struct Counts {
    long elements = 0;
    long text = 0; // characters of text, as UTF-16 units
    bool operator==(const Counts& other) const {
        return elements == other.elements && text == other.text;
    }
};

// Counts elements and text units, as a handler that does nothing else would.
struct CountingHandler final : MSXML2::ISAXContentHandler {
    Counts counts;
    long QueryInterface(const GUID&, void**) override { return E_NOINTERFACE; }
    unsigned long AddRef() override { return 2; }
    unsigned long Release() override { return 1; }
    long putDocumentLocator(MSXML2::ISAXLocator*) override { return S_OK; }
    long startDocument() override { return S_OK; }
    long endDocument() override { return S_OK; }
    long startPrefixMapping(unsigned short*, int, unsigned short*, int) override { return S_OK; }
    long endPrefixMapping(unsigned short*, int) override { return S_OK; }
    long startElement(unsigned short*, int, unsigned short*, int, unsigned short*, int,
                      MSXML2::ISAXAttributes*) override {
        ++counts.elements;
        return S_OK;
    }
    long endElement(unsigned short*, int, unsigned short*, int, unsigned short*, int) override {
        return S_OK;
    }
    long characters(unsigned short*, int length) override {
        counts.text += length;
        return S_OK;
    }
    long ignorableWhitespace(unsigned short*, int) override { return S_OK; }
    long processingInstruction(unsigned short*, int, unsigned short*, int) override { return S_OK; }
    long skippedEntity(unsigned short*, int) override { return S_OK; }
};

Counts ParseWithReader(bool fromFile) {
    CountingHandler handler;
    MSXML2::SAXXMLReader reader;
    reader.putContentHandler(&handler);
    const long result = fromFile ? reader.parseURL(g_path.c_str())
                                 : reader.parse(g_document.data(), g_document.size());
    return result == S_OK ? handler.counts : Counts{};
}

void XMLCALL CountStart(void* data, const XML_Char*, const XML_Char**) {
    ++static_cast<Counts*>(data)->elements;
}

void XMLCALL IgnoreEnd(void*, const XML_Char*) {}

// UTF-8 from expat; counts the units that the same text takes in UTF-16.
void XMLCALL CountText(void* data, const XML_Char* text, int length) {
    long units = 0;
    for (int i = 0; i < length; ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        units += (byte & 0xC0) != 0x80;
        units += byte >= 0xF0;
    }
    static_cast<Counts*>(data)->text += units;
}

// Expat with namespace processing, as the reader sets it up, given the document as one piece.
Counts ParseWithExpat() {
    Counts counts;
    XML_Parser parser = XML_ParserCreateNS(nullptr, '\x01');
    XML_SetReturnNSTriplet(parser, XML_TRUE);
    XML_SetUserData(parser, &counts);
    XML_SetElementHandler(parser, CountStart, IgnoreEnd);
    XML_SetCharacterDataHandler(parser, CountText);
    const bool parsed = XML_Parse(parser, g_document.data(), static_cast<int>(g_document.size()),
                                  XML_TRUE) == XML_STATUS_OK;
    XML_ParserFree(parser);
    return parsed ? counts : Counts{};
}

void BM_Expat(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(ParseWithExpat());
    }
}
BENCHMARK(BM_Expat)->Unit(benchmark::kMillisecond);

void BM_Parse(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(ParseWithReader(false));
    }
}
BENCHMARK(BM_Parse)->Unit(benchmark::kMillisecond);

void BM_ParseURL(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(ParseWithReader(true));
    }
}
BENCHMARK(BM_ParseURL)->Unit(benchmark::kMillisecond);

QORBENCH_TARGET({"parse 256 MiB in memory (counting handler) vs expat alone", "BM_Parse",
                 "BM_Expat", Goal::AtMostTimesBaseline, 1.3});
QORBENCH_TARGET({"parseURL 256 MiB file vs parse in memory", "BM_ParseURL", "BM_Parse",
                 Goal::AtMostTimesBaseline, 1.2});

// A small document, as a set of many small files holds them, in UTF-8 (read by expat itself)
// or in Shift_JIS (read through iconv, whose tables for the set are built once and kept).
std::string SmallDocument(bool shiftJis) {
    const std::string japanese = shiftJis ? "\x93\xFA\x96\x7B" : "\xE6\x97\xA5\xE6\x9C\xAC";
    std::string document = std::string("<?xml version='1.0' encoding='") +
                           (shiftJis ? "Shift_JIS" : "UTF-8") + "'?>\n<unit name='" + japanese +
                           "'>\n";
    for (int i = 0; i < 8; ++i) {
        document += "  <param key='flow'>" + japanese + " " + std::to_string(i) + "</param>\n";
    }
    return document + "</unit>\n";
}

constexpr int kSmallDocuments = 100;

// Each document read by a new reader, as a program reading a set of files does.
Counts ParseSmallDocuments(bool shiftJis) {
    const std::string document = SmallDocument(shiftJis);
    Counts total;
    for (int i = 0; i < kSmallDocuments; ++i) {
        CountingHandler handler;
        MSXML2::SAXXMLReader reader;
        reader.putContentHandler(&handler);
        if (reader.parse(document.data(), document.size()) != S_OK) {
            return Counts{};
        }
        total.elements += handler.counts.elements;
        total.text += handler.counts.text;
    }
    return total;
}

void BM_SmallDocuments(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(ParseSmallDocuments(state.range(0) != 0));
    }
}
BENCHMARK(BM_SmallDocuments)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

QORBENCH_TARGET({"100 small documents in Shift_JIS vs the same in UTF-8", "BM_SmallDocuments/1",
                 "BM_SmallDocuments/0", Goal::AtMostTimesBaseline, 3.0});

bool WriteDocument(const std::string& path) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return false;
    }
    const bool written =
        std::fwrite(g_document.data(), 1, g_document.size(), file) == g_document.size();
    return std::fclose(file) == 0 && written;
}

} // namespace

int main(int argc, char** argv) {
    g_document = MakeDocument();
    const char* directory = std::getenv("TMPDIR");
    g_path = std::string(directory != nullptr ? directory : "/tmp") + "/qorbench-reader-" +
             std::to_string(getpid()) + ".xml";
    if (!WriteDocument(g_path)) {
        std::fprintf(stderr, "cannot write %s\n", g_path.c_str());
        return 1;
    }
    const Counts expat = ParseWithExpat();
    const bool same =
        expat.elements > 0 && ParseWithReader(false) == expat && ParseWithReader(true) == expat;
    qorbench::AddCheck("reader and expat see the same elements and text (256 MiB)",
                       same ? "same" : "different", "same", same);
    const Counts utf8 = ParseSmallDocuments(false);
    const bool sameSmall = utf8.elements > 0 && ParseSmallDocuments(true) == utf8;
    qorbench::AddCheck("small documents in Shift_JIS and UTF-8 give the same elements and text",
                       sameSmall ? "same" : "different", "same", sameSmall);
    const int status = qorbench::RunBenchmarks(argc, argv);
    std::remove(g_path.c_str());
    return status;
}
