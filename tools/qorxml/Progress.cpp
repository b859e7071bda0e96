#include "qorxml/Progress.h"

#include <cinttypes>
#include <cstdio>

#include <unistd.h>

namespace qorxml {
namespace {

constexpr std::chrono::milliseconds k_firstShown{1000};
constexpr std::chrono::milliseconds k_refresh{250};

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
    std::fprintf(stderr, "\rqorxml: %s: line %d, %" PRIu64 " elements, %lld s\033[K", m_path, line,
                 counts.elements, static_cast<long long>(seconds));
}

} // namespace qorxml
