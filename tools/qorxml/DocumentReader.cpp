#include "qorxml/DocumentReader.h"

#include "qorxml/AcceptAllHandler.h"
#include "qorxml/Progress.h"

#include <QorUtils/xml/SAXContentHandlerImpl.h>
#include <QorUtils/xml/TopHandler.h>

#include <chrono>
#include <new>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qorxml {
namespace {

// A document opened for reading through its descriptor, so that the bytes read are counted
// whatever it is (a pipe, a FIFO, a device, a file that grows or vanishes). -1 when it cannot
// be opened or is a directory: parseURL then reports why.
int OpenDocument(const char* path) {
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    struct stat status {};
    if (fd >= 0 && (fstat(fd, &status) != 0 || S_ISDIR(status.st_mode))) {
        close(fd);
        return -1;
    }
    return fd;
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
    const int fd = standardInput ? 0 : OpenDocument(name.c_str());
    uint64_t bytes = 0;
    const long result = fd >= 0 ? m_reader.parseDescriptor(fd, name.c_str(), &bytes)
                                : m_reader.parseURL(name.c_str());
    if (!standardInput && fd >= 0) {
        close(fd);
    }
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    m_reader.putContentHandler(nullptr);
    content->Release();
    m_errors->SetFile("", nullptr, nullptr);
    bool ok = result >= 0;
    if (root == nullptr || printer.outOfMemory()) {
        out.Message(name + ": error: out of memory, elements were skipped\n");
        ok = false;
    }
    return {ok, printer.counts(), bytes, elapsed.count()};
}

} // namespace qorxml
