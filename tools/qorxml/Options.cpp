#include "qorxml/Options.h"

#include <QorUtils/Version.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace qorxml {

const char k_usage[] =
    "Usage: qorxml [--events | --outline] [--stats] [--log FILE] [--level N] FILE...\n"
    "Reads each XML document through the QorUtils reader and handler tree (FILE '-' is\n"
    "standard input); with several files, each one's output follows a line ==> FILE <==.\n"
    "\n"
    "  --outline    an indented outline of the elements with their attributes (default)\n"
    "  --events     one line per event: start NAME, attr NAME=VALUE, text TEXT, end NAME\n"
    "  --stats      counts of elements, attributes and text bytes, and the throughput,\n"
    "               on standard error\n"
    "  --log FILE   the error log (default: QorErrors.log in the current directory)\n"
    "  --level N    the log's trace threshold (default 5)\n"
    "  --help       this text\n"
    "  --version    the version of qorxml and of the QorUtils library\n"
    "\n"
    "Names are local names. Texts are shown byte by byte: \\\\, \\n, \\r, \\t, and \\xNN for\n"
    "other control bytes and bytes from 0x80; characters above U+00FF read as '?'.\n"
    "Parse errors go to the log and to standard error as FILE:LINE:COLUMN: error: TEXT.\n"
    "Exit status: 0 when every file was read, 1 when some file had an error, 2 for a usage\n"
    "error.\n"
    "The manual page qorxml(1) says more.\n";

std::string VersionText() {
    return std::string("qorxml (QorUtils) ") + QorUtilsVersion() + "\n";
}

namespace {

// The value of an option that takes one: "--name=value" or "--name value". Null when `arg` is
// another option; `problem` is set when the value is missing.
const char* OptionValue(const char* name, int argc, const char* const* argv, int& index,
                        std::string& problem) {
    const char* arg = argv[index];
    const size_t length = std::strlen(name);
    if (std::strncmp(arg, name, length) != 0) {
        return nullptr;
    }
    if (arg[length] == '=') {
        return arg + length + 1;
    }
    if (arg[length] != '\0') {
        return nullptr;
    }
    if (index + 1 == argc) {
        problem = std::string("option '") + name + "' needs a value";
        return nullptr;
    }
    return argv[++index];
}

bool ParseLevel(const char* text, int& level) {
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text, &end, 10);
    if (*text == '\0' || *end != '\0' || errno != 0 || value < INT_MIN || value > INT_MAX) {
        return false;
    }
    level = static_cast<int>(value);
    return true;
}

} // namespace

Command ParseOptions(int argc, const char* const* argv, Options& options, std::string& problem) {
    bool formatGiven = false;
    bool optionsEnd = false;
    for (int index = 1; index < argc; ++index) {
        const char* arg = argv[index];
        if (optionsEnd || arg[0] != '-' || std::strcmp(arg, "-") == 0) {
            options.files.emplace_back(arg);
            continue;
        }
        const bool events = std::strcmp(arg, "--events") == 0;
        if (events || std::strcmp(arg, "--outline") == 0) {
            if (formatGiven) {
                problem = "--events and --outline exclude each other";
                return Command::UsageError;
            }
            formatGiven = true;
            options.format = events ? Format::Events : Format::Outline;
        } else if (std::strcmp(arg, "--stats") == 0) {
            options.stats = true;
        } else if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
            return Command::Help;
        } else if (std::strcmp(arg, "--version") == 0) {
            return Command::Version;
        } else if (std::strcmp(arg, "--") == 0) {
            optionsEnd = true;
        } else if (const char* path = OptionValue("--log", argc, argv, index, problem)) {
            if (*path == '\0') {
                problem = "option '--log' needs a file name";
                return Command::UsageError;
            }
            options.logPath = path;
        } else if (const char* level = OptionValue("--level", argc, argv, index, problem)) {
            if (!ParseLevel(level, options.level)) {
                problem = std::string("option '--level' needs a whole number, not '") + level + "'";
                return Command::UsageError;
            }
            options.levelGiven = true;
        } else {
            if (problem.empty()) {
                problem = std::string("unknown option '") + arg + "'";
            }
            return Command::UsageError;
        }
    }
    if (options.files.empty()) {
        problem = "no file given";
        return Command::UsageError;
    }
    return Command::Run;
}

} // namespace qorxml
