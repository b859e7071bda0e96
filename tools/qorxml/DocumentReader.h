// DocumentReader: reads documents one after the other through one MSXML2::SAXXMLReader, the two
// adapters and a TopHandler over an AcceptAllHandler, printing each into the OutputBuffer given
// for it. Owns its reader and error reporter. Used by one thread; each reading thread has its own.
#pragma once

#include "qorxml/DocumentPrinter.h"
#include "qorxml/ErrorReporter.h"

#include <QorUtils/platform/SAXXMLReader.h>

#include <atomic>
#include <cstdint>
#include <string>

namespace qorxml {

// What reading one file gave.
struct FileResult {
    // No fatal error, and no element skipped for want of memory.
    bool ok = true;
    Counts counts;
    // The bytes read from the file or from standard input.
    uint64_t bytes = 0;
    double seconds = 0.0;
};

class DocumentReader {
public:
    explicit DocumentReader(Format format);
    ~DocumentReader();
    DocumentReader(const DocumentReader&) = delete;
    DocumentReader& operator=(const DocumentReader&) = delete;

    // Reads the file named `name` ("-": standard input, as it stands) with a fresh handler tree
    // into `out`, where its errors go too. The progress line shows only while `progressShown`
    // is true, when given.
    FileResult Read(const std::string& name, OutputBuffer& out,
                    const std::atomic<bool>* progressShown = nullptr);

private:
    Format m_format;
    MSXML2::SAXXMLReader m_reader;
    ErrorReporter* m_errors;
};

} // namespace qorxml
