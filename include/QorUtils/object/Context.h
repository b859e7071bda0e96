// FI::Context: the abstract, reference-counted holder of a tree of entries, walked through an
// entry cursor. The concrete class keeps the count; a context is destroyed only by the Release
// that brings its count to 0 (its destructor is protected), and callers hold it through
// FI::ObjectPtr<FI::Context>. One thread at a time.
#pragma once

#include <QorUtils/Export.h>
#include <QorUtils/attribute/FIAttribute.h>
#include <QorUtils/object/EntryCursor.h>
#include <QorUtils/object/ObjectEnums.h>

namespace FI {

class QORUTILS_API Context {
protected:
    virtual ~Context();
    // Copied as part of a derived object (a deep clone, say).
    Context() = default;
    Context(const Context&) = default;
    Context& operator=(const Context&) = default;

public:
    // Return the new count; Release destroys the context when it reaches 0 (see ObjectPtr.h).
    virtual int AddRef() = 0;
    virtual int Release() = 0;
    // A cursor over the context's entries.
    virtual EntryCursor CreateCursor(InclIds incl) = 0;
    // Resolves the leading part of a moniker into a path and stores the unread rest in *rest.
    // Default: a cleared path and the whole moniker handed back (nothing consumed).
    virtual FIAttribute& MonikerToPath(char* moniker, FIAttribute& path, char** rest);
};

} // namespace FI
