// Reads a 1 GiB document, generated on the fly, with SAXXMLReader::parseURL: once through a
// pipe and once from a temporary file (both read in pieces), each in a child process, and
// shows that the peak resident size stays small. Exits 1 when a parse fails or a peak exceeds
// the bound. Built and run by ctest without sanitizers, which would distort the figure.
#include <QorUtils/platform/SAXXMLReader.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr size_t kDocumentSize = size_t{1} << 30;
constexpr long kPeakBoundMiB = 64;

// Writes the document to a file descriptor: units of a few elements with attributes and text,
// numbered, until the next would pass kDocumentSize. Returns the number of elements, or -1
// when writing fails.
long WriteDocument(int fd) {
    std::string buffer = "<?xml version='1.0' encoding='UTF-8'?>\n<model xmlns:u='urn:units'>\n";
    const std::string tail = "</model>\n";
    size_t written = 0;
    long elements = 1;
    char unit[512];
    for (long i = 0;; ++i) {
        const int length =
            std::snprintf(unit, sizeof(unit),
                          "  <unit id='u%ld' u:kind='pump' enabled='true'>\n"
                          "    <name>Feed pump %ld of the cooling loop</name>\n"
                          "    <param key='flow' value='%ld.25'/>\n"
                          "    <note>Checked &amp; approved, caf\xC3\xA9 line %ld</note>\n"
                          "  </unit>\n",
                          i, i, i, i);
        if (written + buffer.size() + static_cast<size_t>(length) + tail.size() > kDocumentSize) {
            break;
        }
        buffer.append(unit, static_cast<size_t>(length));
        elements += 4;
        if (buffer.size() >= (size_t{1} << 16)) {
            if (write(fd, buffer.data(), buffer.size()) != static_cast<ssize_t>(buffer.size())) {
                return -1;
            }
            written += buffer.size();
            buffer.clear();
        }
    }
    buffer += tail;
    return write(fd, buffer.data(), buffer.size()) == static_cast<ssize_t>(buffer.size()) ? elements
                                                                                          : -1;
}

// Counts the elements it is told of; lives on the stack of the child that parses.
struct ElementCounter final : MSXML2::ISAXContentHandler {
    long elements = 0;
    long QueryInterface(const GUID&, void**) override { return E_NOINTERFACE; }
    unsigned long AddRef() override { return 2; }
    unsigned long Release() override { return 1; }
    long putDocumentLocator(MSXML2::ISAXLocator*) override { return S_OK; }
    long startDocument() override { return S_OK; }
    long endDocument() override { return S_OK; }
    long startPrefixMapping(unsigned short*, int, unsigned short*, int) override { return S_OK; }
    long endPrefixMapping(unsigned short*, int) override { return S_OK; }
    long startElement(unsigned short*, int, unsigned short*, int, unsigned short*, int,
                      MSXML2::ISAXAttributes*) override {
        ++elements;
        return S_OK;
    }
    long endElement(unsigned short*, int, unsigned short*, int, unsigned short*, int) override {
        return S_OK;
    }
    long characters(unsigned short*, int) override { return S_OK; }
    long ignorableWhitespace(unsigned short*, int) override { return S_OK; }
    long processingInstruction(unsigned short*, int, unsigned short*, int) override { return S_OK; }
    long skippedEntity(unsigned short*, int) override { return S_OK; }
};

// Parses `path` in a child process and shows its time and peak resident size; true when the
// document read whole (S_OK: the root element closed at its end) within the bound.
bool ParseInChild(const char* what, const std::string& path) {
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == 0) {
        ElementCounter counter;
        MSXML2::SAXXMLReader reader;
        reader.putContentHandler(&counter);
        const long result = reader.parseURL(path.c_str());
        _exit(result == S_OK && counter.elements > 1 ? 0 : 1);
    }
    int status = 0;
    rusage usage{};
    if (child < 0 || wait4(child, &status, 0, &usage) != child) {
        std::printf("%s: cannot run the reader\n", what);
        return false;
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double peakMiB = static_cast<double>(usage.ru_maxrss) / 1024;
    const bool read = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    std::printf("%s: %zu MiB %s in %.1f s (%.0f MB/s), peak resident size %.1f MiB (bound %ld)\n",
                what, kDocumentSize >> 20, read ? "read" : "NOT read whole", seconds,
                static_cast<double>(kDocumentSize) / seconds / 1e6, peakMiB, kPeakBoundMiB);
    std::fflush(stdout);
    return read && peakMiB <= static_cast<double>(kPeakBoundMiB);
}

// A writer process generates the document into a pipe while the reader reads it.
bool ThroughPipe() {
    int ends[2];
    if (pipe(ends) != 0) {
        return false;
    }
    const pid_t writer = fork();
    if (writer == 0) {
        close(ends[0]);
        _exit(WriteDocument(ends[1]) > 0 ? 0 : 1);
    }
    close(ends[1]);
    const bool read = ParseInChild("pipe", "/dev/fd/" + std::to_string(ends[0]));
    close(ends[0]);
    int status = 0;
    return writer > 0 && waitpid(writer, &status, 0) == writer && read;
}

// The document goes to a temporary file first, which is removed afterwards.
bool ThroughFile() {
    const char* directory = std::getenv("TMPDIR");
    std::string path =
        std::string(directory != nullptr ? directory : "/tmp") + "/qorutils-peak-memory-XXXXXX";
    const int fd = mkstemp(path.data());
    if (fd < 0) {
        std::printf("file: cannot create a temporary file\n");
        return false;
    }
    const bool written = WriteDocument(fd) > 0;
    close(fd);
    const bool read = written && ParseInChild("file", path);
    unlink(path.c_str());
    return read;
}

} // namespace

int main() {
    const bool pipeRead = ThroughPipe();
    const bool fileRead = ThroughFile();
    return pipeRead && fileRead ? 0 : 1;
}
