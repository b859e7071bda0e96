// The process-wide empty context, empty entry and empty entry cursor: stand-ins where there is no
// real object. Each is built on its first use and never destroyed, so it stays usable until the
// process ends (also from a host's static destructors and exit handlers). The empty context and
// entry keep fixed counts (AddRef answers 1, Release 0), so handles to them may be made and
// dropped freely. An object a host puts into one of the handles is given back when the library
// is unloaded. The accessors, and reading and copying what they return, may be used from any
// thread at once (the first call builds the object once); putting something into a handle or
// the cursor is one thread's work while no other uses them, and what a host put there is then
// shared as its own objects are.
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
