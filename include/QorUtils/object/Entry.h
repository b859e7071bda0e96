// FI::Entry: the abstract, reference-counted node of a context's tree, carrying named attributes.
// Every optional operation has a default ("Not Supported", false, null), so a concrete entry
// overrides only what it supports. An entry is destroyed only by the Release that brings its
// count to 0 (its destructor is protected); callers hold it through FI::ObjectPtr<FI::Entry>.
// Out-parameters are filled and returned by reference. One thread at a time.
#pragma once

#include <QorUtils/Export.h>
#include <QorUtils/attribute/FIAttribute.h>
#include <QorUtils/object/AttrCol.h>
#include <QorUtils/object/Context.h>
#include <QorUtils/object/FIError.h>
#include <QorUtils/object/ObjectEnums.h>
#include <QorUtils/object/ObjectPtr.h>

namespace FI {

class Connection;
class Display;
class Solver;

class QORUTILS_API Entry {
protected:
    virtual ~Entry();
    // Copied as part of a derived object (a deep clone, say).
    Entry() = default;
    Entry(const Entry&) = default;
    Entry& operator=(const Entry&) = default;

public:
    // Return the new count; Release destroys the entry when it reaches 0 (see ObjectPtr.h).
    virtual int AddRef() = 0;
    virtual int Release() = 0;
    virtual FIAttribute& GetName(FIAttribute& name) const = 0;
    // Fills `value` with the attribute called `name`.
    virtual FIAttribute& GetNamedAttribute(const FIAttribute& name, FIAttribute& value) = 0;
    // Default: "Not Supported" in `error`.
    virtual FIError& SetNamedAttribute(const FIAttribute& name, FIAttribute& value,
                                       FIStoreType type, FIError& error);
    virtual const ObjectPtr<AttrCol> GetAttributeCollection() const = 0;
    // Default: true.
    virtual bool HasChildren();
    // The context that holds the entry's children.
    virtual ObjectPtr<Context> GetContext() = 0;
    // Default: false, nothing kept.
    virtual bool AttachNotify(void* pUser, FINotifyType type, FIEntryNotifyProc pfn);
    // Default: false.
    virtual bool DetachNotify(void* pUser, FINotifyType type);
    // This entry's name compared with the other's by FIAttribute::compare (-2 for names that do
    // not compare). A null handle counts as an entry with a cleared name.
    virtual CompareOrder Compare(const ObjectPtr<Entry>& other) const;

    // The setters below default to "Not Supported" in `error` and change nothing else.
    virtual FIError& SetApplicationUnit(FIAttribute& unit, FIError& error);
    virtual FIError& SetApplicationSpecUnit(FIAttribute& unit, FIError& error);
    virtual FIError& SetValueAttribute(FIAttribute& value, FIStoreType type, FIError& error);
    virtual FIError& SetValueAndUnitsAttributes(FIAttribute& value, FIAttribute& units,
                                                FIStoreType type, FIError& error);
    virtual FIError& SetSpecValueAttribute(FIAttribute& value, FIStoreType type, FIError& error);
    virtual FIError& SetSpecValueAndUnitsAttributes(FIAttribute& value, FIAttribute& units,
                                                    FIStoreType type, FIError& error);
    virtual FIError& SetDisplayUnit(FIAttribute& unit, FIAttribute& format, FIError& error);
    virtual FIError& SetDisplaySpecUnit(FIAttribute& unit, FIAttribute& format, FIError& error);

    // Default: nothing.
    virtual void SetDisplay(Display* display);
    // Default: stores null (when ppSolver is not null) and answers false.
    virtual bool GetSolver(FISolverType type, Solver** ppSolver);
    // Default: stores null (when connections is not null) and answers false.
    virtual bool GetConnections(Connection** connections);
};

} // namespace FI
