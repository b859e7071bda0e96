// FITopEntry: the root entry a host creates at the top of its tree. One object is at once an
// FI::Entry named "Top" (attributes "id" = "Top" and "type" = "TopNode"), its own attribute
// collection and an FI::TopContext over the host's context; every face shares one count, and the
// Release that brings it to 0 destroys the entry: it frees the observer records, deletes the
// solver it owns and releases its context, in that order. While it does, the solver's destructor
// may still use the entry and take and drop references on it (not keep one). Observers live in
// one process-wide list, usable until the process ends; the host tells them through the
// dispatcher that construction stores into its slot. Nothing is locked, and the list is shared
// by every top entry (destroying any of them empties it): creating, destroying and using top
// entries, attaching, detaching and telling observers happen on one thread at a time in the
// whole process.
#pragma once

#include <QorUtils/Export.h>
#include <QorUtils/attribute/FIAttribute.h>
#include <QorUtils/object/AttrCol.h>
#include <QorUtils/object/AttrCursor.h>
#include <QorUtils/object/AttributeTable.h>
#include <QorUtils/object/Context.h>
#include <QorUtils/object/Entry.h>
#include <QorUtils/object/ObjectEnums.h>
#include <QorUtils/object/ObjectPtr.h>
#include <QorUtils/object/Solver.h>
#include <QorUtils/top/AttrMapBase.h>
#include <QorUtils/top/TopContext.h>

#include <list>
#include <memory>
#include <string>

class QORUTILS_API FITopEntry : public FI::Entry,
                                public FI::AttrCol,
                                public FI::AttrMapBase<FITopEntry>,
                                public FI::TopContext {
public:
    // One attachment, made by AttachNotify and owned by m_notifies.
    struct _notify {
        FINotifyType m_type;
        void* m_pUser;
        FIEntryNotifyProc m_pfnNotify;
        // False once detached during a pass; the record is removed when the outermost pass ends.
        bool m_bActive;
    };

    // "Top": the name of every top entry. Never destroyed: usable until the process ends. The
    // reference is bound when the library is initialised; the entries' operations need not wait
    // for that, and may be used from a host's static constructors.
    static const std::string& k_top;

    // A new entry with count 0 for the caller's first handle, or null when memory runs out: the
    // context's reference is then given back and the solver stays the caller's, to delete. A
    // null context, slot or solver is accepted.
    static FITopEntry* Create(FI::ObjectPtr<FI::Context> context, void (**ppfnNotify)());
    static FITopEntry* Create(FI::ObjectPtr<FI::Context> context, void (**ppfnNotify)(),
                              FI::Solver* solver);
    // Takes over `solver`. A non-null slot receives the dispatcher: a function of one int,
    // stored as void (*)(); the host casts it back to void (*)(int) to call it, and only a
    // non-null slot enables AttachNotify and DetachNotify on this entry.
    FITopEntry(FI::ObjectPtr<FI::Context> context, void (**ppfnNotify)(), FI::Solver* solver);
    // Frees every observer record (deferred to the end of a running pass), then deletes the
    // solver, then releases the context. The entry stays whole until the context is released:
    // the solver's destructor may use it, and references it takes and drops meanwhile do not
    // destroy it again. From here on, AttachNotify and DetachNotify answer false.
    ~FITopEntry() override;
    // Not copyable: a copy would share the solver that each entry deletes, and its count.
    FITopEntry(const FITopEntry&) = delete;
    FITopEntry& operator=(const FITopEntry&) = delete;

    // The attribute table: its first row; *pCount (when not null) receives the number of rows
    // before the all-zero row that ends it.
    static const FI::FI_ATTRIBUTE_ENTRY* _GetEntries(int* pCount);
    // The table's getters: "Top" and "TopNode". The owner is not looked at and may be null.
    static FIAttribute& GetID(void* owner, FIAttribute& out);
    static FIAttribute& GetType(void* owner, FIAttribute& out);
    const FI::FI_ATTRIBUTE_ENTRY* begin() const;
    // The terminating row.
    const FI::FI_ATTRIBUTE_ENTRY* end() const;
    // The row named exactly `name`, or end(); a null name gives end().
    const FI::FI_ATTRIBUTE_ENTRY* find(const std::string& name) const;
    const FI::FI_ATTRIBUTE_ENTRY* find(const char* name) const;
    // The value of the row named `name`; cleared for any other (or a null) name.
    FIAttribute& _InternalAttributeQuery(const std::string& name, FIAttribute& out) const;
    FIAttribute& _InternalAttributeQuery(const char* name, FIAttribute& out) const;

    // The one count of every face. While the entry is destroyed it is held at 1, so that
    // references taken and dropped by the code its destructor runs never destroy it again.
    int AddRef() override;
    int Release() override;
    FIAttribute& GetName(FIAttribute& out) const override;
    // "id" gives "Top", "type" gives "TopNode"; any other name, or one that is not text, clears.
    FIAttribute& GetNamedAttribute(const FIAttribute& name, FIAttribute& out) override;
    // This same entry seen as its attribute collection, with one more reference.
    const FI::ObjectPtr<FI::AttrCol> GetAttributeCollection() const override;
    // The context given at creation (null if it was null).
    FI::ObjectPtr<FI::Context> GetContext() override;
    // Appends an observer record; false without a slot or without a callback.
    bool AttachNotify(void* pUser, FINotifyType type, FIEntryNotifyProc pfn) override;
    // Detaches the oldest active record of this pointer and type, whatever its callback; during
    // a pass the record is only marked. False without a slot or when none matches.
    bool DetachNotify(void* pUser, FINotifyType type) override;
    // Type FISolverPrimary only: the solver, which stays owned by the entry.
    bool GetSolver(FISolverType type, FI::Solver** ppSolver) override;
    // A cursor over the attribute table that keeps this entry alive while it is held.
    FI::AttrCursor CreateAttrCursor() override;

protected:
    // The dispatcher, reached through the host's slot. A non-zero argument calls the observers of
    // type 0 with 0; zero calls every observer of another type with its own type. Records
    // attached during the pass are reached in it; detached ones are skipped and removed when the
    // outermost pass ends, so a callback may attach, detach, start a pass or destroy an entry.
    static void MyNotify(int arg);

    // The observers of every top entry, in attachment order. The list is never destroyed, so a
    // host's exit handlers may still attach, detach and notify; its records are freed by the
    // destruction of any top entry.
    static std::list<std::unique_ptr<_notify>>& m_notifies;
    // True while a pass runs (also while nested passes run).
    static bool m_bDelayDelete;
    // True when a record was marked inactive during the running pass.
    static bool m_bNeedDelete;

private:
    // The entry's own count, apart from the context's it derives from (the names are the
    // design's): clang's -Wshadow-field, which hosts may turn on, is told so.
#if defined(__clang__)
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Wshadow-field"
#endif
    int m_nRef = 0;
#if defined(__clang__)
#pragma clang diagnostic pop
#endif
    bool m_bNotify = false;
    FI::Solver* m_pSolver = nullptr;
};

// Built once, inside the library.
extern template class FI::AttrMapBase<FITopEntry>;
