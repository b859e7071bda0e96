// Options: qorxml's command line, read into a plain record, with the lists that --files-from
// names read into its files. Nothing is owned beyond the record's own strings; the argument
// vector is only read.
#pragma once

#include "qorxml/DocumentPrinter.h"

#include <string>
#include <vector>

namespace qorxml {

struct Options {
    Format format = Format::Outline;
    bool stats = false;
    // Empty: the library's default log.
    std::string logPath;
    bool levelGiven = false;
    int level = 0;
    // The number of threads that read files.
    unsigned jobs = 1;
    std::vector<std::string> files;
};

enum class Command { Run, Help, Version, UsageError };

// Reads argv[1..argc-1] into `options`, and the lists that --files-from names (standard input
// for "-"). On UsageError, `problem` says what is wrong.
Command ParseOptions(int argc, const char* const* argv, Options& options, std::string& problem);

// The text that --help prints.
extern const char k_usage[];

// The line that --version prints: the program's name and the library's version.
std::string VersionText();

} // namespace qorxml
