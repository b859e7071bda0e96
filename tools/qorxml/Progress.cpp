#include "qorxml/Progress.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string>

#include <sys/ioctl.h>
#include <unistd.h>

namespace qorxml {
namespace {

constexpr std::chrono::milliseconds k_firstShown{1000};
constexpr std::chrono::milliseconds k_refresh{250};

// The columns of the terminal on standard error; 0 when it does not say.
size_t TerminalWidth() {
    winsize size{};
    return ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 ? size.ws_col : 0;
}

// "qorxml: PATH" and the figures, in fewer columns than the terminal's `width` (0: any): a wider
// line would wrap, and the carriage return that redraws it would leave its first rows behind.
// The path loses its head first (to "..."), on a narrow terminal the line its end.
std::string FittedLine(const char* path, const std::string& figures, size_t width) {
    const std::string line = std::string("qorxml: ") + path + figures;
    const size_t fixed = std::strlen("qorxml: ...") + figures.size();
    if (width == 0 || line.size() < width) {
        return line;
    }
    if (width <= fixed + 1) {
        return ("qorxml" + figures).substr(0, width - 1);
    }
    const char* tail = path + std::strlen(path) - (width - 1 - fixed);
    // Not in the middle of a UTF-8 character.
    while ((*tail & 0xC0) == 0x80) {
        ++tail;
    }
    return "qorxml: ..." + (tail + figures);
}

} // namespace

// Output going to a terminal shows the progress itself, and a progress line among it would run
// into its lines and, redrawn, erase the part of a line written so far.
Progress::Progress(const char* path, const std::atomic<bool>* allowed)
    : m_path(path), m_allowed(allowed),
      m_enabled(isatty(STDERR_FILENO) == 1 && isatty(STDOUT_FILENO) != 1), m_start(Clock::now()),
      m_next(m_start + k_firstShown) {}

Progress::~Progress() {
    Erase();
}

void Progress::Erase() {
    if (m_shown) {
        std::fprintf(stderr, "\r\033[K");
        m_shown = false;
    }
}

void Progress::Update(const Counts& counts, MSXML2::ISAXLocator* locator) {
    const Clock::time_point now = Clock::now();
    if (now < m_next || (m_allowed != nullptr && !*m_allowed)) {
        return;
    }
    m_next = now + k_refresh;
    m_shown = true;
    int line = 0;
    if (locator != nullptr) {
        locator->getLineNumber(&line);
    }
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(now - m_start).count();
    char figures[96];
    std::snprintf(figures, sizeof figures, ": line %d, %" PRIu64 " elements, %lld s", line,
                  counts.elements, static_cast<long long>(seconds));
    std::fprintf(stderr, "\r%s\033[K", FittedLine(m_path, figures, TerminalWidth()).c_str());
}

} // namespace qorxml
