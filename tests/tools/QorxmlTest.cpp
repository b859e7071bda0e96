// qorxml run as a process: its output formats byte for byte, its error lines, exit statuses and
// several files in one call.
#include "support/RunProgram.h"
#include "support/TestSupport.h"

#include <QorUtils/Version.h>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <regex>
#include <string>
#include <thread>
#include <vector>

using qortest::Lines;
using qortest::PipeWrittenInParts;
using qortest::ProgramRun;
using qortest::ReadFile;
using qortest::RunProgramOn;
using qortest::ScopedTempDir;
using qortest::WriteFile;

namespace {

const std::string k_data = QORUTILS_TEST_DATA_DIR "/qorxml/";

// A root element holding `count` empty elements.
std::string ManyElements(int count) {
    std::string document = "<r>";
    for (int i = 0; i < count; ++i) {
        document += "<e/>";
    }
    return document + "</r>";
}

// Joins a thread that writes into the FIFO `path`, standing in as its reader meanwhile, so that
// a run that never opened the FIFO does not leave the writer blocked for good.
void JoinFifoWriter(std::thread& writer, const std::string& path) {
    const int reader = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    writer.join();
    close(reader);
}

// Runs qorxml inside a fresh temporary directory, which also takes the default error log.
class QorxmlTest : public testing::Test {
protected:
    void SetUp() override {
        program = qortest::BuiltProgram("tools/qorxml");
        ASSERT_FALSE(program.empty()) << "QORUTILS_BINARY_DIR is not set";
    }

    ProgramRun Run(const std::vector<std::string>& args, const std::string& input = "") {
        return qortest::RunProgram(program, args, dir.path(), input);
    }
    std::string Write(const std::string& name, const std::string& content) {
        EXPECT_TRUE(WriteFile(dir.file(name), content));
        return dir.file(name);
    }

    ScopedTempDir dir;
    std::string program;
};

TEST_F(QorxmlTest, EventsDumpMatchesExpectedBytes) {
    const ProgramRun run = Run({"--events", k_data + "events.xml"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out, ReadFile(k_data + "events.expected"));
}

TEST_F(QorxmlTest, StandardInputIsReadForDash) {
    const ProgramRun run = Run({"--events", "-"}, k_data + "events.xml");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, ReadFile(k_data + "events.expected"));
}

// "-" reads descriptor 0 as it stands, from where it stands, and --stats counts what it read.
TEST_F(QorxmlTest, StandardInputIsReadAsItStands) {
    const std::string document = "<a k=\"v\">text<b/></a>\n";
    auto send = [&](int ends[2]) {
        EXPECT_EQ(write(ends[1], document.data(), document.size()),
                  static_cast<ssize_t>(document.size()));
        close(ends[1]);
        return ends[0];
    };
    struct Case {
        const char* input;
        std::function<int()> open;
    };
    std::thread writer;
    const Case cases[] = {
        {"pipe",
         [&] {
             int ends[2] = {-1, -1};
             EXPECT_EQ(pipe2(ends, O_CLOEXEC), 0);
             return send(ends);
         }},
        {"socket pair",
         [&] {
             int ends[2] = {-1, -1};
             EXPECT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends), 0);
             return send(ends);
         }},
        {"pipe that does not block, written in parts",
         [&] {
             return PipeWrittenInParts({document.substr(0, 5), document.substr(5)}, writer);
         }},
        {"file whose first bytes were read",
         [&] {
             const std::string skipped = "<read-by-someone-else/>";
             const int fd = open(Write("in.xml", skipped + document).c_str(), O_RDONLY | O_CLOEXEC);
             char buffer[64];
             EXPECT_EQ(read(fd, buffer, skipped.size()), static_cast<ssize_t>(skipped.size()));
             return fd;
         }},
    };
    const std::string expected = Run({"--events", Write("expected.xml", document)}).out;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input);
        const int fd = c.open();
        const ProgramRun run = RunProgramOn(fd, program, {"--events", "--stats", "-"}, dir.path());
        close(fd);
        if (writer.joinable()) {
            writer.join();
        }
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.out, expected);
        EXPECT_EQ(run.err.rfind("-: 2 elements, 1 attributes, 4 text bytes; " +
                                    std::to_string(document.size()) + " bytes in ",
                                0),
                  0u)
            << run.err;
    }
}

// Standard output that does not block (as a parent may leave it) is waited on when it is full.
TEST_F(QorxmlTest, WaitsOnAStandardOutputThatDoesNotBlock) {
    const std::string path = Write("big.xml", ManyElements(40000));
    int ends[2] = {-1, -1};
    ASSERT_EQ(pipe2(ends, O_CLOEXEC), 0);
    ASSERT_EQ(fcntl(ends[1], F_SETFL, O_NONBLOCK), 0);
    std::string out;
    std::thread drain([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        char buffer[4096];
        for (ssize_t got; (got = read(ends[0], buffer, sizeof buffer)) > 0;) {
            out.append(buffer, static_cast<size_t>(got));
        }
    });
    const int input = open("/dev/null", O_RDONLY | O_CLOEXEC);
    const ProgramRun run = RunProgramOn(input, program, {path}, dir.path(), ends[1]);
    close(input);
    close(ends[1]);
    drain.join();
    close(ends[0]);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(out == Run({path}).out) << out.size() << " bytes";
}

// Under a pseudo-terminal, a read that takes over a second shows its progress on standard
// error, unless standard output is the terminal too: the line would be mixed with the output.
TEST_F(QorxmlTest, ProgressShowsOnlyWhenTheOutputIsNotATerminal) {
    const std::string path = Write("slow.xml", ManyElements(5000));
    const std::pair<const char*, bool> cases[] = {{"", false}, {" > /dev/null", true}};
    for (const auto& [redirect, shown] : cases) {
        SCOPED_TRACE(redirect);
        const std::string command =
            "(sleep 1.5; cat '" + path + "') | '" + program + "' -" + redirect;
        const ProgramRun run = qortest::RunProgram("script", {"-qec", command, "/dev/null"});
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.out.find("qorxml: -: line 1, ") != std::string::npos, shown) << run.out;
        EXPECT_EQ(run.out.rfind(shown ? "\r" : "r\r\n  e\r\n", 0), 0u);
    }
}

// The progress line of a long path fits the terminal's width: a wider line wraps, and the
// carriage return that redraws it leaves its first rows behind.
TEST_F(QorxmlTest, ProgressLineFitsTheTerminal) {
    const std::string document = ManyElements(5000);
    const std::string fifo = dir.file(std::string(80, 'n') + ".xml");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::thread writer([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        EXPECT_TRUE(WriteFile(fifo, document));
    });
    const std::string command = "stty cols 60; '" + program + "' '" + fifo + "' > /dev/null";
    const ProgramRun run = qortest::RunProgram("script", {"-qec", command, "/dev/null"});
    JoinFifoWriter(writer, fifo);
    EXPECT_EQ(run.status, 0);
    const std::string shown = std::regex_replace(run.out, std::regex("\x1b\\[K"), "");
    EXPECT_NE(shown.find(" elements, "), std::string::npos) << shown;
    for (const std::string& piece : Lines(std::regex_replace(shown, std::regex("\r"), "\n"))) {
        EXPECT_LT(piece.size(), 60u) << piece;
    }
}

TEST_F(QorxmlTest, OutlineIndentsElementsWithQuotedAttributes) {
    const std::string path =
        Write("outline.xml", "<a x=\"1\" y='say \"hi\"\\'>text<b/><c z=\"&#233;\"><d/></c></a>");
    const ProgramRun run = Run({path});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "a x=\"1\" y=\"say \\\"hi\\\"\\\\\"\n"
                       "  b\n"
                       "  c z=\"\\xe9\"\n"
                       "    d\n");
    EXPECT_EQ(Run({"--outline", path}).out, run.out);
}

TEST_F(QorxmlTest, OutlineOfADeepDocumentStaysLinear) {
    std::string document;
    for (int i = 0; i < 70; ++i) {
        document += "<e>";
    }
    for (int i = 0; i < 70; ++i) {
        document += "</e>";
    }
    const std::vector<std::string> lines = Lines(Run({Write("deep.xml", document)}).out);
    ASSERT_EQ(lines.size(), 70u);
    EXPECT_EQ(lines[64], std::string(128, ' ') + "e");
    EXPECT_EQ(lines[65], std::string(128, ' ') + "[65] e");
    EXPECT_EQ(lines[69], std::string(128, ' ') + "[69] e");
}

// Nesting does not cost a stack frame per level, in the handler tree or in qorxml.
TEST_F(QorxmlTest, MillionDeepDocumentIsRead) {
    const int depth = 1000000;
    std::string document;
    document.reserve(7u * depth + 1);
    for (int i = 0; i < depth; ++i) {
        document += "<a>";
    }
    document += "x";
    for (int i = 0; i < depth; ++i) {
        document += "</a>";
    }
    const ProgramRun run = Run({"--events", "--stats", Write("deep.xml", document)});
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.err.find(": 1000000 elements, 0 attributes, 1 text bytes; "), std::string::npos)
        << run.err;
    EXPECT_EQ(run.out.size(), (8u + 6u) * depth + 7u);
    EXPECT_EQ(run.out.substr(8u * depth - 16, 23), "start a\nstart a\ntext x\n");
}

TEST_F(QorxmlTest, StatsCountElementsAttributesAndTextBytes) {
    const std::string path =
        Write("stats.xml", "<a k=\"v\" l=\"w\">caf&#233;<b m=\"\"/>\xe2\x82\xac</a>");
    const ProgramRun run = Run({"--stats", path});
    EXPECT_EQ(run.status, 0);
    const std::vector<std::string> lines = Lines(run.err);
    ASSERT_EQ(lines.size(), 1u) << run.err;
    EXPECT_EQ(lines[0].rfind(path + ": 2 elements, 3 attributes, 5 text bytes; 40 bytes in ", 0),
              0u)
        << lines[0];
    EXPECT_NE(lines[0].find(" MiB/s"), std::string::npos);
}

// --stats counts the bytes read from a named file that is not a regular one (a FIFO, a pipe).
TEST_F(QorxmlTest, StatsCountTheBytesReadFromAFifoOrPipe) {
    const std::string document = "<a k=\"v\">text</a>\n";
    const std::string fifo = dir.file("fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::thread writer([&] { EXPECT_TRUE(WriteFile(fifo, document)); });
    int ends[2] = {-1, -1};
    ASSERT_EQ(pipe2(ends, O_CLOEXEC), 0);
    ASSERT_EQ(write(ends[1], document.data(), document.size()),
              static_cast<ssize_t>(document.size()));
    close(ends[1]);
    const ProgramRun run =
        RunProgramOn(ends[0], program, {"--stats", fifo, "/dev/stdin"}, dir.path());
    close(ends[0]);
    JoinFifoWriter(writer, fifo);
    EXPECT_EQ(run.status, 0);
    const std::vector<std::string> lines = Lines(run.err);
    ASSERT_EQ(lines.size(), 3u) << run.err;
    const std::string counts = ": 1 elements, 1 attributes, 4 text bytes; 18 bytes in ";
    EXPECT_EQ(lines[0].rfind(fifo + counts, 0), 0u) << lines[0];
    EXPECT_EQ(lines[1].rfind("/dev/stdin" + counts, 0), 0u) << lines[1];
}

// Each malformed document: the output up to the error, the error line and the log line.
TEST_F(QorxmlTest, ParseErrorsGoToStandardErrorAndLog) {
    struct Case {
        const char* document;
        const char* out;
        int line;
        int column;
        const char* description;
    };
    const Case cases[] = {
        {"<a>\n<b></a>", "start a\ntext \\n\nstart b\n", 2, 6, "mismatched tag"},
        {"<a>&nope;</a>", "start a\n", 1, 4, "undefined entity"},
        {"<a><b>", "start a\nstart b\n", 1, 7, "no element found"},
        {"", "", 1, 1, "no element found"},
        {"<a></a><b/>", "start a\nend a\n", 1, 8, "junk after document element"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.document);
        const std::string path = Write("bad.xml", c.document);
        const std::string log = dir.file("errors.log");
        const ProgramRun run = Run({"--events", "--log", log, path});
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.out, c.out);
        EXPECT_EQ(run.err, path + ":" + std::to_string(c.line) + ":" + std::to_string(c.column) +
                               ": error: " + c.description + "\n");
        const std::string logged = " at line " + std::to_string(c.line) + " column " +
                                   std::to_string(c.column) + ", " + c.description + "\n";
        EXPECT_NE(ReadFile(log).find(logged), std::string::npos) << ReadFile(log);
    }
}

TEST_F(QorxmlTest, MissingFileIsAnErrorInTheDefaultLog) {
    const ProgramRun run = Run({"missing.xml"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "missing.xml:1:1: error: cannot open file 'missing.xml': No such file or "
                       "directory\n");
    EXPECT_NE(ReadFile(dir.file("QorErrors.log")).find("XML Parser fatal error: 0x80040300"),
              std::string::npos);
}

// Standard error and the log name a file by its bytes: UTF-8, Shift_JIS, stray bytes.
TEST_F(QorxmlTest, ErrorLinesNameTheFileByItsBytes) {
    for (const std::string name : {"caf\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80.xml",
                                   "\x83\x65\x83\x58\x83\x67.xml", "\xFF\xED\xA0\x80\xC3.xml"}) {
        const std::string description =
            "cannot open file '" + name + "': No such file or directory";
        EXPECT_EQ(Run({name}).err, name + ":1:1: error: " + description + "\n");
        EXPECT_NE(ReadFile(dir.file("QorErrors.log")).find(description), std::string::npos);
    }
}

TEST_F(QorxmlTest, UsageErrorsExitWithTwo) {
    const std::string good = Write("good.xml", "<a/>");
    const std::vector<std::vector<std::string>> cases = {
        {"--bogus", good},
        {"-x", good},
        {"--events", "--outline", good},
        {"--level", "high", good},
        {"--level=", good},
        {"--level", "99999999999", good},
        {good, "--log"},
        {"--log=", good},
        {},
        {"--stats"},
        {"-j0", good},
        {"-j", "0", good},
        {"-jx", good},
        {"--jobs=", good},
        {"--files-from", "missing.list"},
        {"--files-from"},
    };
    for (const std::vector<std::string>& args : cases) {
        std::string joined;
        for (const std::string& arg : args) {
            joined += arg + " ";
        }
        SCOPED_TRACE(joined);
        const ProgramRun run = Run(args);
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err.rfind("qorxml: ", 0), 0u) << run.err;
        EXPECT_NE(run.err.find("Try 'qorxml --help'."), std::string::npos);
    }
    EXPECT_EQ(Run({good}).status, 0);
    EXPECT_EQ(Run({"--events", "--events", good}).status, 0) << "a format given twice";
}

// The log, emptied by its first write, may not be the output, the error output or a document
// (a file: /dev/null may be everything). Each such run is refused before anything is written.
TEST_F(QorxmlTest, ALogThatWouldEmptyTheOutputOrADocumentIsRefused) {
    const std::string good = Write("good.xml", "<a/>");
    const std::string bad = Write("bad.xml", "<a>");
    struct Case {
        std::vector<std::string> args;
        std::string output; // standard output, appended to
        int status;
        std::string err;
    };
    const Case cases[] = {
        {{"--log", "out.txt", good, bad}, "out.txt", 2, "is the standard output"},
        {{good, bad}, "QorErrors.log", 2, "is the standard output"},
        {{"--log", bad, good, bad}, "", 2, "is the document '" + bad + "'"},
        {{"--log", "/dev/null", good}, "/dev/null", 0, ""},
    };
    const int input = open("/dev/null", O_RDONLY | O_CLOEXEC);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.front());
        const std::string output = c.output.empty() ? "other.txt" : c.output;
        const std::string path = output[0] == '/' ? output : dir.file(output);
        ASSERT_TRUE(output[0] == '/' || WriteFile(path, "kept\n"));
        const int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
        const ProgramRun run = RunProgramOn(input, program, c.args, dir.path(), fd);
        close(fd);
        EXPECT_EQ(run.status, c.status);
        EXPECT_NE(run.err.find(c.err), std::string::npos) << run.err;
        if (c.status == 2) {
            EXPECT_EQ(ReadFile(path), "kept\n");
            EXPECT_EQ(ReadFile(bad), "<a>");
        }
    }
    close(input);
}

// A list that never ends is refused with status 2: one of NUL bytes at the first of them, one of
// lines when memory runs out (limited here, except under the sanitizer, which reserves much).
TEST_F(QorxmlTest, AListThatNeverEndsIsRefused) {
    const std::string limit = qortest::kSanitized ? "" : "ulimit -v 400000; ";
    for (const char* command :
         {"exec \"$0\" --files-from /dev/zero", "yes | \"$0\" --files-from -"}) {
        SCOPED_TRACE(command);
        if (qortest::kSanitized && command[0] == 'y') {
            continue;
        }
        const ProgramRun run = qortest::RunProgram("sh", {"-c", limit + command, program});
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(run.err.rfind("qorxml: ", 0), 0u) << run.err;
    }
}

// --help and --version answer on standard output and succeed, whatever follows them.
TEST_F(QorxmlTest, HelpAndVersionPrintAndSucceed) {
    const std::string usage = "Usage: qorxml [--events | --outline] [--stats] [--log FILE] "
                              "[--level N] [-j [N]]\n";
    const std::string version = std::string("qorxml (QorUtils) ") + QorUtilsVersion() + "\n";
    const std::pair<const char*, std::string> cases[] = {
        {"--help", usage}, {"-h", usage}, {"--version", version}};
    for (const auto& [option, begins] : cases) {
        SCOPED_TRACE(option);
        const ProgramRun run = Run({option, "ignored.xml", "--bogus"});
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.out.rfind(begins, 0), 0u) << run.out;
        EXPECT_EQ(run.err, "");
    }
    EXPECT_EQ(Run({"--version"}).out, version);
}

// Output that cannot be written (a full disk) fails the run, --help and --version as a reading;
// no file is read after the first write failed (the broken file would add its error).
TEST_F(QorxmlTest, OutputThatCannotBeWrittenFailsAndEndsTheRun) {
    const int input = open("/dev/null", O_RDONLY | O_CLOEXEC);
    const int full = open("/dev/full", O_WRONLY | O_CLOEXEC);
    ASSERT_GE(full, 0);
    const std::vector<std::string> files = {Write("good.xml", "<r/>"), Write("bad.xml", "<r>")};
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--help"}, {"--version"}, files}) {
        SCOPED_TRACE(args[0]);
        const ProgramRun run = RunProgramOn(input, program, args, dir.path(), full);
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.err, "qorxml: cannot write the output\n");
    }
    close(full);
    close(input);
}

// The manual page describes every option that --help lists, in roff ("\-\-name", fonts
// switched with "\fB" and the like).
TEST_F(QorxmlTest, ManualDescribesEveryOptionOfHelp) {
    std::string manual = ReadFile(qortest::BuiltProgram("tools/qorxml.1"));
    ASSERT_NE(manual, "");
    manual = std::regex_replace(manual, std::regex(R"(\\f[BIRP])"), "");
    manual = std::regex_replace(manual, std::regex(R"(\\-)"), "-");
    const std::string help = Run({"--help"}).out;
    const std::regex option(R"((^|[\s\[|,])(--?[a-z][a-z-]*))");
    int options = 0;
    for (auto it = std::sregex_iterator(help.begin(), help.end(), option);
         it != std::sregex_iterator(); ++it, ++options) {
        const std::string name = (*it)[2];
        EXPECT_TRUE(std::regex_search(manual, std::regex("(^|[^a-z-])" + name + "($|[^a-z-])")))
            << name << " is not in the manual";
    }
    EXPECT_GE(options, 7) << help;
}

TEST_F(QorxmlTest, SeveralFilesAreReadInTurn) {
    const std::string first = Write("first.xml", "<a><b/></a>");
    const std::string bad = Write("bad.xml", "<c>");
    const std::string last = Write("last.xml", "<d k=\"v\"/>");
    const ProgramRun run = Run({"--stats", first, bad, "--", last});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "==> " + first + " <==\na\n  b\n==> " + bad + " <==\nc\n==> " + last +
                           " <==\nd k=\"v\"\n");
    const std::vector<std::string> err = Lines(run.err);
    ASSERT_EQ(err.size(), 5u) << run.err;
    EXPECT_EQ(err[0].rfind(first + ": 2 elements, 0 attributes, 0 text bytes; ", 0), 0u);
    EXPECT_EQ(err[1], bad + ":1:4: error: no element found");
    EXPECT_EQ(err[2].rfind(bad + ": 1 elements, 0 attributes, 0 text bytes; ", 0), 0u);
    EXPECT_EQ(err[3].rfind(last + ": 1 elements, 1 attributes, 0 text bytes; ", 0), 0u);
    EXPECT_EQ(err[4].rfind("total: 4 elements, 1 attributes, 0 text bytes; 24 bytes in ", 0), 0u);

    const ProgramRun good = Run({first, last});
    EXPECT_EQ(good.status, 0);
    EXPECT_EQ(good.err, "");
}

// Read on several threads, a few hundred documents (some failing, some whose output passes what
// a file read ahead of its turn may keep) print what one thread prints, byte for byte.
TEST_F(QorxmlTest, JobsPrintWhatOneJobPrints) {
    std::vector<std::string> args = {"--events", "--stats", "--log", dir.file("errors.log")};
    for (int k = 0; k < 300; ++k) {
        const int elements = k % 100 == 7 ? 60000 : k % 5;
        std::string document = "<doc k=\"" + std::to_string(k) + "\">";
        for (int i = 0; i < elements; ++i) {
            document += "<e>text &amp; " + std::to_string(i) + "</e>";
        }
        args.push_back(
            Write("doc" + std::to_string(k) + ".xml", k % 9 == 4 ? document : document + "</doc>"));
    }
    // The times in --stats lines differ from run to run.
    const auto untimed = [](const std::string& err) {
        return std::regex_replace(err, std::regex(" in [0-9.]+ s, [0-9.]+ MiB/s"), "");
    };
    const ProgramRun one = Run(args);
    ASSERT_EQ(one.status, 1);
    ASSERT_EQ(Lines(one.err).size(), 300u + 300u / 9 + 1);
    for (const char* jobs : {"-j2", "-j", "--jobs=7"}) {
        SCOPED_TRACE(jobs);
        std::vector<std::string> withJobs = args;
        withJobs.insert(withJobs.begin(), jobs);
        const ProgramRun many = Run(withJobs);
        EXPECT_EQ(many.status, one.status);
        EXPECT_TRUE(many.out == one.out) << "the outputs differ";
        EXPECT_EQ(untimed(many.err), untimed(one.err));
    }
}

// More jobs than descriptors: each file read ahead holds its document open while it waits for
// its turn (its output passes 1 MiB), yet no file fails for want of a descriptor, also when the
// parent left descriptors open.
TEST_F(QorxmlTest, JobsBeyondTheDescriptorLimitReadEveryFile) {
    const std::string big = Write("big.xml", ManyElements(80000));
    for (const char* inherited :
         {"", "3</dev/null 4</dev/null 5</dev/null 6</dev/null 7</dev/null"}) {
        SCOPED_TRACE(inherited);
        std::vector<std::string> args = {
            "-c",    "ulimit -n 16 && exec \"$0\" \"$@\" > /dev/null " + std::string(inherited),
            program, "-j",
            "24",    "--events"};
        args.insert(args.end(), 24, big);
        const ProgramRun run = qortest::RunProgram("sh", args, dir.path());
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.err, "");
    }
}

// Standard input named by a path (/dev/stdin) is read in its turn, as "-" is: reading it ahead
// would take part of the input from the reading of "-".
TEST_F(QorxmlTest, StandardInputByAnyNameIsReadInItsTurn) {
    const std::string document = ManyElements(100000);
    const size_t half = document.size() / 2;
    std::vector<ProgramRun> runs;
    for (const char* jobs : {"-j1", "-j2"}) {
        std::thread writer;
        const int input =
            PipeWrittenInParts({document.substr(0, half), document.substr(half)}, writer);
        runs.push_back(
            RunProgramOn(input, program, {jobs, "--events", "-", "/dev/stdin"}, dir.path()));
        writer.join();
        close(input);
    }
    EXPECT_EQ(runs[1].status, runs[0].status);
    EXPECT_TRUE(runs[1].out == runs[0].out) << "the outputs differ";
    EXPECT_EQ(runs[1].err, runs[0].err);
}

// --files-from adds the paths of a list, one per line, where the option stands.
TEST_F(QorxmlTest, FilesFromReadsAListOfPaths) {
    const std::string a = Write("a.xml", "<a/>");
    const std::string b = Write("b.xml", "<b/>");
    const std::string c = Write("c.xml", "<c/>");
    const std::string list = Write("list", b + "\n\n" + c);
    struct Case {
        std::vector<std::string> args;
        std::string input;
        std::string out;
    };
    const Case cases[] = {
        {{a, "--files-from", list},
         "",
         "==> " + a + " <==\na\n==> " + b + " <==\nb\n==> " + c + " <==\nc\n"},
        {{"-j", "2", "--files-from=-", a},
         list,
         "==> " + b + " <==\nb\n==> " + c + " <==\nc\n==> " + a + " <==\na\n"},
        {{"--files-from", Write("one", a + "\n")}, "", "a\n"},
        {{"--files-from", Write("crlf", a + "\r\n" + b + "\r\n")},
         "",
         "==> " + a + " <==\na\n==> " + b + " <==\nb\n"},
        {{"--files-from", Write("empty", "")}, "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[0]);
        const ProgramRun run = Run(c.args, c.input);
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.out, c.out);
    }
    EXPECT_EQ(Run({"--files-from", "-", "-"}, list).status, 2);
    std::thread writer;
    const int fd = PipeWrittenInParts({a + "\n" + b.substr(0, 3), b.substr(3) + "\n"}, writer);
    const ProgramRun slow = RunProgramOn(fd, program, {"--files-from", "-"}, dir.path());
    writer.join();
    close(fd);
    EXPECT_EQ(slow.status, 0) << slow.err;
    EXPECT_EQ(slow.out, "==> " + a + " <==\na\n==> " + b + " <==\nb\n");
}

// With standard input closed, a list opened in its place is closed once read: "-" is still
// standard input, not the rest of the list.
TEST_F(QorxmlTest, AListNeverStandsInForAClosedStandardInput) {
    const std::string a = Write("a.xml", "<a/>");
    const ProgramRun run = qortest::RunProgram(
        "sh", {"-c", "exec \"$0\" \"$@\" <&-", program, "--files-from", Write("list", a), "-"},
        dir.path());
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "==> " + a + " <==\na\n==> - <==\n");
    EXPECT_NE(run.err.find("cannot read file '-': Bad file descriptor"), std::string::npos)
        << run.err;
}

// A standard output or error that the parent closed is never handed to a file qorxml opens:
// with -j the log, opened by one thread while another prints, took it, and took the output.
TEST_F(QorxmlTest, ClosedStandardOutputsAreNeverGivenToTheLog) {
    std::string list;
    // A missing file first: with the output closed, no file is read after the first.
    for (int i = 0; i < 200; ++i) {
        list += dir.file("missing" + std::to_string(i) + ".xml") + "\n";
        list += Write("good" + std::to_string(i) + ".xml", "<a/>") + "\n";
    }
    const std::string listFile = Write("list", list);
    const std::string log = dir.file("run.log");
    for (const char* closing : {">&-", "2>&-"}) {
        SCOPED_TRACE(closing);
        const std::string script = std::string("exec \"$0\" \"$@\" ") + closing;
        const ProgramRun run = qortest::RunProgram(
            "sh", {"-c", script, program, "-j", "2", "--log", log, "--files-from", listFile},
            dir.path());
        EXPECT_EQ(run.status, 1);
        const std::string written = ReadFile(log);
        EXPECT_NE(written.find("XML Parser fatal error: "), std::string::npos);
        for (const char* foreign : {"==> ", "\na\n", ": error: ", "qorxml: "}) {
            EXPECT_EQ(written.find(foreign), std::string::npos) << foreign;
        }
    }
}

TEST_F(QorxmlTest, LogOptionChoosesTheLogFile) {
    const std::string log = dir.file("chosen.log");
    const ProgramRun run = Run({"--level", "0", "--log=" + log, Write("bad.xml", "<a>")});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(ReadFile(log).find("XML Parser fatal error: "), std::string::npos);
    EXPECT_EQ(ReadFile(dir.file("QorErrors.log")), "");
}

} // namespace
