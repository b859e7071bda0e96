#include "support/TestSupport.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include <unistd.h>

void PrintTo(const FIAttribute& value, std::ostream* os) {
    switch (value.GetType()) {
    case FIAttribute::FT_NULL:
        *os << "null";
        break;
    case FIAttribute::FT_INTEGER:
        *os << "integer " << value.ival();
        break;
    case FIAttribute::FT_REAL:
        *os << "real " << value.rval();
        break;
    case FIAttribute::FT_SHORT_TEXT:
        *os << "short text '" << value.c_str() << "'";
        break;
    case FIAttribute::FT_LONG_TEXT:
        *os << "long text '" << value.c_str() << "' (length " << value.length() << ", capacity "
            << value.capacity() << ")";
        break;
    default:
        *os << "kind " << static_cast<int>(value.GetType());
    }
}

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

} // namespace qortest
