// DocumentPrinter: turns the elements, attributes and text of one document into qorxml's output
// lines (an outline or one line per event) and counts them. It keeps the names of the open
// elements in one growing buffer, so a deep document costs no allocation per element once the
// buffer has grown. Not thread-safe; one per document being read.
#pragma once

#include "qorxml/OutputBuffer.h"

#include <QorUtils/platform/SAX.h>

#include <cstdint>
#include <string>
#include <vector>

namespace qorxml {

class Progress;

enum class Format { Outline, Events };

// What a document held, as the handlers saw it (narrowed texts).
struct Counts {
    uint64_t elements = 0;
    uint64_t attributes = 0;
    uint64_t textBytes = 0;

    Counts& operator+=(const Counts& other);
};

class DocumentPrinter {
public:
    // Borrows `out` and `progress` (which may be null) for the printer's lifetime.
    DocumentPrinter(OutputBuffer& out, Format format, Progress* progress);

    // An element's start is StartElement, one Attribute per attribute, then EndOfAttributes.
    // StartElement prints nothing and answers false when memory runs out. The locator (may be
    // null) serves the progress line.
    bool StartElement(const char* name, MSXML2::ISAXLocator* locator);
    void Attribute(const char* name, const char* value);
    void EndOfAttributes();
    void Text(const char* text, MSXML2::ISAXLocator* locator);
    // Ends the innermost open element.
    void EndElement();

    // Memory ran out, so part of the document was skipped.
    void MarkOutOfMemory() { m_outOfMemory = true; }
    bool outOfMemory() const { return m_outOfMemory; }
    const Counts& counts() const { return m_counts; }

private:
    void Indent(size_t depth);

    OutputBuffer& m_out;
    Format m_format;
    Progress* m_progress;
    Counts m_counts;
    bool m_outOfMemory = false;
    // The open elements' names, each followed by a NUL, innermost last; m_starts holds where
    // each begins.
    std::string m_names;
    std::vector<size_t> m_starts;
};

} // namespace qorxml
