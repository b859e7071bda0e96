#include <QorUtils/object/AttributeTable.h>

#include <cstring>

namespace FI {

const FI_ATTRIBUTE_ENTRY* InternalFindAttribute(void* owner, const FI_ATTRIBUTE_ENTRY* first,
                                                const FI_ATTRIBUTE_ENTRY* last, const char* name) {
    if (name == nullptr) {
        return last;
    }
    // Most rows differ in their first byte, which spares the call to strcmp.
    for (const FI_ATTRIBUTE_ENTRY* row = first; row < last; ++row) {
        const char* rowName = row->pszName;
        if (rowName != nullptr && rowName[0] == name[0] && std::strcmp(rowName, name) == 0) {
            return InternalHasAttribute(owner, row) ? row : last;
        }
    }
    return last;
}

const FI_ATTRIBUTE_ENTRY* InternalFindAttribute(void* owner, const FI_ATTRIBUTE_ENTRY* first,
                                                const FI_ATTRIBUTE_ENTRY* last,
                                                const std::string& name) {
    return InternalFindAttribute(owner, first, last, name.c_str());
}

bool InternalHasAttribute(void* owner, const FI_ATTRIBUTE_ENTRY* row) {
    if (row == nullptr) {
        return false;
    }
    return row->pfnHas == nullptr || row->pfnHas(owner, row->dwData);
}

FIAttribute& InternalGetAttribute(void* owner, const FI_ATTRIBUTE_ENTRY* row, FIAttribute& out) {
    if (row == nullptr || row->pfnGet == nullptr) {
        return out.Clear();
    }
    switch (row->nGetKind) {
    case k_getOwner:
        return row->pfnGet(owner, out);
    case k_getOwnerData:
        return reinterpret_cast<FIAttributeGetDataProc>(reinterpret_cast<void (*)()>(row->pfnGet))(
            owner, out, row->dwData);
    default:
        return out.Clear();
    }
}

FIAttribute& InternalAttributeQuery(void* owner, const FI_ATTRIBUTE_ENTRY* first,
                                    const FI_ATTRIBUTE_ENTRY* last, const char* name,
                                    FIAttribute& out) {
    const FI_ATTRIBUTE_ENTRY* row = InternalFindAttribute(owner, first, last, name);
    return row != last ? InternalGetAttribute(owner, row, out) : out.Clear();
}

FIAttribute& InternalAttributeQuery(void* owner, const FI_ATTRIBUTE_ENTRY* first,
                                    const FI_ATTRIBUTE_ENTRY* last, const std::string& name,
                                    FIAttribute& out) {
    return InternalAttributeQuery(owner, first, last, name.c_str(), out);
}

} // namespace FI
