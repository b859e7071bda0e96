#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace qortest {

ScopedTempDir::ScopedTempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "qorutils-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    m_path = pattern;
}

ScopedTempDir::~ScopedTempDir() {
    std::error_code ignored;
    std::filesystem::permissions(m_path, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(m_path, ignored);
}

ScopedCurrentDir::ScopedCurrentDir(const std::string& dir)
    : m_previous(std::filesystem::current_path().string()) {
    std::filesystem::current_path(dir);
}

ScopedCurrentDir::~ScopedCurrentDir() {
    std::error_code ignored;
    std::filesystem::current_path(m_previous, ignored);
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

bool WriteFile(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
    return static_cast<bool>(out);
}

int PipeWrittenInParts(const std::vector<std::string>& parts, std::thread& writer) {
    int ends[2] = {-1, -1};
    EXPECT_EQ(pipe2(ends, O_CLOEXEC), 0);
    EXPECT_EQ(fcntl(ends[0], F_SETFL, O_NONBLOCK), 0);
    writer = std::thread([parts, end = ends[1]] {
        for (const std::string& part : parts) {
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
            EXPECT_EQ(write(end, part.data(), part.size()), static_cast<ssize_t>(part.size()));
        }
        close(end);
    });
    return ends[0];
}

bool ReturnsInAChild(const std::function<void()>& work) {
    const pid_t child = fork();
    if (child == 0) {
        alarm(10);
        work();
        _exit(0);
    }
    int status = 0;
    return child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
}

bool ChildrenOfABusyProcessReturn(const std::function<void()>& busy,
                                  const std::function<void()>& work,
                                  std::chrono::milliseconds forking) {
    std::atomic<bool> stop{false};
    std::thread thread([&busy, &stop] {
        while (!stop) {
            busy();
        }
    });
    const auto end = std::chrono::steady_clock::now() + forking;
    bool returned = true;
    while (returned && std::chrono::steady_clock::now() < end) {
        returned = ReturnsInAChild(work);
    }
    stop = true;
    thread.join();
    return returned;
}

} // namespace qortest
