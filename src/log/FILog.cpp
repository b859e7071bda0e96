#include <QorUtils/log/FILog.h>

#include <cstdio>
#include <ctime>
#include <new>
#include <string>

namespace {

constexpr const char* k_defaultPath = "QorErrors.log";
constexpr int k_defaultLevel = 5;

// The path of the log file, kept whole; empty when no path is set. A function-local static so
// that a module logging from its own static constructors finds it built.
std::string& LogPath() {
    static std::string path;
    return path;
}

// The header has been written for the current path.
bool s_logOpened = false;
int s_logLevel = k_defaultLevel;

// Replaces the path; when memory runs out the path stays as it was.
void StorePath(const char* path) {
    try {
        LogPath() = path != nullptr ? path : "";
    } catch (const std::bad_alloc&) {
    }
}

// Opens the log file, or gives null when there is no path or the file cannot be opened.
FILE* OpenLogFile(const char* mode) {
    const std::string& path = LogPath();
    return path.empty() ? nullptr : std::fopen(path.c_str(), mode);
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
    s_logOpened = true;
    if (path != nullptr && *path != '\0') {
        StorePath(path);
    }
    if (FILE* file = OpenLogFile("w")) {
        WriteHeader(file);
        std::fclose(file);
    }
}

void SetFILog(const char* path) {
    if (s_logOpened) {
        CloseFILog();
    }
    StorePath(path);
}

int SetFILogLevel(int level) {
    const int previous = s_logLevel;
    s_logLevel = level;
    return previous;
}

void FILogErr(const char* message) {
    if (!s_logOpened) {
        if (LogPath().empty()) {
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
    if (level <= s_logLevel) {
        FILogErr(message);
    }
}

void CloseFILog() {
    s_logLevel = k_defaultLevel;
    s_logOpened = false;
    StorePath("");
}
