// qorxml: reads XML documents through MSXML2::SAXXMLReader, the two SAX adapters and a
// TopHandler over a handler that accepts every element, and prints what the handlers receive.
#include "qorxml/AcceptAllHandler.h"
#include "qorxml/DocumentPrinter.h"
#include "qorxml/ErrorReporter.h"
#include "qorxml/Options.h"
#include "qorxml/OutputBuffer.h"
#include "qorxml/Progress.h"

#include <QorUtils/log/FILog.h>
#include <QorUtils/platform/SAXXMLReader.h>
#include <QorUtils/xml/SAXContentHandlerImpl.h>
#include <QorUtils/xml/TopHandler.h>

#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <new>
#include <string>

#include <sys/stat.h>

using namespace qorxml;

namespace {

constexpr int k_exitOk = 0;
constexpr int k_exitParseError = 1;
constexpr int k_exitUsage = 2;

struct FileResult {
    bool ok;
    Counts counts;
    uint64_t bytes;
    double seconds;
};

uint64_t FileSize(const char* path) {
    struct stat status {};
    return stat(path, &status) == 0 && S_ISREG(status.st_mode)
               ? static_cast<uint64_t>(status.st_size)
               : 0;
}

// Reads one document with a fresh handler tree; the reader keeps the error handler.
FileResult ReadDocument(MSXML2::SAXXMLReader& reader, ErrorReporter& errors,
                        const std::string& name, OutputBuffer& out, Format format) {
    Progress progress(name.c_str());
    errors.SetFile(name.c_str(), &progress);
    DocumentPrinter printer(out, format, &progress);
    auto* root = new (std::nothrow) AcceptAllHandler(printer);
    auto* content = new SAXContentHandlerImpl(new TopHandler(root));
    reader.putContentHandler(content);
    const auto start = std::chrono::steady_clock::now();
    // "-" is standard input, read as it stands.
    const bool standardInput = name == "-";
    uint64_t bytes = 0;
    const long result = standardInput ? reader.parseDescriptor(0, name.c_str(), &bytes)
                                      : reader.parseURL(name.c_str());
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    reader.putContentHandler(nullptr);
    content->Release();
    errors.SetFile("", nullptr);
    bool ok = result >= 0;
    if (root == nullptr || printer.outOfMemory()) {
        out.Flush();
        std::fprintf(stderr, "%s: error: out of memory, elements were skipped\n", name.c_str());
        ok = false;
    }
    return {ok, printer.counts(), standardInput ? bytes : FileSize(name.c_str()), elapsed.count()};
}

void PrintStats(const char* name, const FileResult& result) {
    const double mebibytes = static_cast<double>(result.bytes) / (1024.0 * 1024.0);
    const double rate = result.seconds > 0 ? mebibytes / result.seconds : 0.0;
    std::fprintf(stderr,
                 "%s: %" PRIu64 " elements, %" PRIu64 " attributes, %" PRIu64
                 " text bytes; %" PRIu64 " bytes in %.3f s, %.1f MiB/s\n",
                 name, result.counts.elements, result.counts.attributes, result.counts.textBytes,
                 result.bytes, result.seconds, rate);
}

} // namespace

int main(int argc, char** argv) {
    Options options;
    std::string problem;
    switch (ParseOptions(argc, argv, options, problem)) {
    case Command::Help:
        std::fputs(k_usage, stdout);
        return k_exitOk;
    case Command::Version:
        std::fputs(VersionText().c_str(), stdout);
        return k_exitOk;
    case Command::UsageError:
        std::fprintf(stderr, "qorxml: %s\nTry 'qorxml --help'.\n", problem.c_str());
        return k_exitUsage;
    case Command::Run:
        break;
    }
    if (!options.logPath.empty()) {
        SetFILog(options.logPath.c_str());
    }
    if (options.levelGiven) {
        SetFILogLevel(options.level);
    }

    OutputBuffer out(stdout);
    auto* errors = new ErrorReporter(out);
    MSXML2::SAXXMLReader reader;
    reader.putErrorHandler(errors);
    const bool several = options.files.size() > 1;
    int status = k_exitOk;
    FileResult total{true, {}, 0, 0.0};
    for (const std::string& name : options.files) {
        if (several) {
            out.Write("==> ");
            out.Escape(name.c_str());
            out.Write(" <==\n");
        }
        const FileResult result = ReadDocument(reader, *errors, name, out, options.format);
        if (!result.ok) {
            status = k_exitParseError;
        }
        if (options.stats) {
            out.Flush();
            PrintStats(name.c_str(), result);
        }
        total.counts += result.counts;
        total.bytes += result.bytes;
        total.seconds += result.seconds;
    }
    if (options.stats && several) {
        PrintStats("total", total);
    }
    reader.putErrorHandler(nullptr);
    errors->Release();
    out.Flush();
    if (out.Failed()) {
        std::fprintf(stderr, "qorxml: cannot write the output\n");
        status = k_exitParseError;
    }
    return status;
}
