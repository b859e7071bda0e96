#include <QorUtils/top/TopCursorBase.h>

#include "top/TopCursorEntry.h"

#include <new>
#include <utility>

namespace FI {

TopCursorBase::TopCursorBase(ObjectPtr<Context> context, bool bAtEnd)
    : m_bAtEnd(bAtEnd), m_context(std::move(context)) {}

TopCursorBase::~TopCursorBase() = default;

const std::type_info& TopCursorBase::TypeId() {
    return typeid(TopCursorBase);
}

int TopCursorBase::AddRef() {
    return ++m_nRef;
}

int TopCursorBase::Release() {
    if (--m_nRef > 0) {
        return m_nRef;
    }
    m_nRef = 1;
    delete this;
    return 0;
}

EntryCursorImpl* TopCursorBase::Clone(bool bDeep) {
    EntryCursorImpl* clone = bDeep ? new (std::nothrow) TopCursorBase(m_context, m_bAtEnd) : this;
    if (clone != nullptr) {
        clone->AddRef();
    }
    return clone;
}

bool TopCursorBase::Seek(int origin, int steps) {
    if (steps == 0) {
        return true;
    }
    if (origin == 0 || origin == 1) {
        m_bAtEnd = steps > 0;
    } else if (origin == 2) {
        m_bAtEnd = steps < 0;
    }
    return true;
}

bool TopCursorBase::SeekName(int, const std::string& name) {
    m_bAtEnd = name != k_topItemName;
    return !m_bAtEnd;
}

bool TopCursorBase::SeekElement(int mode, const ObjectPtr<Entry>& entry) {
    FIAttribute name;
    if (entry) {
        entry->GetName(name);
    }
    const char* text = name.c_str();
    return SeekName(mode, text != nullptr ? text : "");
}

bool TopCursorBase::AtFirst() {
    return !m_bAtEnd;
}

bool TopCursorBase::AtEnd() {
    return m_bAtEnd;
}

int TopCursorBase::Compare(const EntryCursorImpl& other) {
    return CompareEntryCursors(*this, other);
}

FIAttribute& TopCursorBase::GetName(FIAttribute& name) {
    return m_bAtEnd ? name.Clear() : (name = k_topItemName);
}

ObjectPtr<Entry> TopCursorBase::GetEntry() {
    if (m_bAtEnd) {
        return nullptr;
    }
    return ObjectPtr<Entry>(new (std::nothrow) TopCursorEntry(m_context));
}

} // namespace FI
