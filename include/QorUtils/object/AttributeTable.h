// Attribute tables: a class describes its named, read-only attributes in a static array of
// FI::FI_ATTRIBUTE_ENTRY rows ended by an all-zero row, and answers searches and queries through
// the functions below. Tables are constant and owned by their class; the functions keep no state,
// allocate nothing and may be called from any thread that may use the owner.
#pragma once

#include <QorUtils/Export.h>
#include <QorUtils/attribute/FIAttribute.h>

#include <cstdint>
#include <string>

namespace FI {

// Availability of a row for an owner: (owner, dwData).
typedef bool (*FIAttributeHasProc)(void* owner, uint32_t data);
// A kind-1 getter: (owner, out); returns the value read, as a rule `out`.
typedef FIAttribute& (*FIAttributeGetProc)(void* owner, FIAttribute& out);
// A kind-2 getter: (owner, out, dwData). It is stored in pfnGet through AsGetProc, and the table
// functions cast it back before calling it.
typedef FIAttribute& (*FIAttributeGetDataProc)(void* owner, FIAttribute& out, uint32_t data);

// A kind-2 getter in the type of pfnGet (the cast goes through void (*)(), the generic function
// pointer type, so that compilers do not warn about the mismatched signatures).
inline FIAttributeGetProc AsGetProc(FIAttributeGetDataProc getter) {
    return reinterpret_cast<FIAttributeGetProc>(reinterpret_cast<void (*)()>(getter));
}

// The two getter shapes of nGetKind; any other kind reads as a cleared value.
constexpr int32_t k_getOwner = 1;
constexpr int32_t k_getOwnerData = 2;

// One named attribute. Brace-initialisable in field order.
struct FI_ATTRIBUTE_ENTRY {
    // Case-sensitive name; null only in the terminating row.
    const char* pszName;
    int32_t nGetKind;
    // Null: always available.
    FIAttributeHasProc pfnHas;
    FIAttributeGetProc pfnGet;
    // Handed to pfnHas and to kind-2 getters.
    uint32_t dwData;
};

// The first row in [first, last) named `name` if it is available for `owner`, else `last`. Later
// rows of the same name are never consulted. A null name is a miss.
QORUTILS_API const FI_ATTRIBUTE_ENTRY* InternalFindAttribute(void* owner,
                                                             const FI_ATTRIBUTE_ENTRY* first,
                                                             const FI_ATTRIBUTE_ENTRY* last,
                                                             const char* name);
QORUTILS_API const FI_ATTRIBUTE_ENTRY* InternalFindAttribute(void* owner,
                                                             const FI_ATTRIBUTE_ENTRY* first,
                                                             const FI_ATTRIBUTE_ENTRY* last,
                                                             const std::string& name);
// Whether the row applies to `owner`: true without a predicate; false for a null row.
QORUTILS_API bool InternalHasAttribute(void* owner, const FI_ATTRIBUTE_ENTRY* row);
// The value read through the row's getter; cleared for another kind, a missing getter or a null
// row. Availability is not consulted.
QORUTILS_API FIAttribute& InternalGetAttribute(void* owner, const FI_ATTRIBUTE_ENTRY* row,
                                               FIAttribute& out);
// Find, then get: a name that is missing or not available leaves `out` cleared.
QORUTILS_API FIAttribute& InternalAttributeQuery(void* owner, const FI_ATTRIBUTE_ENTRY* first,
                                                 const FI_ATTRIBUTE_ENTRY* last, const char* name,
                                                 FIAttribute& out);
QORUTILS_API FIAttribute& InternalAttributeQuery(void* owner, const FI_ATTRIBUTE_ENTRY* first,
                                                 const FI_ATTRIBUTE_ENTRY* last,
                                                 const std::string& name, FIAttribute& out);

} // namespace FI
