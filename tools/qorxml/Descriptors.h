// Whole reads and writes through descriptors that may not block: a parent may leave standard
// input, output or error so, and a read or write that cannot go on yet then fails with EAGAIN.
// These wait for the descriptor (poll) and go on. On error they return false with errno set.
#pragma once

#include <cstddef>
#include <string>

namespace qorxml {

// Appends the text that `fd` gives, to its end or to the first piece that holds a NUL byte: no
// text holds one, so a source of them (/dev/zero) is not read on. False with ENOMEM when memory
// runs out.
bool ReadText(int fd, std::string& text);

// Writes all `size` bytes at `data`.
bool WriteAll(int fd, const char* data, size_t size);

} // namespace qorxml
