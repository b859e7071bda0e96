// A mutex that fork waits for, shared by the library's process-wide locks.
#pragma once

#include <atomic>
#include <mutex>
#include <type_traits>

#include <pthread.h>

namespace qorutils {

// A process forked while another thread holds a plain mutex would have it held for good in the
// child. Registered with pthread_atfork, Prepare and Finish make fork wait for the lock instead,
// and parent and child each go on with it free. A host's fork handler that runs between them on
// the forking thread may still take the lock: a Guard there uses the hold of the fork.
// Constant-initialised and trivially destructible, it serves from the first static constructor
// to the last exit handler.
class ForkLock {
public:
    void Prepare() {
        m_mutex.lock();
        m_forkingThread.store(pthread_self(), std::memory_order_relaxed);
    }
    void Finish() {
        m_forkingThread.store(pthread_t{}, std::memory_order_relaxed);
        m_mutex.unlock();
    }

    // Holds the lock for its scope, unless this thread holds it for a fork already.
    class Guard {
    public:
        explicit Guard(ForkLock& lock)
            : m_lock(lock),
              m_taken(!pthread_equal(lock.m_forkingThread.load(std::memory_order_relaxed),
                                     pthread_self())) {
            if (m_taken) {
                m_lock.m_mutex.lock();
            }
        }
        ~Guard() {
            if (m_taken) {
                m_lock.m_mutex.unlock();
            }
        }
        Guard(const Guard&) = delete;
        Guard& operator=(const Guard&) = delete;

    private:
        ForkLock& m_lock;
        const bool m_taken;
    };

private:
    std::mutex m_mutex;
    // The thread that is forking, from the library's first fork handler to its last; zero when
    // no fork is under way.
    std::atomic<pthread_t> m_forkingThread{};
};
static_assert(std::is_trivially_destructible_v<ForkLock>);

// Makes fork wait for `Lock`, registering Prepare and Finish with pthread_atfork; called once
// per lock, by a static initialiser. The C library drops them when the library is unloaded.
template <ForkLock& Lock> int WaitAtFork() {
    return pthread_atfork([] { Lock.Prepare(); }, [] { Lock.Finish(); }, [] { Lock.Finish(); });
}

} // namespace qorutils
