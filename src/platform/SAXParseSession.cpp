#include "platform/SAXParseSession.h"

#include "platform/ExpatPosition.h"

#include <QorUtils/platform/SAXXMLReader.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace MSXML2 {
namespace detail {
namespace {

// A stream goes to expat in pieces of this size. Expat scans each non-final piece a second
// time to keep its line and column, whatever the piece size (measured from 16 KiB to 4 MiB);
// this one keeps the piece in the cache and memory small.
constexpr size_t kPieceSize = size_t{256} << 10;
// The rest of a regular file is read whole, and parsed as the final piece without that second
// scan, once it is at most this long: a file this small is parsed as a document in memory is.
constexpr size_t kLastPiece = size_t{8} << 20;
// The largest piece: expat counts buffer sizes in int and doubles them.
constexpr size_t kLargestPiece = size_t{1} << 30;

// Expat takes a CR that ends a piece after the root element for a whole line break, and the LF
// that begins the next piece for another. A piece that ends in a CR, or in a CR and one more
// byte (a CR in UTF-16 is two), keeps them for the next piece instead, which expat reads as it
// reads any other cut. The bytes kept: at most kHeldBack.
constexpr size_t kHeldBack = 2;

size_t CrTail(const char* data, size_t length) {
    if (length <= kHeldBack) {
        return 0;
    }
    return data[length - 1] == '\r' ? 1 : data[length - 2] == '\r' ? 2 : 0;
}

// Closes a file descriptor when it goes out of scope.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    ~FileDescriptor() {
        if (m_fd >= 0) {
            close(m_fd);
        }
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

// Waits until a descriptor that does not block (a parent may have made standard input so) has
// something to read, or its end; false on error.
bool awaitInput(int fd) {
    pollfd wanted = {fd, POLLIN, 0};
    while (poll(&wanted, 1, -1) < 0) {
        if (errno != EINTR) {
            return false;
        }
    }
    return true;
}

// Reads until the buffer is full or the input ends (a pipe gives less per read); -1 on error.
long readFully(int fd, char* buffer, size_t size) {
    size_t filled = 0;
    while (filled < size) {
        const ssize_t got = read(fd, buffer + filled, size - filled);
        if (got == 0) {
            break;
        }
        if (got < 0) {
            const bool retry =
                errno == EINTR || ((errno == EAGAIN || errno == EWOULDBLOCK) && awaitInput(fd));
            if (retry) {
                continue;
            }
            return -1;
        }
        filled += static_cast<size_t>(got);
    }
    return static_cast<long>(filled);
}

// strerror_r (GNU form), as readings on other threads may fail at the same time.
std::string fileMessage(const char* what, const char* path, int error) {
    char buffer[128];
    return std::string(what) + " '" + path + "': " + strerror_r(error, buffer, sizeof buffer);
}

} // namespace

SAXParseSession::SAXParseSession(ISAXContentHandler* content, ISAXErrorHandler* errors,
                                 SAXParseSession*& owner)
    : m_ppOwner(&owner), m_events(content, errors) {
    owner = this;
}

SAXParseSession::~SAXParseSession() {
    if (m_ppOwner != nullptr) {
        *m_ppOwner = nullptr;
    }
}

void SAXParseSession::abandon() {
    m_ppOwner = nullptr;
    m_events.abort(E_ABORT);
}

bool SAXParseSession::start() {
    if (!m_events.createParser()) {
        m_events.fail(SAXREADER_E_MEMORY, XML_ErrorString(XML_ERROR_NO_MEMORY));
        return false;
    }
    return m_events.startDocument();
}

long SAXParseSession::parseFile(const char* path) {
    if (!m_events.begin(path)) {
        return m_events.result();
    }
    if (path == nullptr) {
        return m_events.fail(E_INVALIDARG, "no file name given");
    }
    const FileDescriptor file(open(path, O_RDONLY | O_CLOEXEC));
    if (file.get() < 0) {
        return m_events.fail(SAXREADER_E_OPEN, fileMessage("cannot open file", path, errno));
    }
    struct stat status {};
    if (fstat(file.get(), &status) != 0) {
        return m_events.fail(SAXREADER_E_OPEN, fileMessage("cannot open file", path, errno));
    }
    if (S_ISDIR(status.st_mode)) {
        return m_events.fail(SAXREADER_E_OPEN, fileMessage("cannot open file", path, EISDIR));
    }
    if (!start()) {
        return m_events.result();
    }
    return parseInPieces(file.get(), path, S_ISREG(status.st_mode) ? status.st_size : -1);
}

long SAXParseSession::parseDescriptor(int fd, const char* systemId, uint64_t* bytesRead) {
    if (!m_events.begin(systemId)) {
        return m_events.result();
    }
    if (fd < 0) {
        return m_events.fail(E_INVALIDARG, "no file descriptor given");
    }
    if (!start()) {
        return m_events.result();
    }
    const long result = parseInPieces(fd, systemId != nullptr ? systemId : "", -1);
    if (bytesRead != nullptr) {
        *bytesRead = m_bytesRead;
    }
    return result;
}

long SAXParseSession::parseMemory(const char* data, size_t size) {
    if (!m_events.begin(nullptr)) {
        return m_events.result();
    }
    if (data == nullptr && size != 0) {
        return m_events.fail(E_INVALIDARG, "no data given");
    }
    if (!start()) {
        return m_events.result();
    }
    m_events.noteStart(data, size);
    // The document goes to expat whole: only a final piece spares expat a second scan. One
    // beyond expat's largest piece goes in pieces, cut where a stream's are.
    size_t offset = 0;
    size_t end = 0;
    size_t piece = size <= kLargestPiece ? size : kPieceSize;
    for (;;) {
        end += std::min(piece, size - end);
        const bool final = end == size;
        const size_t length = end - offset - (final ? 0 : CrTail(data + offset, end - offset));
        m_events.beforePiece();
        if (XML_Parse(m_events.parser(), data + offset, static_cast<int>(length), final) !=
            XML_STATUS_OK) {
            return m_events.parseFailed();
        }
        if (final) {
            return m_events.finishDocument();
        }
        offset += length;
        piece = nextPieceSize(offset, -1);
    }
}

// Every file is read, never mapped: another process may truncate or rewrite a file while it is
// read, and a mapped page past its new end would kill the process (SIGBUS). A file that ends
// early ends the document there. `size` is a regular file's size as it was opened (-1 for a
// stream); a file that grew since is read on to its end.
long SAXParseSession::parseInPieces(int fd, const char* path, long long size) {
    posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    XML_Parser parser = m_events.parser();
    unsigned long long fed = 0;
    char held[kHeldBack] = {};
    size_t heldLength = 0;
    for (;;) {
        const size_t piece = nextPieceSize(fed, size);
        auto* buffer =
            static_cast<char*>(XML_GetBuffer(parser, static_cast<int>(piece + kHeldBack)));
        if (buffer == nullptr) {
            return m_events.parseFailed();
        }
        std::memcpy(buffer, held, heldLength);
        const long got = readFully(fd, buffer + heldLength, piece);
        if (got < 0) {
            return m_events.fail(SAXREADER_E_READ, fileMessage("cannot read file", path, errno));
        }
        m_bytesRead += static_cast<uint64_t>(got);
        const bool final = static_cast<size_t>(got) < piece;
        size_t length = heldLength + static_cast<size_t>(got);
        if (fed == 0) {
            m_events.noteStart(buffer, length);
        }
        heldLength = final ? 0 : CrTail(buffer, length);
        length -= heldLength;
        std::memcpy(held, buffer + length, heldLength);
        m_events.beforePiece();
        if (XML_ParseBuffer(parser, static_cast<int>(length), final) != XML_STATUS_OK) {
            return m_events.parseFailed();
        }
        if (final) {
            return m_events.finishDocument();
        }
        fed += length;
    }
}

// A token that does not end inside a piece (a long comment or start tag) stays unparsed in
// expat's buffer and is scanned again with the next piece; the next piece is made as long as
// what is left, so such a token costs a bounded number of scans, not one per piece. Expat
// holds what is left and the piece together, so a piece is at most half its largest buffer.
// The rest of a regular file of `size` bytes is asked for whole, and one byte more, which
// shows that the file ends there, when it fits in the last piece.
size_t SAXParseSession::nextPieceSize(unsigned long long fed, long long size) const {
    size_t piece = kPieceSize;
    const int64_t parsed = ExpatByteIndex(m_events.parser());
    if (parsed >= 0 && static_cast<unsigned long long>(parsed) < fed) {
        const unsigned long long left = fed - static_cast<unsigned long long>(parsed);
        piece = static_cast<size_t>(std::min<unsigned long long>(
            std::max<unsigned long long>(left, kPieceSize), kLargestPiece / 2));
        // Even, so that pieces of UTF-16 end between code units however many bytes were kept.
        piece += piece & 1;
    }
    if (size >= 0 && static_cast<unsigned long long>(size) >= fed &&
        static_cast<unsigned long long>(size) - fed < kLastPiece) {
        piece =
            std::max(piece, static_cast<size_t>(static_cast<unsigned long long>(size) - fed) + 1);
    }
    return piece;
}

} // namespace detail
} // namespace MSXML2
