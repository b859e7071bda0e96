// Process-wide objects that stay usable until the process ends: each is built in static storage
// and never destroyed, so that a host's static destructors and exit handlers may still reach it
// after the library's own exit handlers have run. The storage is not heap memory, so nothing of
// such an object is freed early or left behind at exit. Private to the library.
#pragma once

#include <new>
#include <utility>

namespace qorutils {

template <class T> class NeverDestroyed {
public:
    template <class... Args> explicit NeverDestroyed(Args&&... args) {
        new (m_storage) T(std::forward<Args>(args)...);
    }
    NeverDestroyed(const NeverDestroyed&) = delete;
    NeverDestroyed& operator=(const NeverDestroyed&) = delete;

    // Through void*: the storage is aligned for T, which a cast from unsigned char* does not say.
    T& get() { return *std::launder(static_cast<T*>(static_cast<void*>(m_storage))); }

private:
    alignas(T) unsigned char m_storage[sizeof(T)];
};

} // namespace qorutils
