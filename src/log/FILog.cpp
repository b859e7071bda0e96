#include <QorUtils/log/FILog.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <ctime>

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
    int level;
};

LogState s_log = {{}, false, false, k_defaultLevel};

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

} // namespace

void OpenFILog(const char* path) {
    s_log.opened = true;
    if (path != nullptr && *path != '\0') {
        StorePath(path);
    }
    if (FILE* file = OpenLogFile("w")) {
        WriteHeader(file);
        std::fclose(file);
    }
}

void SetFILog(const char* path) {
    if (s_log.opened) {
        CloseFILog();
    }
    StorePath(path);
}

int SetFILogLevel(int level) {
    const int previous = s_log.level;
    s_log.level = level;
    return previous;
}

void FILogErr(const char* message) {
    if (!s_log.opened) {
        if (!HasPath()) {
            SetFILog(k_defaultPath);
        }
        OpenFILog(nullptr);
    }
    if (FILE* file = OpenLogFile("a+")) {
        std::fprintf(file, " %s\n", message != nullptr ? message : "");
        std::fclose(file);
    }
}

void FILogTrace(const char* message, int level) {
    if (level <= s_log.level) {
        FILogErr(message);
    }
}

void CloseFILog() {
    s_log.level = k_defaultLevel;
    s_log.opened = false;
    StorePath("");
}
