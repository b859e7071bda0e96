#include <QorUtils/log/FILog.h>

#include "support/TestSupport.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/magic.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <csignal>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

using qortest::ReadFile;
using qortest::ReturnsInAChild;
using qortest::WriteFile;

namespace {

// The header with a pattern for the time (HH:MM:SS) and the date (MM/DD/YY), then its empty line.
const std::string k_header = " FI Error Log, ([01][0-9]|2[0-3]):[0-5][0-9]:[0-5][0-9], "
                             "(0[1-9]|1[0-2])/(0[1-9]|[12][0-9]|3[01])/([0-9][0-9])\n\n";

// True when `content` is one header followed by exactly `body`.
bool HeaderThen(const std::string& content, const std::string& body) {
    std::smatch match;
    if (!std::regex_search(content, match, std::regex("^" + k_header),
                           std::regex_constants::match_continuous)) {
        return false;
    }
    return match.suffix().str() == body;
}

// Every test starts in a fresh directory with the log in its load state, and leaves it so.
class FILogTest : public testing::Test {
protected:
    FILogTest() : m_cwd(m_dir.path()) { CloseFILog(); }
    ~FILogTest() override { CloseFILog(); }

    std::string Read(const std::string& name) const { return ReadFile(m_dir.file(name)); }
    bool Exists(const std::string& name) const { return std::filesystem::exists(m_dir.file(name)); }

    qortest::ScopedTempDir m_dir;
    qortest::ScopedCurrentDir m_cwd;
};

} // namespace

TEST_F(FILogTest, FirstMessageStartsTheDefaultFileAfresh) {
    ASSERT_TRUE(WriteFile(m_dir.file("QorErrors.log"), "left from an earlier run\n"));
    FILogErr("first");
    EXPECT_TRUE(HeaderThen(Read("QorErrors.log"), " first\n")) << Read("QorErrors.log");
}

TEST_F(FILogTest, HeaderGivesLocalTimeThenLocalDate) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    OpenFILog("dated.log");
    std::smatch match;
    const std::string content = Read("dated.log");
    ASSERT_TRUE(std::regex_match(content, match, std::regex(k_header))) << content;
    EXPECT_EQ(std::stoi(match[4].str()), local.tm_year % 100);
    EXPECT_EQ(std::stoi(match[2].str()), local.tm_mon + 1);
    // A time zone that the host sets later holds for the next header.
    const char* zone = std::getenv("TZ");
    const std::string previous = zone != nullptr ? zone : "";
    int hours[2] = {};
    for (const char* east : {"UTC0", "UTC-12"}) {
        setenv("TZ", east, 1);
        OpenFILog("zoned.log");
        const std::string zoned = Read("zoned.log");
        ASSERT_TRUE(std::regex_match(zoned, match, std::regex(k_header))) << zoned;
        hours[east[3] == '-'] = std::stoi(match[1].str());
    }
    zone != nullptr ? setenv("TZ", previous.c_str(), 1) : unsetenv("TZ");
    tzset();
    EXPECT_EQ(hours[1], (hours[0] + 12) % 24);
}

TEST_F(FILogTest, EachMessageIsOneLineAfterABlank) {
    FILogErr("one");
    FILogErr("");
    FILogErr("100% %s %d");
    FILogErr(nullptr);
    EXPECT_TRUE(HeaderThen(Read("QorErrors.log"), " one\n \n 100% %s %d\n \n"))
        << Read("QorErrors.log");
}

TEST_F(FILogTest, OpenEmptiesTheFileAndKeepsThePathWhenGivenNone) {
    OpenFILog("a.log");
    FILogErr("before");
    OpenFILog(nullptr);
    FILogErr("after null");
    EXPECT_TRUE(HeaderThen(Read("a.log"), " after null\n")) << Read("a.log");
    OpenFILog("");
    EXPECT_TRUE(HeaderThen(Read("a.log"), "")) << Read("a.log");
    EXPECT_FALSE(Exists("QorErrors.log"));
}

TEST_F(FILogTest, TraceWritesLevelsUpToTheThreshold) {
    struct Case {
        int threshold;
        int level;
        bool written;
    };
    const Case cases[] = {{5, 5, true},  {5, 6, false}, {5, -3, true}, {0, 0, true},
                          {0, -1, true}, {0, 1, false}, {4, 5, false}, {9, 9, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "threshold " << c.threshold << " level " << c.level);
        OpenFILog("trace.log");
        SetFILogLevel(c.threshold);
        FILogTrace("traced", c.level);
        EXPECT_TRUE(HeaderThen(Read("trace.log"), c.written ? " traced\n" : ""));
    }
}

TEST_F(FILogTest, SetLevelReturnsThePreviousThreshold) {
    EXPECT_EQ(SetFILogLevel(7), 5);
    EXPECT_EQ(SetFILogLevel(0), 7);
    EXPECT_EQ(SetFILogLevel(-4), 0);
    CloseFILog();
    EXPECT_EQ(SetFILogLevel(5), 5);
}

TEST_F(FILogTest, SetFILogResetsTheThresholdOnlyWhenTheLogWasOpen) {
    SetFILogLevel(9);
    SetFILog("a.log");
    EXPECT_EQ(SetFILogLevel(9), 9) << "not open: the threshold stays";
    FILogErr("to a");
    SetFILog("b.log");
    EXPECT_EQ(SetFILogLevel(8), 5) << "open: passes through CloseFILog";
    SetFILog("c.log");
    EXPECT_EQ(SetFILogLevel(8), 8) << "second SetFILog before any write";
    EXPECT_FALSE(Exists("b.log"));
    EXPECT_FALSE(Exists("c.log"));
    FILogErr("to c");
    EXPECT_TRUE(HeaderThen(Read("a.log"), " to a\n"));
    EXPECT_TRUE(HeaderThen(Read("c.log"), " to c\n"));
}

TEST_F(FILogTest, NewPathStartsWithAHeaderEmptyingTheFile) {
    ASSERT_TRUE(WriteFile(m_dir.file("set.log"), "old\n"));
    SetFILog("set.log");
    EXPECT_EQ(Read("set.log"), "old\n") << "SetFILog itself writes nothing";
    FILogErr("new");
    EXPECT_TRUE(HeaderThen(Read("set.log"), " new\n")) << Read("set.log");
}

TEST_F(FILogTest, CloseThenMessageStartsTheDefaultFileAfresh) {
    SetFILog("custom.log");
    FILogErr("custom");
    FILogErr("to default");
    CloseFILog();
    FILogErr("again");
    EXPECT_TRUE(HeaderThen(Read("custom.log"), " custom\n to default\n"));
    EXPECT_TRUE(HeaderThen(Read("QorErrors.log"), " again\n"));
}

TEST_F(FILogTest, CloseResetsTheThresholdEvenWhenNeverOpened) {
    SetFILogLevel(2);
    CloseFILog();
    EXPECT_EQ(SetFILogLevel(5), 5);
}

TEST_F(FILogTest, PathLongerThan127CharactersIsKeptWhole) {
    const std::string dir = m_dir.file(std::string(150, 'd'));
    ASSERT_TRUE(std::filesystem::create_directory(dir));
    const std::string path = dir + "/" + std::string(100, 'f') + ".log";
    ASSERT_GT(path.size(), 250u);
    SetFILog(path.c_str());
    FILogErr("long path");
    EXPECT_TRUE(HeaderThen(ReadFile(path), " long path\n")) << ReadFile(path);
}

TEST_F(FILogTest, RelativePathNamesTheFileOfTheDirectoryWhereTheLogOpened) {
    ASSERT_TRUE(std::filesystem::create_directory(m_dir.file("elsewhere")));
    // No path set (the default file) and a path set, both relative.
    for (const char* path : {"", "set.log"}) {
        SCOPED_TRACE(path);
        SetFILog(path);
        FILogErr("here");
        {
            const qortest::ScopedCurrentDir elsewhere(m_dir.file("elsewhere"));
            FILogErr("after a change of directory");
        }
        const std::string name = *path != '\0' ? path : "QorErrors.log";
        EXPECT_TRUE(HeaderThen(Read(name), " here\n after a change of directory\n"));
        EXPECT_FALSE(Exists("elsewhere/" + name));
    }
    // Where the directory's own path leaves no room for the name, the name stays relative.
    std::string deep = m_dir.path();
    while (deep.size() + 1 + 240 < PATH_MAX) {
        deep += "/" + std::string(200, 'd');
        ASSERT_TRUE(std::filesystem::create_directory(deep));
    }
    const qortest::ScopedCurrentDir there(deep);
    SetFILog(std::string(240, 'f').c_str());
    FILogErr("deep");
    EXPECT_TRUE(HeaderThen(ReadFile(std::string(240, 'f')), " deep\n"));
}

TEST_F(FILogTest, UnopenableFileWritesNothingAndReturns) {
    SetFILog(m_dir.file("missing/dir/x.log").c_str());
    FILogErr("lost");
    FILogTrace("lost too", 0);
    OpenFILog(m_dir.file("missing/y.log").c_str());
    FILogErr("lost again");
    EXPECT_FALSE(Exists("missing"));
    EXPECT_FALSE(Exists("QorErrors.log"));
}

TEST_F(FILogTest, OpenWithNoPathEverSetHasNoFileToWrite) {
    OpenFILog(nullptr);
    FILogErr("nowhere");
    EXPECT_TRUE(std::filesystem::is_empty(m_dir.path()));
    CloseFILog();
    FILogErr("default again");
    EXPECT_TRUE(HeaderThen(Read("QorErrors.log"), " default again\n"));
}

TEST_F(FILogTest, UnwritablePathsWriteNothingAndLeaveTheLogUsable) {
    ASSERT_TRUE(WriteFile(m_dir.file("plain"), "a file, not a directory"));
    ASSERT_TRUE(std::filesystem::create_directory(m_dir.file("dir")));
    std::vector<std::string> paths = {
        m_dir.file("plain/x.log"),                  // a file where a directory should be
        m_dir.file("dir"),                          // a directory where the file should be
        m_dir.file(std::string(300, 'n') + ".log"), // a name longer than any allowed
        m_dir.file(std::string(5000, 'p').insert(2500, "/")), // a path longer than any allowed
    };
    // Opens, but every write fails.
    if (std::filesystem::is_character_file("/dev/full")) {
        paths.push_back("/dev/full");
    }
    for (const std::string& path : paths) {
        SCOPED_TRACE(path.substr(0, 80));
        SetFILog(path.c_str());
        FILogErr("lost");
        FILogTrace("lost too", 0);
        OpenFILog(path.c_str());
        FILogErr("lost again");
    }
    EXPECT_EQ(Read("plain"), "a file, not a directory");
    EXPECT_TRUE(std::filesystem::is_empty(m_dir.file("dir")));
    SetFILog("good.log");
    FILogErr("kept");
    EXPECT_TRUE(HeaderThen(Read("good.log"), " kept\n"));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(m_dir.path()),
                            std::filesystem::directory_iterator()),
              3);
}

TEST_F(FILogTest, ReadOnlyDirectoryAndFileWriteNothing) {
    const std::string dir = m_dir.file("read-only");
    ASSERT_TRUE(std::filesystem::create_directory(dir));
    ASSERT_TRUE(WriteFile(dir + "/old.log", "old\n"));
    std::filesystem::permissions(dir + "/old.log", std::filesystem::perms::owner_read);
    std::filesystem::permissions(dir, std::filesystem::perms::owner_read |
                                          std::filesystem::perms::owner_exec);
    if (access(dir.c_str(), W_OK) == 0) {
        GTEST_SKIP() << "this process may write into read-only directories (it runs as root); "
                        "the other unwritable paths are tested without that permission";
    }
    for (const std::string name : {"/new.log", "/old.log"}) {
        SetFILog((dir + name).c_str());
        FILogErr("lost");
    }
    EXPECT_FALSE(std::filesystem::exists(dir + "/new.log"));
    EXPECT_EQ(ReadFile(dir + "/old.log"), "old\n");
    std::filesystem::permissions(dir, std::filesystem::perms::owner_all);
}

TEST_F(FILogTest, PathOf4000CharactersIsUsedWhole) {
    std::string path = m_dir.path();
    while (path.size() < 4000 - 250) {
        path += "/" + std::string(240, 'd');
        ASSERT_TRUE(std::filesystem::create_directory(path));
    }
    path += "/" + std::string(4000 - path.size() - 5, 'f') + ".log";
    ASSERT_EQ(path.size(), 4000u);
    SetFILog(path.c_str());
    FILogErr("deep");
    EXPECT_TRUE(HeaderThen(ReadFile(path), " deep\n"));
}

TEST_F(FILogTest, MessageOfOneMegabyteIsWrittenWhole) {
    std::string message(1 << 20, 'm');
    message.replace(1000, 4, "%s%n");
    FILogErr(message.c_str());
    FILogTrace(message.c_str(), 0);
    EXPECT_TRUE(HeaderThen(Read("QorErrors.log"), " " + message + "\n " + message + "\n"));
}

TEST_F(FILogTest, FifoNeitherWaitsForAReaderNorEndsTheProcessWhenItLeaves) {
    const std::string fifo = m_dir.file("log.fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string message(1 << 20, 'm');
    for (const bool reader : {false, true}) {
        SCOPED_TRACE(reader ? "a reader that leaves mid-line" : "no reader");
        const auto logToTheFifo = [&] {
            if (reader) {
                // Reads the header and part of the message, then goes away. Its own writer
                // keeps the FIFO from reading as ended between the log's calls.
                const int in = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
                const int keep = open(fifo.c_str(), O_WRONLY);
                fcntl(in, F_SETFL, 0);
                std::thread([in, keep] {
                    char some[4096];
                    for (size_t got = 0; got < 3 * sizeof some;) {
                        got += static_cast<size_t>(read(in, some, sizeof some));
                    }
                    close(in);
                    close(keep);
                }).detach();
            }
            OpenFILog(fifo.c_str());
            FILogErr(message.c_str());
        };
        EXPECT_TRUE(ReturnsInAChild(logToTheFifo));
    }
}

// A thread whose write waits for a FIFO's reader holds the log; a trace that the threshold
// keeps out, on any other thread, goes on without waiting for it.
TEST_F(FILogTest, TraceKeptOutDoesNotWaitForABlockedWrite) {
    const std::string fifo = m_dir.file("log.fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_TRUE(ReturnsInAChild([&] {
        const int in = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
        OpenFILog(fifo.c_str());
        int header = 0;
        ioctl(in, FIONREAD, &header);
        // Once part of the message is in the FIFO, the writing thread holds the log until the
        // rest (more than the FIFO holds) is read, which never happens.
        std::thread([] { FILogErr(std::string(1 << 20, 'm').c_str()); }).detach();
        for (int queued = header; queued == header; ioctl(in, FIONREAD, &queued)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        FILogTrace("kept out", 6);
    }));
}

TEST_F(FILogTest, LineCutShortByAFullDiskIsTakenBack) {
    OpenFILog("full.log");
    // A limit on the file's size stands in for a full disk: the line is written in part. The
    // signal the limit raises (SIGXFSZ) must not end the process either.
    const auto fillTheDisk = [&] {
        const rlimit limit{static_cast<rlim_t>(Read("full.log").size() + 10), RLIM_INFINITY};
        setrlimit(RLIMIT_FSIZE, &limit);
        FILogErr(std::string(100, 'x').c_str());
    };
    ASSERT_TRUE(ReturnsInAChild(fillTheDisk));
    FILogErr("next");
    EXPECT_TRUE(HeaderThen(Read("full.log"), " next\n")) << Read("full.log");
}

// Lines that processes write to one file at once (a forked child, another host on the same
// path) stay whole, and a line that fails in one takes back none of another's.
TEST_F(FILogTest, ProcessesLoggingAtOnceKeepEachOthersLinesWhole) {
    struct Case {
        const char* name;
        size_t childLine;
        rlim_t childLimit;
        size_t childLines;
    };
    const Case cases[] = {
        {"lines longer than a buffer", 8192, RLIM_INFINITY, 200},
        {"a child whose lines fail", 1 << 17, 1 << 16, 0},
    };
    const std::string line(8192, 'p');
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string childLine(c.childLine, 'c');
        OpenFILog("shared.log");
        const pid_t child = fork();
        if (child == 0) {
            const rlimit limit{c.childLimit, RLIM_INFINITY};
            setrlimit(RLIMIT_FSIZE, &limit);
            for (int i = 0; i < 200; ++i) {
                FILogErr(childLine.c_str());
            }
            _exit(0);
        }
        for (int i = 0; i < 400; ++i) {
            FILogErr(line.c_str());
        }
        ASSERT_EQ(waitpid(child, nullptr, 0), child);
        std::istringstream lines(Read("shared.log"));
        std::string read;
        std::getline(lines, read);
        std::getline(lines, read);
        size_t parent = 0, whole = 0, torn = 0;
        while (std::getline(lines, read)) {
            ++(read == " " + line ? parent : read == " " + childLine ? whole : torn);
        }
        EXPECT_EQ(parent, 400u);
        EXPECT_EQ(whole, c.childLines);
        EXPECT_EQ(torn, 0u);
    }
}

// A lock that another program keeps on the log file (a script that locks it while its job runs)
// holds no line up.
TEST_F(FILogTest, ALockKeptOnTheFileHoldsNoLineUp) {
    OpenFILog("locked.log");
    const int held = open(m_dir.file("locked.log").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(flock(held, LOCK_EX), 0);
    EXPECT_TRUE(ReturnsInAChild([] {
        FILogErr("one");
        FILogErr("two");
    }));
    close(held);
    EXPECT_TRUE(HeaderThen(Read("locked.log"), " one\n two\n")) << Read("locked.log");
}

// A write that a signal interrupts (a handler installed without SA_RESTART, as timers' often
// are) goes on: no line is lost or cut. Here into a FIFO read slowly, where writes wait.
TEST_F(FILogTest, AWriteInterruptedByASignalGoesOn) {
    const std::string fifo = m_dir.file("log.fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const int in = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    // Keeps the FIFO from reading as ended between the log's calls.
    const int keep = open(fifo.c_str(), O_WRONLY);
    fcntl(in, F_SETFL, 0);
    std::string received;
    std::thread reader([in, &received] {
        sigset_t ticks;
        sigemptyset(&ticks);
        sigaddset(&ticks, SIGALRM);
        pthread_sigmask(SIG_BLOCK, &ticks, nullptr);
        char some[4096];
        for (ssize_t got; (got = read(in, some, sizeof some)) > 0;) {
            received.append(some, static_cast<size_t>(got));
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
    });
    struct sigaction tick {};
    tick.sa_handler = [](int) {};
    struct sigaction previous {};
    sigaction(SIGALRM, &tick, &previous);
    const itimerval often{{0, 500}, {0, 500}};
    setitimer(ITIMER_REAL, &often, nullptr);
    OpenFILog(fifo.c_str());
    const std::string message(200 * 1024, 'm');
    for (int i = 0; i < 10; ++i) {
        FILogErr(message.c_str());
    }
    const itimerval off{};
    setitimer(ITIMER_REAL, &off, nullptr);
    sigaction(SIGALRM, &previous, nullptr);
    close(keep);
    reader.join();
    close(in);
    std::string expected;
    for (int i = 0; i < 10; ++i) {
        expected += " " + message + "\n";
    }
    EXPECT_TRUE(HeaderThen(received, expected)) << received.size() << " bytes";
}

TEST_F(FILogTest, MessageLongerThanAnIntCountsIsWrittenWhole) {
    const size_t length = INT_MAX;
    struct statfs where {};
    const bool inMemory = statfs(m_dir.path().c_str(), &where) != 0 || where.f_type == TMPFS_MAGIC;
    if (qortest::kSanitized || inMemory || sizeof(void*) < 8 ||
        std::filesystem::space(m_dir.path()).available < 2 * length) {
        GTEST_SKIP() << "a log file of 2 GiB needs room on a disk, and a 64-bit build without "
                        "sanitizers";
    }
    FILogErr(std::string(length, 'm').c_str());
    FILogErr("next");
    const std::string path = m_dir.file("QorErrors.log");
    const size_t header = std::string(" FI Error Log, 00:00:00, 00/00/00\n\n").size();
    EXPECT_EQ(std::filesystem::file_size(path), header + 1 + length + 1 + 6);
    std::ifstream in(path, std::ios::binary);
    std::string tail(10, '\0');
    in.seekg(-10, std::ios::end);
    in.read(tail.data(), 10);
    EXPECT_EQ(tail, "mmm\n next\n");
}

// A child forked while another thread writes a line does not find the log's lock held forever.
TEST_F(FILogTest, ChildForkedWhileAnotherThreadLogsCanLog) {
    if (qortest::kSanitized) {
        GTEST_SKIP() << "the sanitizer's allocator may hang a child forked beside a busy thread; "
                        "tested in the normal build";
    }
    SetFILog("/dev/null");
    EXPECT_TRUE(qortest::ChildrenOfABusyProcessReturn([] { FILogErr("from the parent's thread"); },
                                                      [] { FILogErr("from the child"); },
                                                      std::chrono::milliseconds(200)));
}
