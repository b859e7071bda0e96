// Helpers shared by the test programs: a printer for FIAttribute, scratch directories and
// whole-file reads.
#pragma once

#include <QorUtils/attribute/FIAttribute.h>

#include <chrono>
#include <functional>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

// Lets a failed expectation show the value's kind and content.
void PrintTo(const FIAttribute& value, std::ostream* os);

namespace qortest {

// True in a build under AddressSanitizer, where memory is dearer and code runs several times
// slower.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

// The value as PrintTo shows it, for tables of expected values.
std::string Describe(const FIAttribute& value);

// A fresh directory under the system's temporary directory, removed with its contents when
// the object goes away.
class ScopedTempDir {
public:
    ScopedTempDir();
    ~ScopedTempDir();
    ScopedTempDir(const ScopedTempDir&) = delete;
    ScopedTempDir& operator=(const ScopedTempDir&) = delete;

    const std::string& path() const { return m_path; }
    std::string file(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

// Makes a directory the current one for the object's lifetime.
class ScopedCurrentDir {
public:
    explicit ScopedCurrentDir(const std::string& dir);
    ~ScopedCurrentDir();
    ScopedCurrentDir(const ScopedCurrentDir&) = delete;
    ScopedCurrentDir& operator=(const ScopedCurrentDir&) = delete;

private:
    std::string m_previous;
};

// The whole content of a file; empty when it cannot be read.
std::string ReadFile(const std::string& path);
// Writes a file whole; returns false when it cannot be written.
bool WriteFile(const std::string& path, const std::string& content);

// The read end of a pipe that does not block, as a parent may leave standard input, and
// `writer`, which sends `parts` a moment apart and then closes the other end. The caller joins
// it and closes the read end.
int PipeWrittenInParts(const std::vector<std::string>& parts, std::thread& writer);

// Runs `work` in a child process given 10 seconds; true when it returned, false when it hung or
// a signal ended it.
bool ReturnsInAChild(const std::function<void()>& work);
// Forks children one after the other for `forking`, each running `work` as ReturnsInAChild
// does, while another thread runs `busy` over and over; true when every child returned. A
// child forked while `busy` held a lock must not find that lock held for good.
bool ChildrenOfABusyProcessReturn(const std::function<void()>& busy,
                                  const std::function<void()>& work,
                                  std::chrono::milliseconds forking);

} // namespace qortest
