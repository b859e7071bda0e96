#include "flowsheet/ModelEntry.h"

#include <iterator>

// One row per attribute, ended by an all-zero row. Every row here uses the kind-2 getter shape
// (owner, value, dwData), so one getter serves all fields; a kind-1 getter (owner, value) is
// stored as it is with k_getOwner. A null pfnHas means the attribute is always there.
const FI::FI_ATTRIBUTE_ENTRY ModelEntry::k_table[] = {
    {"name", FI::k_getOwnerData, nullptr, FI::AsGetProc(&GetField), Name},
    {"kind", FI::k_getOwnerData, nullptr, FI::AsGetProc(&GetField), Kind},
    {"branch", FI::k_getOwnerData, &IsGiven, FI::AsGetProc(&GetField), Branch},
    {"type", FI::k_getOwnerData, &IsGiven, FI::AsGetProc(&GetField), Type},
    {"flow", FI::k_getOwnerData, &IsGiven, FI::AsGetProc(&GetField), Flow},
    {"temperature", FI::k_getOwnerData, &IsGiven, FI::AsGetProc(&GetField), Temperature},
    {"duty", FI::k_getOwnerData, &IsGiven, FI::AsGetProc(&GetField), Duty},
    {nullptr, 0, nullptr, nullptr, 0},
};

ModelEntry::ModelEntry(const char* kind, const char* name) {
    m_fields[Kind] = kind;
    m_fields[Name] = name;
}

const FI::FI_ATTRIBUTE_ENTRY* ModelEntry::begin() const {
    return k_table;
}

const FI::FI_ATTRIBUTE_ENTRY* ModelEntry::end() const {
    return k_table + std::size(k_table) - 1;
}

int ModelEntry::AddRef() {
    return ++m_nRef;
}

int ModelEntry::Release() {
    if (--m_nRef > 0) {
        return m_nRef;
    }
    // Held at 1 while the entry is destroyed (see ModelContext::Release).
    m_nRef = 1;
    delete this;
    return 0;
}

FIAttribute& ModelEntry::GetName(FIAttribute& name) const {
    return name = m_fields[Name];
}

FIAttribute& ModelEntry::GetNamedAttribute(const FIAttribute& name, FIAttribute& value) {
    return FI::InternalAttributeQuery(this, begin(), end(), name.c_str(), value);
}

const FI::ObjectPtr<FI::AttrCol> ModelEntry::GetAttributeCollection() const {
    return FI::ObjectPtr<FI::AttrCol>(const_cast<ModelEntry*>(this));
}

FI::AttrCursor ModelEntry::CreateAttrCursor() {
    return FI::AttrMapBase<ModelEntry>::CreateAttrCursor();
}

bool ModelEntry::IsGiven(void* owner, uint32_t field) {
    return !static_cast<ModelEntry*>(owner)->m_fields[field].isNull();
}

FIAttribute& ModelEntry::GetField(void* owner, FIAttribute& value, uint32_t field) {
    return value = static_cast<ModelEntry*>(owner)->m_fields[field];
}
