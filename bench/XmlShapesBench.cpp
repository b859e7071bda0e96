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

#include <algorithm>
#include <cstdint>
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

// Entity declarations whose names, as the reader keys them ('&' and the name), all hash alike
// in GCC's C++ library, whose 64-bit string hash has no secret seed. A key is a fixed block and
// six segments of two blocks; each segment is one of nine that take the hash from the same
// state to the same next state (a free block, and one chosen to reach that state).
std::string CollidingEntities(size_t size) {
    constexpr uint64_t kMul = (uint64_t{0xc6a4a793} << 32) + 0x5bd1e995;
    constexpr int kSegments = 6;
    constexpr uint64_t kChoices = 9;
    uint64_t inverse = kMul;
    for (int i = 0; i < 5; ++i) {
        inverse *= 2 - kMul * inverse;
    }
    const auto shiftMix = [](uint64_t v) { return v ^ (v >> 47); };
    const auto mix = [&](uint64_t block) { return shiftMix(block * kMul) * kMul; };
    const auto unmix = [&](uint64_t mixed) { return shiftMix(mixed * inverse) * inverse; };
    const auto load = [](const char* bytes) {
        uint64_t block = 0;
        std::memcpy(&block, bytes, sizeof block);
        return block;
    };
    static const char kNameChars[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    constexpr uint64_t kNameCharCount = sizeof kNameChars - 1;
    const auto nameChars = [](const char* block) {
        return std::all_of(block, block + 8,
                           [](char c) { return c != 0 && std::strchr(kNameChars, c) != nullptr; });
    };
    uint64_t state = (0xc70f6907 ^ ((8 + 16 * kSegments) * kMul) ^ mix(load("&Entity_"))) * kMul;
    std::vector<std::string> segments;
    for (int segment = 0; segment < kSegments; ++segment) {
        const uint64_t next = state * 31 + 7;
        for (uint64_t counter = 0; segments.size() < (segment + 1) * kChoices; ++counter) {
            char blocks[16];
            for (uint64_t i = 0, c = counter; i < 8; ++i, c /= kNameCharCount) {
                blocks[i] = kNameChars[c % kNameCharCount];
            }
            const uint64_t reached = (state ^ mix(load(blocks))) * kMul;
            const uint64_t second = unmix(reached ^ (next * inverse));
            std::memcpy(blocks + 8, &second, sizeof second);
            if (nameChars(blocks + 8)) {
                segments.emplace_back(blocks, sizeof blocks);
            }
        }
        state = next;
    }
    std::string d = "<!DOCTYPE r [";
    for (uint64_t name = 0; d.size() < size; ++name) {
        d += "<!ENTITY Entity_";
        for (uint64_t segment = 0, c = name; segment < kSegments; ++segment, c /= kChoices) {
            d += segments[segment * kChoices + c % kChoices];
        }
        d += " 'x'>";
    }
    return d + "]><r/>";
}

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
    {"names in a namespace of 300 bytes",
     [](size_t size) {
         const std::string uri = "urn:" + std::string(296, 'u');
         std::string d = "<p:r xmlns:p='" + uri + "'>";
         Fill(d, "<p:e p:v='12'>text</p:e>", size);
         return d + "</p:r>";
     }},
    {"entity declarations with colliding names", CollidingEntities},
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
