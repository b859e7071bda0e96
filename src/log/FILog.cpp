#include <QorUtils/log/FILog.h>

#include "log/ForkLock.h"
#include "log/LogLevel.h"

#include <algorithm>
#include <atomic>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <initializer_list>
#include <type_traits>

#include <fcntl.h>
#include <pthread.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/uio.h>
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
    // Someone kept a lock on the current path's file longer than a line takes: lines go on
    // without locking it.
    bool lockKeptElsewhere;
};

LogState s_log = {{}, false, false, false};
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
    s_log.lockKeptElsewhere = false;
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

// Opens the log file for writing, emptied (O_TRUNC) or at its end (O_APPEND); -1 when there
// is no path or the file cannot be opened. The open does not wait: a FIFO that nobody reads
// cannot be opened, rather than holding every thread's logging until a reader comes. Writes
// then wait as usual, and the descriptor is not inherited by programs the host starts.
int OpenLogFile(int flags) {
    if (s_log.path[0] == '\0') {
        return -1;
    }
    const int fd = open(s_log.path, O_WRONLY | O_CREAT | O_NONBLOCK | O_CLOEXEC | flags, 0666);
    // Set anew, the descriptor's flags drop O_NONBLOCK and keep O_APPEND.
    if (fd >= 0 && fcntl(fd, F_SETFL, flags & O_APPEND) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// At most this much goes out in one write: a 32-bit writev refuses more than its result counts.
constexpr size_t k_mostPerWrite = size_t{1} << 30;

// Writes the `count` pieces whole, going on after a short write and after a signal that
// interrupted one; counts the bytes written in `written`. False when a write fails.
bool WriteWhole(int fd, iovec* pieces, int count, size_t& written) {
    while (count > 0) {
        iovec call[3];
        int taken = 0;
        for (size_t room = k_mostPerWrite; taken < count && room > 0; ++taken) {
            call[taken] = {pieces[taken].iov_base, std::min(pieces[taken].iov_len, room)};
            room -= call[taken].iov_len;
        }
        const ssize_t result = writev(fd, call, taken);
        if (result < 0 && errno == EINTR) {
            continue;
        }
        if (result < 0) {
            return false;
        }
        auto left = static_cast<size_t>(result);
        written += left;
        for (; count > 0 && left >= pieces->iov_len; ++pieces, --count) {
            left -= pieces->iov_len;
        }
        if (count > 0) {
            pieces->iov_base = static_cast<char*>(pieces->iov_base) + left;
            pieces->iov_len -= left;
        }
    }
    return true;
}

// Locks the log file against the other processes that log to it through this library while a
// line goes in, so that a line taken back takes back none of theirs; regular files only. Their
// lines take a moment: a lock held longer is someone else's (a script that locks the log while
// its job runs), and this line and the next ones to the path go on without it.
void LockLogFile(int fd) {
    struct stat status {};
    if (s_log.lockKeptElsewhere || fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        return;
    }
    for (int attempt = 0; attempt < 100; ++attempt) {
        if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
            return;
        }
        if (errno != EWOULDBLOCK && errno != EINTR) {
            return;
        }
        const timespec pause{0, 100 * 1000};
        nanosleep(&pause, nullptr);
    }
    s_log.lockKeptElsewhere = true;
}

// Cuts off the `written` bytes of a line that could not be written whole (a full disk), so that
// the next line does not run on from part of it: only while nothing follows them (a process
// that logs without the lock may have appended) and only from a file that can be cut. The log
// reports no error.
void TakeBack(int fd, size_t written) {
    const off_t end = lseek(fd, 0, SEEK_CUR);
    const auto length = static_cast<off_t>(written);
    struct stat status {};
    if (written > 0 && end >= length && fstat(fd, &status) == 0 && status.st_size == end) {
        [[maybe_unused]] const int cut = ftruncate(fd, end - length);
    }
}

// Opens the log file with `flags`, writes the pieces to it and closes it again. They go out in
// one write (more only for a line of 1 GiB), so that lines of other processes logging to the
// same file land before or after them, never inside.
void WriteLogFile(int flags, std::initializer_list<iovec> line) {
    const WriteSignalsHeld held;
    const int fd = OpenLogFile(flags);
    if (fd < 0) {
        return;
    }
    LockLogFile(fd);
    iovec pieces[3];
    std::copy(line.begin(), line.end(), pieces);
    size_t written = 0;
    if (!WriteWhole(fd, pieces, static_cast<int>(line.size()), written)) {
        TakeBack(fd, written);
    }
    // Closing gives the lock back.
    close(fd);
}

iovec Piece(const char* text, size_t length) {
    return {const_cast<char*>(text), length};
}

void WriteHeader() {
    // The host may have changed the time zone since the last header.
    tzset();
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char time[16];
    std::strftime(time, sizeof time, "%H:%M:%S", &local);
    // Two digits of the year, as the log's header has always had them. Room for three numbers
    // of any size, as the compiler's check of the format counts them.
    char header[64 + 3 * 12];
    const int length =
        std::snprintf(header, sizeof header, " FI Error Log, %s, %02d/%02d/%02d\n\n", time,
                      local.tm_mon + 1, local.tm_mday, (local.tm_year % 100 + 100) % 100);
    WriteLogFile(O_TRUNC, {Piece(header, static_cast<size_t>(length))});
}

// The functions below run with the lock held.

void Open(const char* path) {
    s_log.opened = true;
    if (path != nullptr && *path != '\0') {
        StorePath(path);
    }
    AnchorPath();
    WriteHeader();
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
    const char* text = message != nullptr ? message : "";
    WriteLogFile(O_APPEND, {Piece(" ", 1), Piece(text, std::strlen(text)), Piece("\n", 1)});
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
