// The process-wide empty context, empty entry and empty entry cursor: stand-ins where there is no
// real object. Each is built on its first use and released when the process ends or the library
// is unloaded, in the reverse order of construction. The empty context and entry keep fixed
// counts (AddRef answers 1, Release 0), so handles to them may be made and dropped freely. The
// first call of each accessor must not race with another call of the same accessor.
#pragma once

#include <QorUtils/Export.h>
#include <QorUtils/object/Context.h>
#include <QorUtils/object/Entry.h>
#include <QorUtils/object/EntryCursor.h>
#include <QorUtils/object/ObjectPtr.h>

namespace FI {

// The same handle on every call. The empty context lists nothing: its cursors are empty.
QORUTILS_API ObjectPtr<Context>& GetEmptyContextPtr();
// The same handle on every call. The empty entry has a cleared name, answers every attribute with
// a cleared value, has no children and no attribute collection, and its context is the empty one.
QORUTILS_API ObjectPtr<Entry>& GetEmptyEntryPtr();
// The same cursor on every call; it holds no implementation.
QORUTILS_API EntryCursor& GetEmptyCursor();

} // namespace FI
