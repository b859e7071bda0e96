// The table that ends every benchmark program: each row sets one benchmark beside a baseline
// measured in the same run, shows the ratio and says whether the row's target is met. A
// program registers its rows, then hands its main() over to RunBenchmarks. Single-threaded.
#pragma once

#include <string>

namespace qorbench {

// How a row's ratio is judged: the subject takes at most `target` times the baseline's time,
// or the subject is at least `target` times faster than the baseline.
enum class Goal { AtMostTimesBaseline, AtLeastTimesFaster };

struct Target {
    std::string caseName; // as the table shows it
    std::string subject;  // benchmark names as registered, with arguments: "BM_Append/16"
    std::string baseline;
    Goal goal;
    double target;
};

// Adds a ratio row; returns 0 so that a static can be initialised with it.
int AddTarget(const Target& target);

// How a subject's time grows from a smaller input to a larger one, against a baseline's growth
// on the same inputs: the row's ratio is (large / small) of the subject divided by the same of
// the baseline, met when at most `target`.
struct GrowthTarget {
    std::string caseName;
    std::string subjectSmall;
    std::string subjectLarge;
    std::string baselineSmall;
    std::string baselineLarge;
    double target;
};

// Adds a growth row; may be called before RunBenchmarks.
void AddGrowthTarget(const GrowthTarget& target);

// Adds a row that is not a ratio (an identity check, a memory figure). A check that is not
// met makes RunBenchmarks fail.
void AddCheck(const std::string& caseName, const std::string& value, const std::string& target,
              bool met);

// Runs the benchmarks the command line selects (each repeated and interleaved with the others
// unless the command line says otherwise), then prints the table and appends its rows to the
// file named by QORBENCH_TABLE, when set. Returns 1 when a check failed, 0 otherwise.
int RunBenchmarks(int argc, char** argv);

} // namespace qorbench

#define QORBENCH_CONCAT_(a, b) a##b
#define QORBENCH_CONCAT(a, b) QORBENCH_CONCAT_(a, b)
// Registers a ratio row at load time: QORBENCH_TARGET({"case", "BM_A", "BM_B", Goal..., 1.2});
#define QORBENCH_TARGET(...)                                                                       \
    static const int QORBENCH_CONCAT(qorbench_target_, __LINE__) =                                 \
        ::qorbench::AddTarget(__VA_ARGS__)
