#include "support/BenchTable.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <map>
#include <string>
#include <vector>

namespace qorbench {
namespace {

struct Row {
    std::string caseName;
    std::string value;
    std::string target;
    std::string result;
};

std::vector<Target>& Targets() {
    static std::vector<Target> targets;
    return targets;
}

std::vector<GrowthTarget>& GrowthTargets() {
    static std::vector<GrowthTarget> targets;
    return targets;
}

std::vector<Row>& Checks() {
    static std::vector<Row> checks;
    return checks;
}

// The key a target names a benchmark by: its function name and its arguments.
std::string KeyOf(const benchmark::BenchmarkReporter::Run& run) {
    const auto& name = run.run_name;
    return name.args.empty() ? name.function_name : name.function_name + "/" + name.args;
}

// Whether the run stopped with an error or was skipped: Google Benchmark 1.8 replaced
// `error_occurred` with `skipped`; the overload that compiles is the library's.
template <class RunType>
auto Skipped(const RunType& run, int) -> decltype(static_cast<bool>(run.skipped)) {
    return static_cast<bool>(run.skipped);
}

template <class RunType> bool Skipped(const RunType& run, long) {
    return run.error_occurred;
}

// Shows the aggregates on the console as usual and keeps, for every benchmark, the least CPU
// time per iteration among its repetitions: on a shared machine the least disturbed one. A
// benchmark that measures its own time (UseManualTime, such as another process's processor
// time) or asks for real time is judged on that time.
class CapturingReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        std::vector<Run> shown;
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Aggregate || run.repetitions <= 1) {
                shown.push_back(run);
            }
            if (run.run_type != Run::RT_Iteration || Skipped(run, 0) || run.iterations == 0) {
                continue;
            }
            const double total = run.run_name.time_type.empty() ? run.cpu_accumulated_time
                                                                : run.real_accumulated_time;
            const double seconds = total / static_cast<double>(run.iterations);
            auto [it, added] = m_best.emplace(KeyOf(run), seconds);
            if (!added) {
                it->second = std::min(it->second, seconds);
            }
        }
        if (!shown.empty()) {
            ConsoleReporter::ReportRuns(shown);
        }
    }

    // Seconds per iteration, or a negative number when the benchmark did not run.
    double Best(const std::string& key) const {
        auto it = m_best.find(key);
        return it == m_best.end() ? -1.0 : it->second;
    }

private:
    std::map<std::string, double> m_best;
};

std::string Format(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

Row RowOf(const Target& target, const CapturingReporter& reporter) {
    const double subject = reporter.Best(target.subject);
    const double baseline = reporter.Best(target.baseline);
    if (target.goal == Goal::AtLeastTimesFaster) {
        const double speedup = baseline / subject;
        return {target.caseName, Format("%.2fx faster", speedup),
                Format(">= %gx faster", target.target),
                speedup >= target.target ? "met" : "NOT met"};
    }
    const double ratio = subject / baseline;
    return {target.caseName, Format("%.2fx the time", ratio), Format("<= %gx", target.target),
            ratio <= target.target ? "met" : "NOT met"};
}

// The growth row, or nothing when one of its four benchmarks did not run.
bool GrowthRowOf(const GrowthTarget& target, const CapturingReporter& reporter, Row& row) {
    const double times[] = {reporter.Best(target.subjectSmall), reporter.Best(target.subjectLarge),
                            reporter.Best(target.baselineSmall),
                            reporter.Best(target.baselineLarge)};
    if (std::any_of(std::begin(times), std::end(times), [](double time) { return time <= 0; })) {
        return false;
    }
    const double subject = times[1] / times[0];
    const double baseline = times[3] / times[2];
    const double ratio = subject / baseline;
    char value[96];
    std::snprintf(value, sizeof value, "%.2fx (x%.2f, baseline x%.2f)", ratio, subject, baseline);
    row = {target.caseName, value, Format("<= %gx", target.target),
           ratio <= target.target ? "met" : "NOT met"};
    return true;
}

void PrintTable(const std::vector<Row>& rows) {
    size_t widths[3] = {4, 5, 6};
    for (const Row& row : rows) {
        widths[0] = std::max(widths[0], row.caseName.size());
        widths[1] = std::max(widths[1], row.value.size());
        widths[2] = std::max(widths[2], row.target.size());
    }
    const auto line = [&](const std::string& a, const std::string& b, const std::string& c,
                          const std::string& d) {
        std::printf("%-*s  %-*s  %-*s  %s\n", static_cast<int>(widths[0]), a.c_str(),
                    static_cast<int>(widths[1]), b.c_str(), static_cast<int>(widths[2]), c.c_str(),
                    d.c_str());
    };
    std::printf("\n");
    line("case", "ratio", "target", "result");
    for (const Row& row : rows) {
        line(row.caseName, row.value, row.target, row.result);
    }
}

void AppendToFile(const char* path, const std::vector<Row>& rows) {
    FILE* file = std::fopen(path, "a");
    if (file == nullptr) {
        std::fprintf(stderr, "cannot append the table to %s\n", path);
        return;
    }
    for (const Row& row : rows) {
        std::fprintf(file, "%s\t%s\t%s\t%s\n", row.caseName.c_str(), row.value.c_str(),
                     row.target.c_str(), row.result.c_str());
    }
    std::fclose(file);
}

} // namespace

int AddTarget(const Target& target) {
    Targets().push_back(target);
    return 0;
}

void AddGrowthTarget(const GrowthTarget& target) {
    GrowthTargets().push_back(target);
}

void AddCheck(const std::string& caseName, const std::string& value, const std::string& target,
              bool met) {
    Checks().push_back({caseName, value, target, met ? "met" : "NOT met"});
}

int RunBenchmarks(int argc, char** argv) {
    // Defaults first, so that the same flags given on the command line win.
    std::vector<char*> args(argv, argv + argc);
    static char repetitions[] = "--benchmark_repetitions=7";
    static char interleaving[] = "--benchmark_enable_random_interleaving=true";
    static char minTime[] = "--benchmark_min_time=0.1";
    args.insert(args.begin() + 1, {repetitions, interleaving, minTime});
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
    if (benchmark::ReportUnrecognizedArguments(count, args.data())) {
        return 2;
    }
    CapturingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    std::vector<Row> rows = Checks();
    for (const Target& target : Targets()) {
        if (reporter.Best(target.subject) > 0 && reporter.Best(target.baseline) > 0) {
            rows.push_back(RowOf(target, reporter));
        }
    }
    for (const GrowthTarget& target : GrowthTargets()) {
        Row row;
        if (GrowthRowOf(target, reporter, row)) {
            rows.push_back(row);
        }
    }
    PrintTable(rows);
    if (const char* path = std::getenv("QORBENCH_TABLE")) {
        AppendToFile(path, rows);
    }
    const bool checksMet = std::all_of(Checks().begin(), Checks().end(),
                                       [](const Row& row) { return row.result == "met"; });
    return checksMet ? 0 : 1;
}

} // namespace qorbench
