// Character data gathered across the parser's text events into the pieces that a content
// handler receives: at most kUnits UTF-16 code units, never splitting a character (a surrogate
// pair that would not fit starts the next piece). Kept as UTF-16, or, for a handler that takes
// narrowed text, as the narrowed bytes (a character one byte) while counting the units that
// the UTF-16 would take, so that both cut the same pieces. Owned by one parse.
#pragma once

#include "text/AsciiBlock.h"
#include "text/Narrow.h"
#include "text/Utf16.h"

#include <cstddef>

namespace MSXML2 {
namespace detail {

class SAXTextPiece {
public:
    // The largest piece, in code units.
    static constexpr size_t kUnits = 4096;

    explicit SAXTextPiece(bool narrowed) : m_narrowed(narrowed) {}
    SAXTextPiece(const SAXTextPiece&) = delete;
    SAXTextPiece& operator=(const SAXTextPiece&) = delete;

    bool empty() const { return m_units == 0; }
    // Code units that may still be added.
    size_t room() const { return kUnits - m_units; }

    // Adds a text of `size` bytes, at most room(): a byte never gives more than one unit.
    // `readable`, when not null, is how far the text may be read.
    void addWhole(const char* text, size_t size, const char* readable) {
        // Expat reports each line break, and each reference such as &amp;, as an event of its
        // own.
        if (size == 1 && static_cast<unsigned char>(*text) < 0x80) {
            if (m_narrowed) {
                m_narrow[m_bytes++] = *text;
            } else {
                m_wide[m_units] = static_cast<unsigned char>(*text);
            }
            ++m_units;
            return;
        }
        if (size > qorutils::text::kAsciiBlock || !addAsciiBlock(text, size, readable)) {
            add(text, text + size, readable);
        }
    }
    // Adds what fits of the text from `next` to `end`, and moves `next` past it.
    void add(const char*& next, const char* end, const char* readable);

    // The piece, ended by a NUL: `length` code units of UTF-16, or `length` narrowed bytes.
    unsigned short* wide(int& length) {
        m_wide[m_units] = 0;
        length = static_cast<int>(m_units);
        return m_wide;
    }
    char* narrow(int& length) {
        m_narrow[m_bytes] = '\0';
        length = static_cast<int>(m_bytes);
        return m_narrow;
    }
    void clear() {
        m_units = 0;
        m_bytes = 0;
    }

private:
    // Adds a short text (the indentation between elements, a few words between references)
    // as one whole block from the parser's buffer, when none of its bytes is beyond ASCII;
    // false when it is not such a text.
    bool addAsciiBlock(const char* text, size_t size, const char* readable) {
        using qorutils::text::kAsciiBlock;
        if (readable == nullptr || readable - text < std::ptrdiff_t{kAsciiBlock} ||
            room() < kAsciiBlock) {
            return false;
        }
        const bool added = m_narrowed
                               ? qorutils::text::CopyAsciiBlock(m_narrow + m_bytes, text, size)
                               : qorutils::text::WidenAsciiBlock(m_wide + m_units, text, size);
        if (added) {
            m_units += size;
            m_bytes += size;
        }
        return added;
    }

    bool m_narrowed;
    // The units of the piece, and its narrowed bytes.
    size_t m_units = 0;
    size_t m_bytes = 0;
    // Each with room for the NUL and for a block written past the end of the piece.
    unsigned short m_wide[kUnits + qorutils::text::kBlockSlack];
    char m_narrow[kUnits + qorutils::text::kBlockSlack];
};

} // namespace detail
} // namespace MSXML2
