#include "support/ObjectTestSupport.h"

#include <algorithm>
#include <cctype>

namespace qortest {
namespace {

// The position after a seek over `size` elements; the end is `size`.
size_t SeekPosition(size_t current, size_t size, int origin, int steps) {
    const long start = origin == 0 ? 0 : origin == 1 ? static_cast<long>(current) : size;
    return static_cast<size_t>(std::clamp(start + steps, 0L, static_cast<long>(size)));
}

} // namespace

FI::EntryCursor TestContext::CreateCursor(FI::InclIds) {
    return FI::EntryCursor(new TestEntryCursor({}));
}

FI::EntryCursorImpl* TestEntryCursor::Clone(bool bDeep) {
    FI::EntryCursorImpl* clone = bDeep ? new TestEntryCursor(m_names, m_position) : this;
    clone->AddRef();
    return clone;
}

bool TestEntryCursor::Seek(int origin, int steps) {
    m_position = SeekPosition(m_position, m_names.size(), origin, steps);
    return !AtEnd();
}

bool TestEntryCursor::SeekName(int, const std::string& name) {
    m_position = std::find(m_names.begin(), m_names.end(), name) - m_names.begin();
    return !AtEnd();
}

bool TestEntryCursor::SeekElement(int mode, const FI::ObjectPtr<FI::Entry>& entry) {
    FIAttribute name;
    entry->GetName(name);
    return SeekName(mode, name.c_str() != nullptr ? name.c_str() : "");
}

int TestEntryCursor::Compare(const FI::EntryCursorImpl& other) {
    return FI::CompareEntryCursors(*this, other);
}

FIAttribute& TestEntryCursor::GetName(FIAttribute& name) {
    return AtEnd() ? name.Clear() : (name = m_names[m_position]);
}

FI::ObjectPtr<FI::Entry> TestEntryCursor::GetEntry() {
    if (AtEnd()) {
        return nullptr;
    }
    return FI::ObjectPtr<FI::Entry>(new TestEntry(m_names[m_position].c_str()));
}

FI::AttrCursorImpl* TestAttrCursor::Clone(bool bDeep) {
    FI::AttrCursorImpl* clone = bDeep ? new TestAttrCursor(m_names, m_position) : this;
    clone->AddRef();
    return clone;
}

bool TestAttrCursor::Seek(int origin, int steps) {
    m_position = SeekPosition(m_position, m_names.size(), origin, steps);
    return !AtEnd();
}

bool TestAttrCursor::SeekName(int, const std::string& name) {
    m_position = std::find(m_names.begin(), m_names.end(), name) - m_names.begin();
    return !AtEnd();
}

int TestAttrCursor::Compare(const FI::AttrCursorImpl& other) {
    auto& peer = const_cast<FI::AttrCursorImpl&>(other);
    if (&peer == this) {
        return 0;
    }
    FIAttribute otherName;
    FIAttribute ownName;
    peer.GetName(otherName);
    return GetName(ownName).compare(otherName);
}

FIAttribute& TestAttrCursor::GetName(FIAttribute& name) {
    return AtEnd() ? name.Clear() : (name = m_names[m_position]);
}

FIAttribute& TestAttrCursor::GetValue(FIAttribute& value) {
    if (AtEnd()) {
        return value.Clear();
    }
    std::string upper = m_names[m_position];
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return value = upper;
}

} // namespace qortest
