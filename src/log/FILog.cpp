#include <QorUtils/log/FILog.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <mutex>
#include <type_traits>

namespace {

constexpr const char* k_defaultPath = "QorErrors.log";
constexpr int k_defaultLevel = 5;

// The whole state of the log. It is constant-initialised and trivially destructible, so it is
// usable from the first static constructor to the last exit handler of the process (a host's
// globals may log while they are destroyed), and it holds no memory that could be freed early
// or left behind at exit.
struct LogState {
    // Held by every public function for its whole call, so that threads log one call at a time:
    // each line whole, none lost, the header written once, a setting in force for every line
    // after it.
    std::mutex lock;
    // The path of the log file, kept whole; empty when no path is set. A path of PATH_MAX bytes
    // or more cannot be opened (the kernel refuses it): such a path is not kept, `pathTooLong`
    // is set instead, and the log writes nothing while it is, as for any path it cannot open.
    char path[PATH_MAX];
    bool pathTooLong;
    // The header has been written for the current path.
    bool opened;
    int level;
};

LogState s_log = {{}, {}, false, false, k_defaultLevel};
static_assert(std::is_trivially_destructible_v<LogState>);

using LogLock = std::lock_guard<std::mutex>;

void StorePath(const char* path) {
    const size_t length = path != nullptr ? std::strlen(path) : 0;
    s_log.pathTooLong = length >= sizeof s_log.path;
    if (s_log.pathTooLong) {
        s_log.path[0] = '\0';
        return;
    }
    std::memcpy(s_log.path, path != nullptr ? path : "", length + 1);
}

bool HasPath() {
    return s_log.path[0] != '\0' || s_log.pathTooLong;
}

// Opens the log file, or gives null when there is no path or the file cannot be opened.
FILE* OpenLogFile(const char* mode) {
    return s_log.path[0] == '\0' ? nullptr : std::fopen(s_log.path, mode);
}

void WriteHeader(FILE* file) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char time[16];
    char date[16];
    std::strftime(time, sizeof time, "%H:%M:%S", &local);
    std::strftime(date, sizeof date, "%m/%d/%y", &local);
    std::fprintf(file, " FI Error Log, %s, %s\n\n", time, date);
}

// The functions below run with the lock held.

void Open(const char* path) {
    s_log.opened = true;
    if (path != nullptr && *path != '\0') {
        StorePath(path);
    }
    if (FILE* file = OpenLogFile("w")) {
        WriteHeader(file);
        std::fclose(file);
    }
}

void Close() {
    s_log.level = k_defaultLevel;
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
    if (FILE* file = OpenLogFile("a+")) {
        std::fprintf(file, " %s\n", message != nullptr ? message : "");
        std::fclose(file);
    }
}

} // namespace

void OpenFILog(const char* path) {
    const LogLock lock(s_log.lock);
    Open(path);
}

void SetFILog(const char* path) {
    const LogLock lock(s_log.lock);
    SetPath(path);
}

int SetFILogLevel(int level) {
    const LogLock lock(s_log.lock);
    const int previous = s_log.level;
    s_log.level = level;
    return previous;
}

void FILogErr(const char* message) {
    const LogLock lock(s_log.lock);
    Write(message);
}

void FILogTrace(const char* message, int level) {
    const LogLock lock(s_log.lock);
    if (level <= s_log.level) {
        Write(message);
    }
}

void CloseFILog() {
    const LogLock lock(s_log.lock);
    Close();
}
