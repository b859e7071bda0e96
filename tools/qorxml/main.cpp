// qorxml: reads XML documents through MSXML2::SAXXMLReader, the two SAX adapters and a
// TopHandler over a handler that accepts every element, and prints what the handlers receive.
// With -j, several files are read at once on threads of its own, their output printed as one
// thread would print it.
#include "qorxml/Descriptors.h"
#include "qorxml/DocumentReader.h"
#include "qorxml/Options.h"
#include "qorxml/OutputBuffer.h"
#include "qorxml/ParallelReading.h"

#include <QorUtils/log/FILog.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <string>

using namespace qorxml;

namespace {

constexpr int k_exitOk = 0;
constexpr int k_exitParseError = 1;
constexpr int k_exitUsage = 2;

std::string StatsLine(const std::string& name, const FileResult& result) {
    const double mebibytes = static_cast<double>(result.bytes) / (1024.0 * 1024.0);
    const double rate = result.seconds > 0 ? mebibytes / result.seconds : 0.0;
    char line[256];
    std::snprintf(line, sizeof line,
                  ": %" PRIu64 " elements, %" PRIu64 " attributes, %" PRIu64 " text bytes; %" PRIu64
                  " bytes in %.3f s, %.1f MiB/s\n",
                  result.counts.elements, result.counts.attributes, result.counts.textBytes,
                  result.bytes, result.seconds, rate);
    return name + line;
}

// A standard descriptor that the parent closed would go to the next file opened (a document, the
// error log), and output or messages meant for it could land there. Each closed one is held by a
// descriptor that can be neither read nor written, so using it still fails with EBADF as before.
void HoldClosedStandardDescriptors() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) {
            continue;
        }
        const int held = open("/", O_PATH | O_CLOEXEC);
        if (held >= 0 && held != fd) {
            close(held);
        }
    }
}

// The log is emptied by its first write: one that is the same file as the output, the error
// output, standard input being read or a document would lose what that holds. Returns what it
// is ("the standard output", ...), or an empty text. Files only: /dev/null may be all of them.
std::string LogClash(const Options& options) {
    const std::string path = options.logPath.empty() ? "QorErrors.log" : options.logPath;
    struct stat log {};
    if (stat(path.c_str(), &log) != 0 || !S_ISREG(log.st_mode)) {
        return {};
    }
    const auto same = [&log](const struct stat& other) {
        return other.st_dev == log.st_dev && other.st_ino == log.st_ino;
    };
    const bool readsInput =
        std::find(options.files.begin(), options.files.end(), "-") != options.files.end();
    const char* const standard[] = {"the standard input", "the standard output",
                                    "the standard error"};
    struct stat other {};
    for (int fd = readsInput ? 0 : 1; fd <= 2; ++fd) {
        if (fstat(fd, &other) == 0 && same(other)) {
            return standard[fd];
        }
    }
    for (const std::string& file : options.files) {
        if (file != "-" && stat(file.c_str(), &other) == 0 && same(other)) {
            return "the document '" + file + "'";
        }
    }
    return {};
}

// Says on standard error that the output could not be written; returns the exit status.
int OutputFailed() {
    std::fprintf(stderr, "qorxml: cannot write the output\n");
    return k_exitParseError;
}

// Writes the text of --help or --version; returns the exit status.
int PrintText(const std::string& text) {
    return WriteAll(STDOUT_FILENO, text.data(), text.size()) ? k_exitOk : OutputFailed();
}

// Reads the files in the order given, on this thread or on the threads that `options.jobs`
// asks for, printing each one's output (under its name when there are several) and its stats,
// until the output cannot be written. Returns the exit status.
int ReadFiles(const Options& options, StandardSink& sink) {
    const std::vector<std::string>& files = options.files;
    ParallelReading parallel(files, options.format, sink);
    const auto jobs = static_cast<unsigned>(std::min<size_t>(options.jobs, files.size()));
    const bool inParallel = jobs > 1 && parallel.Start(jobs) > 0;
    DocumentReader reader(options.format);
    OutputBuffer out(sink);
    const bool several = files.size() > 1;
    int status = k_exitOk;
    FileResult total;
    const auto start = std::chrono::steady_clock::now();
    for (size_t index = 0; index < files.size() && !sink.Failed(); ++index) {
        const std::string& name = files[index];
        if (several) {
            out.Write("==> ");
            out.Escape(name.c_str());
            out.Write(" <==\n");
        }
        out.Flush();
        const FileResult result = inParallel ? parallel.Finish(index) : reader.Read(name, out);
        if (!result.ok) {
            status = k_exitParseError;
        }
        if (options.stats) {
            out.Message(StatsLine(name, result));
        }
        total.counts += result.counts;
        total.bytes += result.bytes;
    }
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    total.seconds = elapsed.count();
    if (options.stats && several) {
        out.Message(StatsLine("total", total));
    }
    return status;
}

} // namespace

int main(int argc, char** argv) {
    HoldClosedStandardDescriptors();
    Options options;
    std::string problem;
    switch (ParseOptions(argc, argv, options, problem)) {
    case Command::Help:
        return PrintText(k_usage);
    case Command::Version:
        return PrintText(VersionText());
    case Command::UsageError:
        std::fprintf(stderr, "qorxml: %s\nTry 'qorxml --help'.\n", problem.c_str());
        return k_exitUsage;
    case Command::Run:
        break;
    }
    const std::string clash = LogClash(options);
    if (!clash.empty()) {
        std::fprintf(stderr, "qorxml: the log is %s, which its first write would empty\n",
                     clash.c_str());
        return k_exitUsage;
    }
    if (!options.logPath.empty()) {
        SetFILog(options.logPath.c_str());
    }
    if (options.levelGiven) {
        SetFILogLevel(options.level);
    }
    StandardSink sink;
    const int status = ReadFiles(options, sink);
    return sink.Failed() ? OutputFailed() : status;
}
