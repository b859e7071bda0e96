#include "flowsheet/ModelContext.h"

int ModelContext::AddRef() {
    return ++m_nRef;
}

int ModelContext::Release() {
    if (--m_nRef > 0) {
        return m_nRef;
    }
    // Held at 1 while the context is destroyed, so that handles made and dropped by code its
    // destructor runs do not destroy it a second time.
    m_nRef = 1;
    delete this;
    return 0;
}

FI::EntryCursor ModelContext::CreateCursor(FI::InclIds) {
    // The library's cursor over a vector of handles; it keeps this context, and so the vector,
    // alive. When memory runs out the cursor is empty.
    return FI::CreateEntryListCursor(this, m_entries);
}

ModelEntry* ModelContext::Find(const std::string& name) const {
    for (const FI::ObjectPtr<ModelEntry>& entry : m_entries) {
        if (entry->name() == name) {
            return entry.get();
        }
    }
    return nullptr;
}
