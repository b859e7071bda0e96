// Attribute tables: InternalAttributeQuery over a 20-row table against the chain of strcmp calls
// a class would write by hand for the same names. Both sides read through the same getters, so
// the ratio is the cost of the table lookup itself.
#include <QorUtils/object/AttributeTable.h>

#include "support/BenchTable.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

using FI::FI_ATTRIBUTE_ENTRY;
using qorbench::Goal;

// One getter per row, out of line on both sides as a class's getters usually are.
template <int N> [[gnu::noinline]] FIAttribute& Get(void*, FIAttribute& out) {
    return out = N;
}

// Names an entry class might carry, in table order.
const FI_ATTRIBUTE_ENTRY kRows[] = {
    {"id", FI::k_getOwner, nullptr, Get<0>, 0},
    {"type", FI::k_getOwner, nullptr, Get<1>, 0},
    {"name", FI::k_getOwner, nullptr, Get<2>, 0},
    {"value", FI::k_getOwner, nullptr, Get<3>, 0},
    {"units", FI::k_getOwner, nullptr, Get<4>, 0},
    {"minimum", FI::k_getOwner, nullptr, Get<5>, 0},
    {"maximum", FI::k_getOwner, nullptr, Get<6>, 0},
    {"default", FI::k_getOwner, nullptr, Get<7>, 0},
    {"description", FI::k_getOwner, nullptr, Get<8>, 0},
    {"format", FI::k_getOwner, nullptr, Get<9>, 0},
    {"precision", FI::k_getOwner, nullptr, Get<10>, 0},
    {"scale", FI::k_getOwner, nullptr, Get<11>, 0},
    {"offset", FI::k_getOwner, nullptr, Get<12>, 0},
    {"category", FI::k_getOwner, nullptr, Get<13>, 0},
    {"group", FI::k_getOwner, nullptr, Get<14>, 0},
    {"visible", FI::k_getOwner, nullptr, Get<15>, 0},
    {"readonly", FI::k_getOwner, nullptr, Get<16>, 0},
    {"tooltip", FI::k_getOwner, nullptr, Get<17>, 0},
    {"color", FI::k_getOwner, nullptr, Get<18>, 0},
    {"order", FI::k_getOwner, nullptr, Get<19>, 0},
    {nullptr, 0, nullptr, nullptr, 0},
};
constexpr int kRowCount = 20;

// The same lookup written out by hand.
FIAttribute& Chain(void* owner, const char* name, FIAttribute& out) {
    if (std::strcmp(name, "id") == 0)
        return Get<0>(owner, out);
    if (std::strcmp(name, "type") == 0)
        return Get<1>(owner, out);
    if (std::strcmp(name, "name") == 0)
        return Get<2>(owner, out);
    if (std::strcmp(name, "value") == 0)
        return Get<3>(owner, out);
    if (std::strcmp(name, "units") == 0)
        return Get<4>(owner, out);
    if (std::strcmp(name, "minimum") == 0)
        return Get<5>(owner, out);
    if (std::strcmp(name, "maximum") == 0)
        return Get<6>(owner, out);
    if (std::strcmp(name, "default") == 0)
        return Get<7>(owner, out);
    if (std::strcmp(name, "description") == 0)
        return Get<8>(owner, out);
    if (std::strcmp(name, "format") == 0)
        return Get<9>(owner, out);
    if (std::strcmp(name, "precision") == 0)
        return Get<10>(owner, out);
    if (std::strcmp(name, "scale") == 0)
        return Get<11>(owner, out);
    if (std::strcmp(name, "offset") == 0)
        return Get<12>(owner, out);
    if (std::strcmp(name, "category") == 0)
        return Get<13>(owner, out);
    if (std::strcmp(name, "group") == 0)
        return Get<14>(owner, out);
    if (std::strcmp(name, "visible") == 0)
        return Get<15>(owner, out);
    if (std::strcmp(name, "readonly") == 0)
        return Get<16>(owner, out);
    if (std::strcmp(name, "tooltip") == 0)
        return Get<17>(owner, out);
    if (std::strcmp(name, "color") == 0)
        return Get<18>(owner, out);
    if (std::strcmp(name, "order") == 0)
        return Get<19>(owner, out);
    return out.Clear();
}

// Every row's name equally often, in a fixed shuffled order, copied so that no pointer is
// shared with the table.
const std::vector<std::string>& Queries() {
    static const std::vector<std::string> queries = [] {
        std::vector<std::string> names;
        for (int round = 0; round < 16; ++round) {
            for (int row = 0; row < kRowCount; ++row) {
                names.emplace_back(kRows[row].pszName);
            }
        }
        std::shuffle(names.begin(), names.end(), std::mt19937(1));
        return names;
    }();
    return queries;
}

void BM_TableQuery(benchmark::State& state) {
    const std::vector<std::string>& queries = Queries();
    int owner = 0;
    FIAttribute out;
    size_t i = 0;
    for (auto _ : state) {
        const char* name = queries[i++ % queries.size()].c_str();
        benchmark::DoNotOptimize(
            FI::InternalAttributeQuery(&owner, kRows, kRows + kRowCount, name, out).ival());
    }
}
BENCHMARK(BM_TableQuery);

void BM_StrcmpChain(benchmark::State& state) {
    const std::vector<std::string>& queries = Queries();
    int owner = 0;
    FIAttribute out;
    size_t i = 0;
    for (auto _ : state) {
        const char* name = queries[i++ % queries.size()].c_str();
        benchmark::DoNotOptimize(Chain(&owner, name, out).ival());
    }
}
BENCHMARK(BM_StrcmpChain);

QORBENCH_TARGET({"InternalAttributeQuery, 20 rows vs strcmp chain", "BM_TableQuery",
                 "BM_StrcmpChain", Goal::AtMostTimesBaseline, 1.2});

// Both sides must answer alike before their times mean anything.
void CheckAnswers() {
    int owner = 0;
    int mismatches = 0;
    for (const std::string& name : Queries()) {
        FIAttribute table;
        FIAttribute chain;
        FI::InternalAttributeQuery(&owner, kRows, kRows + kRowCount, name.c_str(), table);
        mismatches += table.compare(Chain(&owner, name.c_str(), chain)) != 0;
    }
    qorbench::AddCheck("table query answers like the strcmp chain", std::to_string(mismatches), "0",
                       mismatches == 0);
}

} // namespace

int main(int argc, char** argv) {
    CheckAnswers();
    return qorbench::RunBenchmarks(argc, argv);
}
