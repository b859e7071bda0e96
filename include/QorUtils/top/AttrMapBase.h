// FI::AttrMapBase<T>: the attribute collection of a class T that lists its attributes in a static
// table (T::begin() to T::end(), see AttributeTable.h). Its cursor walks the rows in table order
// and stands only on rows available for the owner, or at the end: a row whose availability test
// says no is invisible to it, and its getter is never called. The cursor holds one reference on
// the owner while the cursor itself is held, so a cursor keeps its owner alive. T provides
// AddRef, Release, begin and end. Counts are plain integers: one thread at a time.
#pragma once

#include <QorUtils/Export.h>
#include <QorUtils/attribute/FIAttribute.h>
#include <QorUtils/object/AttrCursor.h>
#include <QorUtils/object/AttributeTable.h>

#include <new>
#include <string>
#include <typeinfo>

namespace FI {

template <class T> class QORUTILS_API AttrMapBase {
protected:
    virtual ~AttrMapBase() = default;

public:
    class AttrMapCursorBase : public AttrCursorImpl {
    public:
        // Count 0 and no reference on the owner until the first AddRef.
        AttrMapCursorBase(T* owner, const FI_ATTRIBUTE_ENTRY* row) : m_pOwner(owner), m_pRow(row) {}
        AttrMapCursorBase(const AttrMapCursorBase&) = delete;
        AttrMapCursorBase& operator=(const AttrMapCursorBase&) = delete;

        const std::type_info& TypeId() override;
        // The step from 0 to 1 takes a reference on the owner.
        int AddRef() override;
        // The step to 0 gives the owner's reference back and destroys the cursor, holding the
        // count at 1 meanwhile.
        int Release() override;
        AttrCursorImpl* Clone(bool bDeep) override;
        // Counts available rows only; true when it stands on a row after all `steps`. Nothing
        // moves from the end, and a backward walk stops on the first available row. An origin
        // other than 0, 1 or 2 moves nothing and answers false.
        bool Seek(int origin, int steps) override;
        // The first row named `name` if it is available, else the end.
        bool SeekName(int mode, const std::string& name) override;
        bool SeekElement(int mode, const std::string& element) override {
            return SeekName(mode, element);
        }
        // Whether the cursor stands on the first available row (with none, the end is first).
        bool AtFirst() override;
        bool AtEnd() override { return m_pRow >= m_pOwner->end(); }
        // 0 for this cursor, else the names' comparison, whatever the other cursor's class.
        int Compare(const AttrCursorImpl& other) override;
        FIAttribute& GetName(FIAttribute& name) override;
        // The row's value read through its getter with the owner; cleared at the end, and for a
        // row that is no longer available (its getter is not called).
        FIAttribute& GetValue(FIAttribute& value) override;

        // The first row available for `owner`, or the end when there is none.
        static const FI_ATTRIBUTE_ENTRY* FirstAvailable(T* owner);

    private:
        bool IsAvailable(const FI_ATTRIBUTE_ENTRY* row) const {
            return InternalHasAttribute(m_pOwner, row);
        }

        T* m_pOwner;
        const FI_ATTRIBUTE_ENTRY* m_pRow;
        int m_nRef = 0;
    };

    // A new cursor on the table's first available row (empty when memory runs out).
    virtual AttrCursor CreateAttrCursor();
};

template <class T> AttrCursor AttrMapBase<T>::CreateAttrCursor() {
    T* owner = static_cast<T*>(this);
    return AttrCursor(new (std::nothrow)
                          AttrMapCursorBase(owner, AttrMapCursorBase::FirstAvailable(owner)));
}

template <class T>
const FI_ATTRIBUTE_ENTRY* AttrMapBase<T>::AttrMapCursorBase::FirstAvailable(T* owner) {
    const FI_ATTRIBUTE_ENTRY* row = owner->begin();
    while (row < owner->end() && !InternalHasAttribute(owner, row)) {
        ++row;
    }
    return row;
}

// A host built without RTTI cannot name a type_info: FITopEntry's cursor answers from the
// library, and a cursor the host makes of this template fails to link.
#ifdef __cpp_rtti
template <class T> const std::type_info& AttrMapBase<T>::AttrMapCursorBase::TypeId() {
    return typeid(AttrMapCursorBase);
}
#endif

template <class T> int AttrMapBase<T>::AttrMapCursorBase::AddRef() {
    if (m_nRef == 0) {
        m_pOwner->AddRef();
    }
    return ++m_nRef;
}

template <class T> int AttrMapBase<T>::AttrMapCursorBase::Release() {
    if (--m_nRef > 0) {
        return m_nRef;
    }
    m_nRef = 1;
    m_pOwner->Release();
    delete this;
    return 0;
}

template <class T> AttrCursorImpl* AttrMapBase<T>::AttrMapCursorBase::Clone(bool bDeep) {
    AttrCursorImpl* clone = bDeep ? new (std::nothrow) AttrMapCursorBase(m_pOwner, m_pRow) : this;
    if (clone != nullptr) {
        clone->AddRef();
    }
    return clone;
}

template <class T> bool AttrMapBase<T>::AttrMapCursorBase::Seek(int origin, int steps) {
    const FI_ATTRIBUTE_ENTRY* const begin = m_pOwner->begin();
    const FI_ATTRIBUTE_ENTRY* const end = m_pOwner->end();
    const FI_ATTRIBUTE_ENTRY* row;
    switch (origin) {
    case 0:
        row = FirstAvailable(m_pOwner);
        break;
    case 1:
        row = m_pRow;
        break;
    case 2:
        row = end;
        break;
    default:
        return false;
    }
    // Each step goes on to the next (or back to the previous) available row, so a walk tests
    // each row about once. The first available row is looked for only where the row reached
    // may lie before it; a search from the top of the table on every step would test a table's
    // leading unavailable rows once per step.
    bool atOrAfterFirst = origin == 0 || steps > 0;
    while (steps > 0 && row < end) {
        ++row;
        if (row < end && IsAvailable(row)) {
            --steps;
        }
    }
    for (const FI_ATTRIBUTE_ENTRY* back = row; steps < 0 && row < end && back > begin;) {
        --back;
        if (IsAvailable(back)) {
            row = back;
            ++steps;
            atOrAfterFirst = true;
        }
    }
    // A backward walk that runs out stops on the first available row, as does a cursor left
    // before it (its own row became unavailable).
    if (!atOrAfterFirst) {
        const FI_ATTRIBUTE_ENTRY* const first = FirstAvailable(m_pOwner);
        row = row < first ? first : row;
    }
    m_pRow = row;
    return m_pRow != end && steps == 0;
}

// The first available row is the available row (or the end) with none available before it.
// The rows before are tested from the cursor back, so asking at every step of a walk tests
// each row about once, not the table's leading unavailable rows every time.
template <class T> bool AttrMapBase<T>::AttrMapCursorBase::AtFirst() {
    if (m_pRow < m_pOwner->end() && !IsAvailable(m_pRow)) {
        return false;
    }
    for (const FI_ATTRIBUTE_ENTRY* row = m_pRow; row > m_pOwner->begin();) {
        --row;
        if (IsAvailable(row)) {
            return false;
        }
    }
    return true;
}

template <class T> bool AttrMapBase<T>::AttrMapCursorBase::SeekName(int, const std::string& name) {
    m_pRow = InternalFindAttribute(m_pOwner, m_pOwner->begin(), m_pOwner->end(), name);
    return !AtEnd();
}

template <class T> int AttrMapBase<T>::AttrMapCursorBase::Compare(const AttrCursorImpl& other) {
    // The interface's operations are non-const; reading the other cursor's name changes nothing.
    auto& peer = const_cast<AttrCursorImpl&>(other);
    if (&peer == this) {
        return 0;
    }
    FIAttribute otherName;
    FIAttribute ownName;
    peer.GetName(otherName);
    return GetName(ownName).compare(otherName);
}

template <class T> FIAttribute& AttrMapBase<T>::AttrMapCursorBase::GetName(FIAttribute& name) {
    return AtEnd() ? name.Clear() : (name = m_pRow->pszName);
}

template <class T> FIAttribute& AttrMapBase<T>::AttrMapCursorBase::GetValue(FIAttribute& value) {
    return AtEnd() || !IsAvailable(m_pRow) ? value.Clear()
                                           : InternalGetAttribute(m_pOwner, m_pRow, value);
}

} // namespace FI
