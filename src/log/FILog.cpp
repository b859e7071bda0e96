#include <QorUtils/log/FILog.h>

#include "log/ForkLock.h"
#include "log/LogLevel.h"

#include <atomic>

#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <initializer_list>
#include <type_traits>

#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

namespace {

constexpr const char* k_defaultPath = "QorErrors.log";
constexpr int k_defaultLevel = 5;

// The whole state of the log. It is constant-initialised and trivially destructible, so it is
// usable from the first static constructor to the last exit handler of the process (a host's
// globals may log while they are destroyed), and it holds no memory that could be freed early
// or left behind at exit.
struct LogState {
    // The path of the log file, kept whole; empty when no path is set. A path of PATH_MAX bytes
    // or more cannot be opened (the kernel refuses it): such a path is not kept, `pathTooLong`
    // is set instead, and the log writes nothing while it is, as for any path it cannot open.
    char path[PATH_MAX];
    bool pathTooLong;
    // The header has been written for the current path.
    bool opened;
};

LogState s_log = {{}, false, false};
static_assert(std::is_trivially_destructible_v<LogState>);

// The trace threshold, read without the lock so that a message it keeps out waits for nothing
// (a handler's traces of every element, on every thread reading). Written with the lock held.
std::atomic<int> s_level{k_defaultLevel};
static_assert(std::is_trivially_destructible_v<std::atomic<int>>);

// Held by every public function for its whole call, so that threads log one call at a time:
// each line whole, none lost, the header written once, a setting in force for every line after
// it. A fork waits for it, so that a child can log.
qorutils::ForkLock s_lock;
[[maybe_unused]] const int s_forkHandlers = qorutils::WaitAtFork<s_lock>();

using LogLock = qorutils::ForkLock::Guard;

void StorePath(const char* path) {
    const size_t length = path != nullptr ? std::strlen(path) : 0;
    s_log.pathTooLong = length >= sizeof s_log.path;
    if (s_log.pathTooLong) {
        s_log.path[0] = '\0';
        return;
    }
    std::memcpy(s_log.path, path != nullptr ? path : "", length + 1);
}

// Makes a relative path absolute, against the current directory, so that every line of an
// opened log goes to the file that its header went to even when the host changes directory
// meanwhile. A path that the directory would make too long, or a directory that cannot be
// named, leaves the path relative.
void AnchorPath() {
    if (s_log.path[0] == '\0' || s_log.path[0] == '/') {
        return;
    }
    char anchored[sizeof s_log.path];
    if (getcwd(anchored, sizeof anchored) == nullptr) {
        return;
    }
    size_t directory = std::strlen(anchored);
    const size_t length = std::strlen(s_log.path);
    if (anchored[directory - 1] != '/') {
        anchored[directory++] = '/';
    }
    if (directory + length >= sizeof anchored) {
        return;
    }
    std::memcpy(anchored + directory, s_log.path, length + 1);
    std::memcpy(s_log.path, anchored, directory + length + 1);
}

bool HasPath() {
    return s_log.path[0] != '\0' || s_log.pathTooLong;
}

// Keeps SIGPIPE and SIGXFSZ from the calling thread while it lives: a log file that is a FIFO
// whose reader has gone, or that reached the process's limit on file sizes, makes the write fail
// instead of ending the host's process. A signal that the write raised is taken back; one that
// was already pending stays.
class WriteSignalsHeld {
public:
    WriteSignalsHeld() {
        sigemptyset(&m_held);
        sigaddset(&m_held, SIGPIPE);
        sigaddset(&m_held, SIGXFSZ);
        pthread_sigmask(SIG_BLOCK, &m_held, &m_previous);
        sigset_t pending;
        sigpending(&pending);
        sigemptyset(&m_takenBack);
        for (const int signal : {SIGPIPE, SIGXFSZ}) {
            if (sigismember(&pending, signal) != 1) {
                sigaddset(&m_takenBack, signal);
            }
        }
    }
    ~WriteSignalsHeld() {
        const timespec now{};
        while (!sigisemptyset(&m_takenBack) && sigtimedwait(&m_takenBack, nullptr, &now) > 0) {
        }
        pthread_sigmask(SIG_SETMASK, &m_previous, nullptr);
    }
    WriteSignalsHeld(const WriteSignalsHeld&) = delete;
    WriteSignalsHeld& operator=(const WriteSignalsHeld&) = delete;

private:
    sigset_t m_held;
    sigset_t m_takenBack;
    sigset_t m_previous;
};

// Opens the log file for writing, emptied (O_TRUNC) or at its end (O_APPEND); null when there
// is no path or the file cannot be opened. The open does not wait: a FIFO that nobody reads
// cannot be opened, rather than holding every thread's logging until a reader comes. Writes
// then wait as usual, and the descriptor is not inherited by programs the host starts.
FILE* OpenLogFile(int flags) {
    if (s_log.path[0] == '\0') {
        return nullptr;
    }
    const int fd = open(s_log.path, O_WRONLY | O_CREAT | O_NONBLOCK | O_CLOEXEC | flags, 0666);
    if (fd < 0) {
        return nullptr;
    }
    // Set anew, the descriptor's flags drop O_NONBLOCK and keep O_APPEND.
    FILE* file = fcntl(fd, F_SETFL, flags & O_APPEND) == 0 ? fdopen(fd, "w") : nullptr;
    if (file == nullptr) {
        close(fd);
    }
    return file;
}

// Opens the log file with `flags`, writes to it through `print` and closes it again. A piece that
// could not be written whole (a full disk) is cut off where it began, so that the next line
// does not run on from part of it.
template <typename Print> void WriteLogFile(int flags, const Print& print) {
    const WriteSignalsHeld held;
    FILE* file = OpenLogFile(flags);
    if (file == nullptr) {
        return;
    }
    const off_t start = lseek(fileno(file), 0, SEEK_END);
    print(file);
    const bool failed = std::fflush(file) != 0 || std::ferror(file) != 0;
    if (failed && start >= 0) {
        // The log reports no error: a file that cannot be cut (a device) stays as it is.
        [[maybe_unused]] const int cut = ftruncate(fileno(file), start);
    }
    std::fclose(file);
}

void WriteHeader(FILE* file) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char time[16];
    // Room for three numbers of any size, as the compiler's check of the format counts them.
    char date[3 * 12];
    std::strftime(time, sizeof time, "%H:%M:%S", &local);
    // Two digits of the year, as the log's header has always had them.
    std::snprintf(date, sizeof date, "%02d/%02d/%02d", local.tm_mon + 1, local.tm_mday,
                  (local.tm_year % 100 + 100) % 100);
    std::fprintf(file, " FI Error Log, %s, %s\n\n", time, date);
}

// The functions below run with the lock held.

void Open(const char* path) {
    s_log.opened = true;
    if (path != nullptr && *path != '\0') {
        StorePath(path);
    }
    AnchorPath();
    WriteLogFile(O_TRUNC, WriteHeader);
}

void Close() {
    s_level.store(k_defaultLevel, std::memory_order_relaxed);
    s_log.opened = false;
    StorePath("");
}

void SetPath(const char* path) {
    if (s_log.opened) {
        Close();
    }
    StorePath(path);
}

void Write(const char* message) {
    if (!s_log.opened) {
        if (!HasPath()) {
            SetPath(k_defaultPath);
        }
        Open(nullptr);
    }
    // Put, not printed: printf counts in int and stops part way through a message of 2 GiB.
    const char* text = message != nullptr ? message : "";
    WriteLogFile(O_APPEND, [text](FILE* file) {
        std::fputc(' ', file);
        std::fwrite(text, 1, std::strlen(text), file);
        std::fputc('\n', file);
    });
}

} // namespace

void OpenFILog(const char* path) {
    const LogLock lock(s_lock);
    Open(path);
}

void SetFILog(const char* path) {
    const LogLock lock(s_lock);
    SetPath(path);
}

int SetFILogLevel(int level) {
    const LogLock lock(s_lock);
    return s_level.exchange(level, std::memory_order_relaxed);
}

void FILogErr(const char* message) {
    const LogLock lock(s_lock);
    Write(message);
}

void FILogTrace(const char* message, int level) {
    if (!qorutils::LogWrites(level)) {
        return;
    }
    // Tested again with the lock held: a threshold set meanwhile holds for this line.
    const LogLock lock(s_lock);
    if (qorutils::LogWrites(level)) {
        Write(message);
    }
}

bool qorutils::LogWrites(int level) noexcept {
    return level <= s_level.load(std::memory_order_relaxed);
}

void CloseFILog() {
    const LogLock lock(s_lock);
    Close();
}
