// The log's trace threshold, for the library's own writers: a message that the threshold keeps
// out costs its writer nothing more than this test, whatever the log's lock is doing.
#pragma once

namespace qorutils {

// Whether FILogTrace writes a message of `level` now (FILogErr writes any message). Lock-free
// and thread-safe; a change of the threshold on another thread is seen as the lock would order
// it or just after.
bool LogWrites(int level) noexcept;

} // namespace qorutils
