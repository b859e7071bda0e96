#include <QorUtils/object/AttrCursor.h>

#include <utility>

namespace FI {
namespace {

AttrCursorImpl* ShareImpl(AttrCursorImpl* impl) {
    return impl != nullptr ? impl->Clone(false) : nullptr;
}

} // namespace

AttrCursorImpl::~AttrCursorImpl() = default;

AttrCursor::AttrCursor(AttrCursorImpl* impl) : m_pImpl(ShareImpl(impl)) {}

AttrCursor::AttrCursor(const AttrCursor& other) : m_pImpl(ShareImpl(other.m_pImpl)) {}

AttrCursor::AttrCursor(AttrCursor&& other) noexcept
    : m_pImpl(std::exchange(other.m_pImpl, nullptr)) {}

AttrCursor& AttrCursor::operator=(const AttrCursor& other) {
    AttrCursor copy(other);
    std::swap(m_pImpl, copy.m_pImpl);
    return *this;
}

AttrCursor& AttrCursor::operator=(AttrCursor&& other) noexcept {
    AttrCursor taken(std::move(other));
    std::swap(m_pImpl, taken.m_pImpl);
    return *this;
}

AttrCursor::~AttrCursor() {
    reset();
}

void AttrCursor::reset() {
    if (AttrCursorImpl* impl = std::exchange(m_pImpl, nullptr)) {
        impl->Release();
    }
}

bool AttrCursor::Seek(int origin, int steps) {
    return m_pImpl != nullptr && m_pImpl->Seek(origin, steps);
}

bool AttrCursor::SeekName(int mode, const std::string& name) {
    return m_pImpl != nullptr && m_pImpl->SeekName(mode, name);
}

bool AttrCursor::SeekElement(int mode, const std::string& element) {
    return m_pImpl != nullptr && m_pImpl->SeekElement(mode, element);
}

bool AttrCursor::AtFirst() const {
    return m_pImpl != nullptr && m_pImpl->AtFirst();
}

bool AttrCursor::AtEnd() const {
    return m_pImpl == nullptr || m_pImpl->AtEnd();
}

int AttrCursor::Compare(const AttrCursor& other) const {
    if (m_pImpl == nullptr || other.m_pImpl == nullptr) {
        return m_pImpl == other.m_pImpl ? 0 : -2;
    }
    return m_pImpl->Compare(*other.m_pImpl);
}

FIAttribute& AttrCursor::GetName(FIAttribute& name) const {
    return m_pImpl != nullptr ? m_pImpl->GetName(name) : name.Clear();
}

FIAttribute& AttrCursor::GetValue(FIAttribute& value) const {
    return m_pImpl != nullptr ? m_pImpl->GetValue(value) : value.Clear();
}

} // namespace FI
