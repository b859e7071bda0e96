// How the XML road's time grows with a document of one shape: each shape (a long text line, a
// long name or value, many attributes, deep nesting, ...) at 8 and 32 MiB, read by
// SAXXMLReader::parse, SAXContentHandlerImpl, a TopHandler and handlers that accept every
// element but those named "x" (skipped with their content), fetch the attribute "v" and take
// the text; and by expat alone with empty callbacks, given the same bytes as one piece. A row
// sets the road's growth beside expat's: the road's own cost grows linearly when the two match.
#include <QorUtils/platform/SAXXMLReader.h>
#include <QorUtils/xml/SAXContentHandlerImpl.h>
#include <QorUtils/xml/TopHandler.h>

#include "support/BenchTable.h"
#include "support/ExpatBaseline.h"

#include <benchmark/benchmark.h>
#include <expat.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using qorbench::ParseRawExpat;

constexpr int kSmallMiB = 8;
constexpr int kLargeMiB = 32;

// Appends `unit` until the document holds `size` bytes.
void Fill(std::string& document, const std::string& unit, size_t size) {
    while (document.size() < size) {
        document += unit;
    }
}

// Appends numbered items made by `item` until the document holds `size` bytes.
template <typename Item> void FillNumbered(std::string& document, size_t size, Item item) {
    for (long i = 0; document.size() < size; ++i) {
        document += item(std::to_string(i));
    }
}

const std::string kWords = "lorem ipsum dolor sit amet ";
const std::string kValue(60, 'v');

struct Shape {
    const char* name;
    std::string (*make)(size_t size);
};

const Shape kShapes[] = {
    {"text on one line",
     [](size_t size) {
         std::string d = "<r>";
         Fill(d, kWords, size);
         return d + "</r>";
     }},
    {"CDATA on one line",
     [](size_t size) {
         std::string d = "<r><![CDATA[";
         Fill(d, kWords, size);
         return d + "]]></r>";
     }},
    {"UTF-8 text on one line",
     [](size_t size) {
         std::string d = "<r>";
         Fill(d, "caf\xC3\xA9 na\xC3\xAFve se\xC3\xB1or ", size);
         return d + "</r>";
     }},
    {"wide characters on one line",
     [](size_t size) {
         std::string d = "<r>";
         Fill(d, "\xE4\xB8\xAD\xE6\x96\x87 \xF0\x9F\x98\x80 ", size);
         return d + "</r>";
     }},
    {"text in a skipped element",
     [](size_t size) {
         std::string d = "<r><x>";
         Fill(d, kWords, size);
         return d + "</x></r>";
     }},
    {"long attribute value",
     [](size_t size) {
         std::string d = "<r v='";
         Fill(d, kWords, size);
         return d + "'/>";
     }},
    {"long name",
     [](size_t size) {
         std::string d = "<r";
         Fill(d, "abcdefgh", size);
         return d + "/>";
     }},
    {"long comment",
     [](size_t size) {
         std::string d = "<r><!--";
         Fill(d, kWords, size);
         return d + "--></r>";
     }},
    {"long processing instruction",
     [](size_t size) {
         std::string d = "<r><?pi ";
         Fill(d, kWords, size);
         return d + "?></r>";
     }},
    {"many attributes",
     [](size_t size) {
         std::string d = "<r";
         FillNumbered(d, size, [](const std::string& n) { return " a" + n + "='" + kValue + "'"; });
         return d + "/>";
     }},
    {"many namespace declarations",
     [](size_t size) {
         std::string d = "<r";
         FillNumbered(d, size,
                      [](const std::string& n) { return " xmlns:p" + n + "='" + kValue + "'"; });
         return d + "/>";
     }},
    {"deep nesting",
     [](size_t size) {
         const std::string level = "<e>" + kWords + kWords;
         std::string d;
         size_t depth = 0;
         for (; d.size() + depth * 4 < size; ++depth) {
             d += level;
         }
         for (size_t i = 0; i < depth; ++i) {
             d += "</e>";
         }
         return d;
     }},
    {"minified elements",
     [](size_t size) {
         std::string d = "<r>";
         Fill(d, "<e v='1'>t</e><f/>", size);
         return d + "</r>";
     }},
};
constexpr int kShapeCount = static_cast<int>(sizeof kShapes / sizeof kShapes[0]);

// The document of the running benchmark, kept while the next one asks for the same.
const std::string& Document(int shape, int mebibytes) {
    static std::string document;
    static int made = -1;
    const int key = shape * 1000 + mebibytes;
    if (made != key) {
        document.clear();
        document.shrink_to_fit();
        document = kShapes[shape].make(static_cast<size_t>(mebibytes) << 20);
        made = key;
    }
    return document;
}

class ShapeHandler final : public ElementHandler {
public:
    bool HandleElement(char* name, MSXML2::ISAXAttributes* attributes,
                       MSXML2::ISAXLocator* locator) override {
        if (std::strcmp(name, "x") == 0) {
            return false;
        }
        AddHandler(new ShapeHandler);
        ResetAttributes(attributes);
        FIAttribute value;
        GetAttributeValue("v", attributes, value);
        ExtraAttributes(name, locator);
        return true;
    }
    void HandleText(char* text, MSXML2::ISAXLocator*) override { benchmark::DoNotOptimize(text); }
};

bool ParseRoad(const std::string& document) {
    auto* content = new SAXContentHandlerImpl(new TopHandler(new ShapeHandler));
    long result = E_FAIL;
    {
        MSXML2::SAXXMLReader reader;
        reader.putContentHandler(content);
        result = reader.parse(document.data(), document.size());
    }
    content->Release();
    return result == S_OK;
}

// Writes over more memory than the processor's caches hold, so that every parse starts from
// memory: a document of 8 MiB would otherwise be read from the cache and one of 32 MiB not,
// and how much of the smaller one stayed there depends on what else runs on the machine.
void EvictCaches() {
    static std::vector<char> wide(size_t{128} << 20);
    static char value = 0;
    std::memset(wide.data(), ++value, wide.size());
    benchmark::ClobberMemory();
}

template <bool (*Parse)(const std::string&)> void BM_Shape(benchmark::State& state) {
    const std::string& document =
        Document(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    for (auto _ : state) {
        state.PauseTiming();
        EvictCaches();
        state.ResumeTiming();
        if (!Parse(document)) {
            state.SkipWithError("the document was refused");
            break;
        }
    }
}

void Register() {
    for (int shape = 0; shape < kShapeCount; ++shape) {
        for (int mebibytes : {kSmallMiB, kLargeMiB}) {
            benchmark::RegisterBenchmark("BM_Road", BM_Shape<ParseRoad>)
                ->Args({shape, mebibytes})
                ->Unit(benchmark::kMillisecond);
            benchmark::RegisterBenchmark("BM_Expat", BM_Shape<ParseRawExpat>)
                ->Args({shape, mebibytes})
                ->Unit(benchmark::kMillisecond);
        }
        const auto name = [shape](const char* side, int mebibytes) {
            return std::string(side) + "/" + std::to_string(shape) + "/" +
                   std::to_string(mebibytes);
        };
        qorbench::AddGrowthTarget({std::string("XML road growth ") + std::to_string(kSmallMiB) +
                                       " -> " + std::to_string(kLargeMiB) + " MiB vs expat's, " +
                                       kShapes[shape].name,
                                   name("BM_Road", kSmallMiB), name("BM_Road", kLargeMiB),
                                   name("BM_Expat", kSmallMiB), name("BM_Expat", kLargeMiB), 1.5});
    }
}

} // namespace

int main(int argc, char** argv) {
    bool whole = true;
    for (int shape = 0; shape < kShapeCount; ++shape) {
        const std::string& document = Document(shape, kSmallMiB);
        whole = whole && ParseRoad(document) && ParseRawExpat(document);
    }
    qorbench::AddCheck("XML shapes read whole by the road and expat", whole ? "yes" : "no", "yes",
                       whole);
    Register();
    // Five repetitions, not seven: these documents take long to read.
    std::vector<char*> args(argv, argv + argc);
    static char repetitions[] = "--benchmark_repetitions=5";
    args.insert(args.begin() + 1, repetitions);
    return qorbench::RunBenchmarks(static_cast<int>(args.size()), args.data());
}
