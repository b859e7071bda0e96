#include "qorxml/DocumentReader.h"

#include "qorxml/AcceptAllHandler.h"
#include "qorxml/Progress.h"

#include <QorUtils/xml/SAXContentHandlerImpl.h>
#include <QorUtils/xml/TopHandler.h>

#include <chrono>
#include <new>

#include <sys/stat.h>

namespace qorxml {
namespace {

uint64_t FileSize(const char* path) {
    struct stat status {};
    return stat(path, &status) == 0 && S_ISREG(status.st_mode)
               ? static_cast<uint64_t>(status.st_size)
               : 0;
}

} // namespace

DocumentReader::DocumentReader(Format format) : m_format(format), m_errors(new ErrorReporter) {
    m_reader.putErrorHandler(m_errors);
}

DocumentReader::~DocumentReader() {
    m_reader.putErrorHandler(nullptr);
    m_errors->Release();
}

FileResult DocumentReader::Read(const std::string& name, OutputBuffer& out,
                                const std::atomic<bool>* progressShown) {
    Progress progress(name.c_str(), progressShown);
    m_errors->SetFile(name.c_str(), &out, &progress);
    DocumentPrinter printer(out, m_format, &progress);
    auto* root = new (std::nothrow) AcceptAllHandler(printer);
    auto* content = new SAXContentHandlerImpl(new TopHandler(root));
    m_reader.putContentHandler(content);
    const auto start = std::chrono::steady_clock::now();
    const bool standardInput = name == "-";
    uint64_t bytes = 0;
    const long result = standardInput ? m_reader.parseDescriptor(0, name.c_str(), &bytes)
                                      : m_reader.parseURL(name.c_str());
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    m_reader.putContentHandler(nullptr);
    content->Release();
    m_errors->SetFile("", nullptr, nullptr);
    bool ok = result >= 0;
    if (root == nullptr || printer.outOfMemory()) {
        out.Message(name + ": error: out of memory, elements were skipped\n");
        ok = false;
    }
    return {ok, printer.counts(), standardInput ? bytes : FileSize(name.c_str()), elapsed.count()};
}

} // namespace qorxml
