#include "qorxml/Descriptors.h"

#include <cerrno>
#include <cstring>
#include <new>

#include <poll.h>
#include <unistd.h>

namespace qorxml {
namespace {

// After a read or write failed: whether to try again, having waited for `events` when the
// descriptor does not block.
bool Retry(int fd, short events) {
    if (errno == EINTR) {
        return true;
    }
    if (errno != EAGAIN && errno != EWOULDBLOCK) {
        return false;
    }
    pollfd wanted = {fd, events, 0};
    return poll(&wanted, 1, -1) >= 0 || errno == EINTR;
}

} // namespace

bool ReadText(int fd, std::string& text) {
    char buffer[65536];
    for (;;) {
        const ssize_t got = read(fd, buffer, sizeof buffer);
        if (got > 0) {
            try {
                text.append(buffer, static_cast<size_t>(got));
            } catch (const std::bad_alloc&) {
                errno = ENOMEM;
                return false;
            }
            if (std::memchr(buffer, '\0', static_cast<size_t>(got)) != nullptr) {
                return true;
            }
        } else if (got == 0) {
            return true;
        } else if (!Retry(fd, POLLIN)) {
            return false;
        }
    }
}

bool WriteAll(int fd, const char* data, size_t size) {
    while (size != 0) {
        const ssize_t put = write(fd, data, size);
        if (put >= 0) {
            data += put;
            size -= static_cast<size_t>(put);
        } else if (!Retry(fd, POLLOUT)) {
            return false;
        }
    }
    return true;
}

} // namespace qorxml
