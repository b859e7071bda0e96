#include <QorUtils/object/EntryCursor.h>

#include <QorUtils/object/EmptyObjects.h>
#include <QorUtils/object/Entry.h>
#include <QorUtils/platform/DebugOutput.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <iterator>
#include <utility>

namespace FI {
namespace {

// The interface has no count getter, so the count is read by taking a reference and giving it
// back; the handle's own reference keeps the implementation alive meanwhile.
int CurrentCount(EntryCursorImpl* impl) {
    const int count = impl->AddRef() - 1;
    impl->Release();
    return count;
}

// Counts the seek, stopping at INT32_MAX. The counters are changed and read atomically, so
// cursors on different threads may seek at once.
void RecordSeek(EntryCursorImpl* impl) {
    const int last = static_cast<int>(std::size(EntryCursor::S_refcount_on_seek)) - 1;
    int32_t& counter = EntryCursor::S_refcount_on_seek[std::clamp(CurrentCount(impl), 0, last)];
    int32_t seen = __atomic_load_n(&counter, __ATOMIC_RELAXED);
    while (seen < INT32_MAX && !__atomic_compare_exchange_n(&counter, &seen, seen + 1, true,
                                                            __ATOMIC_RELAXED, __ATOMIC_RELAXED)) {
    }
}

EntryCursorImpl* ShareImpl(EntryCursorImpl* impl) {
    return impl != nullptr ? impl->Clone(false) : nullptr;
}

} // namespace

int32_t EntryCursor::S_refcount_on_seek[20] = {};

EntryCursorImpl::~EntryCursorImpl() = default;

EntryCursor::EntryCursor() : EntryCursor(GetEmptyCursor()) {}

EntryCursor::EntryCursor(EntryCursorImpl* impl) : m_pImpl(ShareImpl(impl)) {}

EntryCursor::EntryCursor(const EntryCursor& other) : m_pImpl(ShareImpl(other.m_pImpl)) {}

EntryCursor::EntryCursor(EntryCursor&& other) noexcept
    : m_pImpl(std::exchange(other.m_pImpl, nullptr)) {}

EntryCursor& EntryCursor::operator=(const EntryCursor& other) {
    EntryCursor copy(other);
    std::swap(m_pImpl, copy.m_pImpl);
    return *this;
}

EntryCursor& EntryCursor::operator=(EntryCursor&& other) noexcept {
    EntryCursor taken(std::move(other));
    std::swap(m_pImpl, taken.m_pImpl);
    return *this;
}

EntryCursor::~EntryCursor() {
    reset();
}

void EntryCursor::reset() {
    if (EntryCursorImpl* impl = std::exchange(m_pImpl, nullptr)) {
        impl->Release();
    }
}

bool EntryCursor::Seek(int origin, int steps) {
    if (m_pImpl == nullptr) {
        return false;
    }
    RecordSeek(m_pImpl);
    return m_pImpl->Seek(origin, steps);
}

bool EntryCursor::SeekName(int mode, const std::string& name) {
    if (m_pImpl == nullptr) {
        return false;
    }
    RecordSeek(m_pImpl);
    return m_pImpl->SeekName(mode, name);
}

bool EntryCursor::SeekElement(int mode, const ObjectPtr<Entry>& entry) {
    if (m_pImpl == nullptr) {
        return false;
    }
    RecordSeek(m_pImpl);
    return m_pImpl->SeekElement(mode, entry);
}

bool EntryCursor::AtFirst() const {
    return m_pImpl != nullptr && m_pImpl->AtFirst();
}

bool EntryCursor::AtEnd() const {
    return m_pImpl == nullptr || m_pImpl->AtEnd();
}

int EntryCursor::Compare(const EntryCursor& other) const {
    if (m_pImpl == nullptr || other.m_pImpl == nullptr) {
        return m_pImpl == other.m_pImpl ? 0 : -2;
    }
    return m_pImpl->Compare(*other.m_pImpl);
}

FIAttribute& EntryCursor::GetName(FIAttribute& name) const {
    return m_pImpl != nullptr ? m_pImpl->GetName(name) : name.Clear();
}

ObjectPtr<Entry> EntryCursor::GetEntry() const {
    return m_pImpl != nullptr ? m_pImpl->GetEntry() : ObjectPtr<Entry>();
}

} // namespace FI

void printECounts() {
    char line[100];
    std::snprintf(line, sizeof line, " refcnt   number of seeks with\n");
    OutputDebugStringA(line);
    for (int i = 0; i < static_cast<int>(std::size(FI::EntryCursor::S_refcount_on_seek)); ++i) {
        std::snprintf(line, sizeof line, "  %d        %d\n", i,
                      static_cast<int>(__atomic_load_n(&FI::EntryCursor::S_refcount_on_seek[i],
                                                       __ATOMIC_RELAXED)));
        OutputDebugStringA(line);
    }
}
