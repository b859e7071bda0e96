// Points the process-wide error log at a fresh file in a temporary directory for the object's
// lifetime and reads back what was written. The log is put back in its load state (no path,
// threshold 5) when the object is made and when it goes away.
#pragma once

#include "support/TestSupport.h"

#include <string>
#include <vector>

namespace qortest {

class ScopedLog {
public:
    ScopedLog();
    ~ScopedLog();
    ScopedLog(const ScopedLog&) = delete;
    ScopedLog& operator=(const ScopedLog&) = delete;

    const std::string& path() const { return m_path; }
    // The messages written since the header, each without the blank that the log puts before
    // every message; empty when nothing was written.
    std::vector<std::string> Messages() const;

private:
    ScopedTempDir m_dir;
    std::string m_path;
};

} // namespace qortest
