#include "support/ScopedLog.h"

#include <QorUtils/log/FILog.h>

#include <sstream>

namespace qortest {

ScopedLog::ScopedLog() : m_path(m_dir.file("test.log")) {
    CloseFILog();
    SetFILog(m_path.c_str());
}

ScopedLog::~ScopedLog() {
    CloseFILog();
}

std::vector<std::string> ScopedLog::Messages() const {
    const std::string content = ReadFile(m_path);
    std::vector<std::string> messages;
    const size_t header_end = content.find("\n\n");
    if (header_end == std::string::npos) {
        return messages;
    }
    std::istringstream lines(content.substr(header_end + 2));
    for (std::string line; std::getline(lines, line);) {
        messages.push_back(line.empty() ? line : line.substr(1));
    }
    return messages;
}

} // namespace qortest
