#include "qorxml/Options.h"

#include "qorxml/Descriptors.h"

#include <QorUtils/Version.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

namespace qorxml {

const char k_usage[] =
    "Usage: qorxml [--events | --outline] [--stats] [--log FILE] [--level N] [-j [N]]\n"
    "              [--files-from LIST] FILE...\n"
    "Reads each XML document through the QorUtils reader and handler tree (FILE '-' is\n"
    "standard input); with several files, each one's output follows a line ==> FILE <==.\n"
    "\n"
    "  --outline    an indented outline of the elements with their attributes (default)\n"
    "  --events     one line per event: start NAME, attr NAME=VALUE, text TEXT, end NAME\n"
    "  --stats      counts of elements, attributes and text bytes, and the throughput,\n"
    "               on standard error\n"
    "  --log FILE   the error log (default: QorErrors.log in the current directory)\n"
    "  --level N    the log's trace threshold (default 5)\n"
    "  -j N, --jobs=N\n"
    "               read N files at a time, on N threads (default 1; -j alone: one per\n"
    "               processor); the output is that of one job, file by file in order\n"
    "  --files-from LIST\n"
    "               read the files named in LIST as well, one per line (LIST '-' is\n"
    "               standard input)\n"
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

// The processors this process may run on.
unsigned Processors() {
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0) {
        return static_cast<unsigned>(std::max(1, CPU_COUNT(&set)));
    }
    return std::max(1u, std::thread::hardware_concurrency());
}

bool IsNumber(const char* text) {
    return *text != '\0' && std::strspn(text, "0123456789") == std::strlen(text);
}

bool ParseJobs(const char* text, unsigned& jobs) {
    char* end = nullptr;
    errno = 0;
    const unsigned long value = std::strtoul(text, &end, 10);
    if (!IsNumber(text) || errno != 0 || value == 0 || value > UINT_MAX) {
        return false;
    }
    jobs = static_cast<unsigned>(value);
    return true;
}

// Appends the paths that the list names, one per line (empty lines are skipped). A line ends at
// its line feed and at a carriage return before it, so that a list written with CRLF line ends
// names the same files.
bool ReadList(const char* path, std::vector<std::string>& files, std::string& problem) {
    const bool standardInput = std::strcmp(path, "-") == 0;
    const int fd = standardInput ? 0 : open(path, O_RDONLY | O_CLOEXEC);
    std::string list;
    const bool read = fd >= 0 && ReadText(fd, list);
    const int error = errno;
    if (fd >= 0 && !standardInput) {
        close(fd);
    }
    if (!read) {
        problem = std::string("cannot read the list '") + path + "': " + std::strerror(error);
        return false;
    }
    if (list.find('\0') != std::string::npos) {
        problem = std::string("the list '") + path + "' holds a NUL byte";
        return false;
    }
    for (size_t start = 0; start < list.size();) {
        const size_t end = std::min(list.find('\n', start), list.size());
        const size_t size = end - start - (end > start && list[end - 1] == '\r');
        if (size != 0) {
            files.push_back(list.substr(start, size));
        }
        start = end + 1;
    }
    return true;
}

} // namespace

Command ParseOptions(int argc, const char* const* argv, Options& options, std::string& problem) {
    bool formatGiven = false;
    bool optionsEnd = false;
    bool listGiven = false;
    bool listOnStandardInput = false;
    for (int index = 1; index < argc; ++index) {
        const char* arg = argv[index];
        if (optionsEnd || arg[0] != '-' || std::strcmp(arg, "-") == 0) {
            options.files.emplace_back(arg);
            continue;
        }
        const bool events = std::strcmp(arg, "--events") == 0;
        if (events || std::strcmp(arg, "--outline") == 0) {
            if (formatGiven && options.format != (events ? Format::Events : Format::Outline)) {
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
        } else if (std::strcmp(arg, "-j") == 0 || std::strcmp(arg, "--jobs") == 0) {
            // A count may follow; without one, a job per processor.
            const bool counted = index + 1 < argc && IsNumber(argv[index + 1]);
            if (!counted) {
                options.jobs = Processors();
            } else if (!ParseJobs(argv[++index], options.jobs)) {
                problem = std::string("option '") + arg + "' needs a number of jobs from 1";
                return Command::UsageError;
            }
        } else if (std::strncmp(arg, "-j", 2) == 0 || std::strncmp(arg, "--jobs=", 7) == 0) {
            const char* count = arg + (arg[1] == 'j' ? 2 : 7);
            if (!ParseJobs(count, options.jobs)) {
                problem =
                    std::string("option '-j' needs a number of jobs from 1, not '") + count + "'";
                return Command::UsageError;
            }
        } else if (const char* list = OptionValue("--files-from", argc, argv, index, problem)) {
            listGiven = true;
            listOnStandardInput = listOnStandardInput || std::strcmp(list, "-") == 0;
            if (!ReadList(list, options.files, problem)) {
                return Command::UsageError;
            }
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
    if (options.files.empty() && !listGiven) {
        problem = "no file given";
        return Command::UsageError;
    }
    if (listOnStandardInput &&
        std::find(options.files.begin(), options.files.end(), "-") != options.files.end()) {
        problem = "standard input holds the list of files, so '-' cannot be read as well";
        return Command::UsageError;
    }
    return Command::Run;
}

} // namespace qorxml
