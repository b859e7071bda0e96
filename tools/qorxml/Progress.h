// Progress: the line on standard error that shows how far a long read has come (the parser's
// line, the elements read, the seconds taken), within the terminal's width. It appears only when
// standard error is a terminal and standard output is not one, once the read has taken more than a
// second; it is refreshed a few times a second and erased when the read ends. One per document,
// used by its reading thread.
#pragma once

#include "qorxml/DocumentPrinter.h"

#include <QorUtils/platform/SAX.h>

#include <atomic>
#include <chrono>
#include <cstdint>

namespace qorxml {

class Progress {
public:
    // Borrows `path` for the object's lifetime. Disabled unless standard error is a terminal and
    // standard output is not; with `allowed` (borrowed too), the line appears only while it is
    // true.
    explicit Progress(const char* path, const std::atomic<bool>* allowed = nullptr);
    // Erases the line when it was shown.
    ~Progress();
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    // Removes the line from the terminal until the next refresh.
    void Erase();
    // Called for each event; looks at the clock (and the locator, which may be null) only every
    // few thousand events.
    void Tick(const Counts& counts, MSXML2::ISAXLocator* locator) {
        if (m_enabled && ++m_events % 4096 == 0) {
            Update(counts, locator);
        }
    }

private:
    using Clock = std::chrono::steady_clock;

    void Update(const Counts& counts, MSXML2::ISAXLocator* locator);

    const char* m_path;
    const std::atomic<bool>* m_allowed;
    bool m_enabled;
    bool m_shown = false;
    uint64_t m_events = 0;
    Clock::time_point m_start;
    Clock::time_point m_next;
};

} // namespace qorxml
