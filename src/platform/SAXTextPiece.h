// Character data gathered across the parser's text events into the pieces that a content
// handler receives: at most kUnits UTF-16 code units, never splitting a character (a surrogate
// pair that would not fit starts the next piece). Events are gathered as the parser's UTF-8,
// one copy each, and converted once per piece when it is handed over: to UTF-16, or, for a
// handler that takes narrowed text, to the narrowed bytes (a character one byte). A byte never
// gives more than one unit, so kUnits bytes always fit; an event that would pass them turns the
// piece to converting as it goes, which finds the exact character where the piece is full.
// Owned by one parse.
#pragma once

#include "text/TextKernels.h"
#include "text/Utf16.h"
#include "text/Utf8.h"

#include <cstddef>
#include <cstring>

namespace MSXML2 {
namespace detail {

class SAXTextPiece {
public:
    // The largest piece, in code units.
    static constexpr size_t kUnits = 4096;

    explicit SAXTextPiece(bool narrowed);
    SAXTextPiece(const SAXTextPiece&) = delete;
    SAXTextPiece& operator=(const SAXTextPiece&) = delete;

    bool empty() const { return m_gathered == 0 && m_units == 0; }

    // Gathers the `size` bytes at `text` unconverted; false, with nothing done, when they might
    // not fit (add() then takes them). `readable`, when not null, is how far the text may be
    // read.
    bool gather(const char* text, size_t size, const char* readable) {
        if (size > m_gatherLimit - m_gathered) {
            return false;
        }
        char* to = m_utf8 + m_gathered;
        m_gathered += size;
        // Most events are short: one copy of one or two whole blocks, past the event's end,
        // where the parser's buffer goes on that far.
        constexpr size_t kBlock = qorutils::text::kBlockSlack;
        const std::ptrdiff_t ahead = readable != nullptr ? readable - text : 0;
        if (size <= kBlock && ahead >= static_cast<std::ptrdiff_t>(kBlock)) {
            std::memcpy(to, text, kBlock);
        } else if (size <= 2 * kBlock && ahead >= static_cast<std::ptrdiff_t>(2 * kBlock)) {
            std::memcpy(to, text, 2 * kBlock);
        } else if (size == 1) {
            *to = *text;
        } else {
            std::memcpy(to, text, size);
        }
        return true;
    }
    // Adds what fits of the text from `next` to `end`, converting as it goes, and moves `next`
    // past it: the piece is full when `next` stops short of `end`.
    void add(const char*& next, const char* end, const char* readable);

    // The piece, ended by a NUL: `length` code units of UTF-16, or `length` narrowed bytes. A
    // short piece gathered whole and all ASCII (the indentation between elements, a few words)
    // is widened as one block, or is its own narrowed text.
    unsigned short* wide(int& length) {
        if (m_gatherLimit != 0 && m_gathered <= kShort &&
            qorutils::text::IsAsciiWithin32(m_utf8, m_gathered)) {
            qorutils::text::WidenAscii(m_wide, m_utf8, kShort);
            m_wide[m_gathered] = 0;
            length = static_cast<int>(m_gathered);
            return m_wide;
        }
        return convertedWide(length);
    }
    char* narrow(int& length) {
        if (m_gatherLimit != 0 && m_gathered <= kShort &&
            qorutils::text::IsAsciiWithin32(m_utf8, m_gathered)) {
            m_utf8[m_gathered] = '\0';
            length = static_cast<int>(m_gathered);
            return m_utf8;
        }
        return convertedNarrow(length);
    }
    void clear() {
        m_gathered = 0;
        m_gatherLimit = kUnits;
        m_units = 0;
        m_bytes = 0;
    }

private:
    // The most bytes of a piece handed over as they are, or widened as one block.
    static constexpr size_t kShort = 32;

    // Converts what was gathered; the rest of the piece is converted as it comes.
    void convertGathered();
    unsigned short* convertedWide(int& length);
    char* convertedNarrow(int& length);

    const qorutils::text::TextKernels& m_kernels;
    bool m_narrowed;
    // The bytes gathered, and how many may be; none once the piece converts as it goes.
    size_t m_gathered = 0;
    size_t m_gatherLimit = kUnits;
    // The units converted, and their narrowed bytes.
    size_t m_units = 0;
    size_t m_bytes = 0;
    // Each with room for the NUL and for a block read or written past its end (two blocks
    // where the events are gathered).
    char m_utf8[kUnits + 2 * qorutils::text::kBlockSlack];
    unsigned short m_wide[kUnits + qorutils::text::kBlockSlack];
    char m_narrow[kUnits + qorutils::text::kBlockSlack];
};

} // namespace detail
} // namespace MSXML2
