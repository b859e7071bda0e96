// FIAttribute against the C library and std::string doing the same work: number <-> text
// conversion, text assignment, appending and comparison. Before timing, the program checks
// over ten million values that the texts it writes are byte for byte snprintf's.
#include <QorUtils/attribute/FIAttribute.h>

#include "support/BenchTable.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

using qorbench::Goal;

// The benchmarks step through this many prepared inputs (a power of two).
constexpr size_t kInputs = 4096;

double FromBits(uint64_t bits) {
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

// Decimals as a person types them: up to 15 digits, a point somewhere, an exponent.
double TypedDecimal(std::mt19937_64& random) {
    const int digits = 1 + static_cast<int>(random() % 15);
    std::string text;
    for (int i = 0; i < digits; ++i) {
        text += static_cast<char>('0' + random() % 10);
    }
    text.insert(random() % (text.size() + 1), ".");
    text += "e" + std::to_string(static_cast<int>(random() % 16) - 8);
    return std::strtod(text.c_str(), nullptr);
}

// Exactly halfway between two 12-digit texts: N + m / 2^j with 13 significant digits.
double RoundingTie(std::mt19937_64& random) {
    const int j = 1 + static_cast<int>(random() % 12);
    uint64_t low = 1;
    for (int i = 1; i < 13 - j; ++i) {
        low *= 10;
    }
    const uint64_t n = low + random() % (9 * low);
    const uint64_t m = (random() % (uint64_t{1} << j)) | 1;
    return std::ldexp(static_cast<double>((n << j) + m), -j);
}

// A mix of the reals a simulation stores: typed decimals, integers, arbitrary bit patterns.
double SomeReal(std::mt19937_64& random, size_t i) {
    switch (i % 4) {
    case 0:
    case 1:
        return TypedDecimal(random);
    case 2:
        return static_cast<double>(static_cast<int32_t>(random()) >> (random() % 32));
    default:
        return FromBits(random());
    }
}

int SomeInteger(std::mt19937_64& random) {
    return static_cast<int32_t>(random()) >> (random() % 32);
}

const std::vector<int>& Integers() {
    static const std::vector<int> values = [] {
        std::mt19937_64 random(1);
        std::vector<int> v(kInputs);
        for (int& x : v) {
            x = SomeInteger(random);
        }
        return v;
    }();
    return values;
}

const std::vector<double>& Reals() {
    static const std::vector<double> values = [] {
        std::mt19937_64 random(2);
        std::vector<double> v(kInputs);
        for (size_t i = 0; i < kInputs; ++i) {
            v[i] = SomeReal(random, i);
        }
        return v;
    }();
    return values;
}

// The texts the library writes, as values and as plain strings for sscanf.
template <typename Number> std::vector<FIAttribute> TextValues(const std::vector<Number>& numbers) {
    std::vector<FIAttribute> values;
    for (Number n : numbers) {
        FIAttribute value(n);
        values.push_back(value.ChangeType(FIAttribute::FT_SHORT_TEXT));
    }
    return values;
}

void BM_IntegerToText(benchmark::State& state) {
    const std::vector<int>& values = Integers();
    size_t i = 0;
    for (auto _ : state) {
        FIAttribute value(values[i++ % kInputs]);
        benchmark::DoNotOptimize(value.ChangeType(FIAttribute::FT_SHORT_TEXT).c_str());
    }
}
BENCHMARK(BM_IntegerToText);

void BM_IntegerToText_snprintf(benchmark::State& state) {
    const std::vector<int>& values = Integers();
    size_t i = 0;
    char text[32];
    for (auto _ : state) {
        benchmark::DoNotOptimize(std::snprintf(text, sizeof text, "%d", values[i++ % kInputs]));
        benchmark::DoNotOptimize(text);
    }
}
BENCHMARK(BM_IntegerToText_snprintf);

void BM_RealToText(benchmark::State& state) {
    const std::vector<double>& values = Reals();
    size_t i = 0;
    for (auto _ : state) {
        FIAttribute value(values[i++ % kInputs]);
        benchmark::DoNotOptimize(value.ChangeType(FIAttribute::FT_SHORT_TEXT).c_str());
    }
}
BENCHMARK(BM_RealToText);

void BM_RealToText_snprintf(benchmark::State& state) {
    const std::vector<double>& values = Reals();
    size_t i = 0;
    char text[32];
    for (auto _ : state) {
        benchmark::DoNotOptimize(std::snprintf(text, sizeof text, "%.12lg", values[i++ % kInputs]));
        benchmark::DoNotOptimize(text);
    }
}
BENCHMARK(BM_RealToText_snprintf);

void BM_TextToInteger(benchmark::State& state) {
    static const std::vector<FIAttribute> texts = TextValues(Integers());
    size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(texts[i++ % kInputs].ival());
    }
}
BENCHMARK(BM_TextToInteger);

void BM_TextToInteger_sscanf(benchmark::State& state) {
    static const std::vector<FIAttribute> texts = TextValues(Integers());
    size_t i = 0;
    int value = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(std::sscanf(texts[i++ % kInputs].c_str(), "%d", &value));
        benchmark::DoNotOptimize(value);
    }
}
BENCHMARK(BM_TextToInteger_sscanf);

void BM_TextToReal(benchmark::State& state) {
    static const std::vector<FIAttribute> texts = TextValues(Reals());
    size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(texts[i++ % kInputs].rval());
    }
}
BENCHMARK(BM_TextToReal);

void BM_TextToReal_sscanf(benchmark::State& state) {
    static const std::vector<FIAttribute> texts = TextValues(Reals());
    size_t i = 0;
    double value = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(std::sscanf(texts[i++ % kInputs].c_str(), "%lg", &value));
        benchmark::DoNotOptimize(value);
    }
}
BENCHMARK(BM_TextToReal_sscanf);

const char kEighteen[] = "abcdefghijklmnopqr";

void BM_AssignText18(benchmark::State& state) {
    FIAttribute value;
    const char* text = kEighteen;
    for (auto _ : state) {
        benchmark::DoNotOptimize(text);
        value = text;
        benchmark::DoNotOptimize(value.c_str());
    }
}
BENCHMARK(BM_AssignText18);

void BM_AssignText18_string(benchmark::State& state) {
    std::string value;
    const char* text = kEighteen;
    for (auto _ : state) {
        benchmark::DoNotOptimize(text);
        value.assign(text);
        benchmark::DoNotOptimize(value.data());
    }
}
BENCHMARK(BM_AssignText18_string);

constexpr int kMebibyte = 1 << 20;

void BM_AppendCharMiB(benchmark::State& state) {
    for (auto _ : state) {
        FIAttribute value;
        for (int i = 0; i < kMebibyte; ++i) {
            value.AppendChar(static_cast<char>('a' + (i & 15)));
        }
        benchmark::DoNotOptimize(value.c_str());
    }
}
BENCHMARK(BM_AppendCharMiB);

void BM_AppendCharMiB_string(benchmark::State& state) {
    for (auto _ : state) {
        std::string value;
        for (int i = 0; i < kMebibyte; ++i) {
            value.push_back(static_cast<char>('a' + (i & 15)));
        }
        benchmark::DoNotOptimize(value.data());
    }
}
BENCHMARK(BM_AppendCharMiB_string);

// 4096 different 16-byte pieces, appended in turn to build 64 KiB.
const std::vector<std::string>& Pieces() {
    static const std::vector<std::string> pieces = [] {
        std::mt19937_64 random(3);
        std::vector<std::string> v(kInputs);
        for (std::string& piece : v) {
            for (int i = 0; i < 16; ++i) {
                piece += static_cast<char>('a' + random() % 26);
            }
        }
        return v;
    }();
    return pieces;
}

void BM_Append16(benchmark::State& state) {
    const std::vector<std::string>& pieces = Pieces();
    for (auto _ : state) {
        FIAttribute value;
        for (const std::string& piece : pieces) {
            value.Append(piece.c_str());
        }
        benchmark::DoNotOptimize(value.c_str());
    }
}
BENCHMARK(BM_Append16);

void BM_Append16_string(benchmark::State& state) {
    const std::vector<std::string>& pieces = Pieces();
    for (auto _ : state) {
        std::string value;
        for (const std::string& piece : pieces) {
            value.append(piece.c_str());
        }
        benchmark::DoNotOptimize(value.data());
    }
}
BENCHMARK(BM_Append16_string);

// Two 64-byte texts that differ only in their last byte.
const std::string kLeft = std::string(63, 'm') + "a";
const std::string kRight = std::string(63, 'm') + "b";

void BM_Compare64(benchmark::State& state) {
    const FIAttribute left(kLeft.c_str());
    const FIAttribute right(kRight.c_str());
    for (auto _ : state) {
        benchmark::DoNotOptimize(left.compare(right));
    }
}
BENCHMARK(BM_Compare64);

void BM_Compare64_strcmp(benchmark::State& state) {
    const char* left = kLeft.c_str();
    const char* right = kRight.c_str();
    for (auto _ : state) {
        benchmark::DoNotOptimize(left);
        benchmark::DoNotOptimize(right);
        benchmark::DoNotOptimize(std::strcmp(left, right));
    }
}
BENCHMARK(BM_Compare64_strcmp);

QORBENCH_TARGET({"integer -> text (\"%d\") vs snprintf", "BM_IntegerToText",
                 "BM_IntegerToText_snprintf", Goal::AtLeastTimesFaster, 8});
QORBENCH_TARGET({"real -> text (\"%.12lg\") vs snprintf", "BM_RealToText", "BM_RealToText_snprintf",
                 Goal::AtLeastTimesFaster, 3});
QORBENCH_TARGET({"text -> integer (\"%d\") vs sscanf", "BM_TextToInteger",
                 "BM_TextToInteger_sscanf", Goal::AtLeastTimesFaster, 4});
QORBENCH_TARGET({"text -> real (\"%lg\") vs sscanf", "BM_TextToReal", "BM_TextToReal_sscanf",
                 Goal::AtLeastTimesFaster, 4});
QORBENCH_TARGET({"assign 18-char text vs string::assign", "BM_AssignText18",
                 "BM_AssignText18_string", Goal::AtMostTimesBaseline, 1.2});
QORBENCH_TARGET({"AppendChar to 1 MiB vs string::push_back", "BM_AppendCharMiB",
                 "BM_AppendCharMiB_string", Goal::AtMostTimesBaseline, 1.2});
QORBENCH_TARGET({"Append 16-byte pieces vs string::append", "BM_Append16", "BM_Append16_string",
                 Goal::AtMostTimesBaseline, 1.0});
QORBENCH_TARGET({"compare 64-byte texts vs strcmp", "BM_Compare64", "BM_Compare64_strcmp",
                 Goal::AtMostTimesBaseline, 1.2});

// Counts the values whose text differs from snprintf's with the same format.
template <typename Number, typename Next>
long Mismatches(long count, const char* format, Next next) {
    long mismatches = 0;
    for (long i = 0; i < count; ++i) {
        const Number number = next(i);
        char expected[64];
        std::snprintf(expected, sizeof expected, format, number);
        FIAttribute value(number);
        if (std::strcmp(value.ChangeType(FIAttribute::FT_SHORT_TEXT).c_str(), expected) != 0) {
            if (++mismatches <= 5) {
                std::fprintf(stderr, "mismatch: '%s' against '%s'\n", value.c_str(), expected);
            }
        }
    }
    return mismatches;
}

void CheckIdentity(long count) {
    std::mt19937_64 random(4);
    const long reals = Mismatches<double>(count, "%.12lg", [&](long i) {
        switch (i % 4) {
        case 0:
            return FromBits(random());
        case 1:
            return TypedDecimal(random);
        case 2:
            return RoundingTie(random);
        default:
            return std::pow(10.0, static_cast<double>(i % 640) - 325);
        }
    });
    qorbench::AddCheck("real -> text identical to \"%.12lg\" (" + std::to_string(count) +
                           " values)",
                       std::to_string(reals) + " mismatches", "0 mismatches", reals == 0);
    const long integers = Mismatches<int>(count, "%d", [&](long) { return SomeInteger(random); });
    qorbench::AddCheck("integer -> text identical to \"%d\" (" + std::to_string(count) + " values)",
                       std::to_string(integers) + " mismatches", "0 mismatches", integers == 0);
}

} // namespace

int main(int argc, char** argv) {
    const char* count = std::getenv("QORBENCH_IDENTITY_COUNT");
    CheckIdentity(count != nullptr ? std::atol(count) : 10000000);
    return qorbench::RunBenchmarks(argc, argv);
}
