// FI::ObjectPtr<T>: the counted handle through which contexts, entries and attribute collections
// are held. A non-null handle owns exactly one reference, taken with T::AddRef and given back with
// T::Release (which destroys the object at zero), through copies, moves and self-assignment.
// The Release that destroys an object holds its count at 1 while it does, so that code run by its
// destructor (a solver's, a wrapped context's) may make and drop handles on it without starting a
// second destruction; every counted class of the library does so, and a host's should too.
// Counts are plain integers: a handle and its object are used by one thread at a time.
#pragma once

#include <cstddef>
#include <utility>

namespace FI {

template <class T> class ObjectPtr {
public:
    ObjectPtr() noexcept = default;
    ObjectPtr(std::nullptr_t) noexcept {}
    // Takes a reference on a non-null object.
    ObjectPtr(T* p) : m_p(p) {
        if (m_p != nullptr) {
            m_p->AddRef();
        }
    }
    ObjectPtr(const ObjectPtr& other) : ObjectPtr(other.m_p) {}
    ObjectPtr(ObjectPtr&& other) noexcept : m_p(std::exchange(other.m_p, nullptr)) {}
    ~ObjectPtr() { reset(); }

    // Each assignment takes the new reference before it gives the old one back, so assigning a
    // handle to itself (or to its own object) keeps the object alive.
    ObjectPtr& operator=(const ObjectPtr& other) {
        ObjectPtr(other).swap(*this);
        return *this;
    }
    ObjectPtr& operator=(ObjectPtr&& other) noexcept {
        ObjectPtr(std::move(other)).swap(*this);
        return *this;
    }
    ObjectPtr& operator=(T* p) {
        ObjectPtr(p).swap(*this);
        return *this;
    }

    T* get() const noexcept { return m_p; }
    T* operator->() const noexcept { return m_p; }
    T& operator*() const noexcept { return *m_p; }
    explicit operator bool() const noexcept { return m_p != nullptr; }

    // Gives the reference back (which may destroy the object) and leaves the handle null.
    void reset() {
        if (T* p = std::exchange(m_p, nullptr)) {
            p->Release();
        }
    }
    void swap(ObjectPtr& other) noexcept { std::swap(m_p, other.m_p); }

    // Comparisons look at the pointers only; none takes a reference.
    friend bool operator==(const ObjectPtr& a, const ObjectPtr& b) { return a.m_p == b.m_p; }
    friend bool operator!=(const ObjectPtr& a, const ObjectPtr& b) { return a.m_p != b.m_p; }
    friend bool operator==(const ObjectPtr& a, const T* b) { return a.m_p == b; }
    friend bool operator!=(const ObjectPtr& a, const T* b) { return a.m_p != b; }
    friend bool operator==(const T* a, const ObjectPtr& b) { return a == b.m_p; }
    friend bool operator!=(const T* a, const ObjectPtr& b) { return a != b.m_p; }

private:
    T* m_p = nullptr;
};

} // namespace FI
