#include "qorxml/DocumentPrinter.h"

#include "qorxml/Progress.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

namespace qorxml {
namespace {

// The outline indents two blanks per level up to this depth; deeper lines begin with their
// depth instead, so that the output stays linear in the document's size.
constexpr size_t k_deepestIndent = 64;

} // namespace

Counts& Counts::operator+=(const Counts& other) {
    elements += other.elements;
    attributes += other.attributes;
    textBytes += other.textBytes;
    return *this;
}

DocumentPrinter::DocumentPrinter(OutputBuffer& out, Format format, Progress* progress)
    : m_out(out), m_format(format), m_progress(progress) {}

bool DocumentPrinter::StartElement(const char* name, MSXML2::ISAXLocator* locator) {
    const size_t depth = m_starts.size();
    try {
        m_starts.push_back(m_names.size());
        m_names.append(name, std::strlen(name) + 1);
    } catch (const std::bad_alloc&) {
        m_starts.resize(depth);
        return false;
    }
    ++m_counts.elements;
    if (m_progress != nullptr) {
        m_progress->Tick(m_counts, locator);
    }
    if (m_format == Format::Events) {
        m_out.Write("start ", 6);
        m_out.Escape(name);
        m_out.Put('\n');
    } else {
        Indent(depth);
        m_out.Escape(name);
    }
    return true;
}

void DocumentPrinter::Attribute(const char* name, const char* value) {
    ++m_counts.attributes;
    if (m_format == Format::Events) {
        m_out.Write("attr ", 5);
        m_out.Escape(name);
        m_out.Put('=');
        m_out.Escape(value);
        m_out.Put('\n');
        return;
    }
    m_out.Put(' ');
    m_out.Escape(name);
    m_out.Write("=\"", 2);
    m_out.Escape(value, true);
    m_out.Put('"');
}

void DocumentPrinter::EndOfAttributes() {
    if (m_format == Format::Outline) {
        m_out.Put('\n');
    }
}

void DocumentPrinter::Text(const char* text, MSXML2::ISAXLocator* locator) {
    const size_t length = std::strlen(text);
    m_counts.textBytes += length;
    if (m_progress != nullptr) {
        m_progress->Tick(m_counts, locator);
    }
    if (m_format == Format::Events) {
        m_out.Write("text ", 5);
        m_out.Escape(text);
        m_out.Put('\n');
    }
}

void DocumentPrinter::EndElement() {
    if (m_starts.empty()) {
        return;
    }
    const size_t start = m_starts.back();
    m_starts.pop_back();
    if (m_format == Format::Events) {
        m_out.Write("end ", 4);
        m_out.Escape(m_names.c_str() + start);
        m_out.Put('\n');
    }
    m_names.resize(start);
}

void DocumentPrinter::Indent(size_t depth) {
    static const std::string k_blanks(2 * k_deepestIndent, ' ');
    m_out.Write(k_blanks.data(), 2 * std::min(depth, k_deepestIndent));
    if (depth > k_deepestIndent) {
        char label[32];
        const int length = std::snprintf(label, sizeof label, "[%zu] ", depth);
        m_out.Write(label, static_cast<size_t>(length));
    }
}

} // namespace qorxml
