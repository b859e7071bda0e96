// FI::TopContext: a counted context that stands above another context and lists exactly one
// item, the top node "Top". It holds one reference on the wrapped context (which may be null)
// from construction to destruction, and so does every cursor it hands out. It is destroyed only
// by the Release that brings its count to 0. Counts are plain integers: one thread at a time.
#pragma once

#include <QorUtils/Export.h>
#include <QorUtils/object/Context.h>
#include <QorUtils/object/EntryCursor.h>
#include <QorUtils/object/ObjectEnums.h>
#include <QorUtils/object/ObjectPtr.h>

namespace FI {

class QORUTILS_API TopContext : public Context {
protected:
    ~TopContext() override;

public:
    // Starts with count 0 and keeps one reference on `context`.
    explicit TopContext(ObjectPtr<Context> context);
    // A copy holds a reference of its own on the same context. Counts are not copied: a copy
    // starts at 0 (no handle holds it yet) and assignment keeps the target's own count.
    TopContext(const TopContext& other);
    TopContext& operator=(const TopContext& other);

    int AddRef() override;
    int Release() override;
    // InclIdsNone: a copy of the empty cursor. Any other value: a new cursor standing on the one
    // item, or an empty cursor when memory runs out.
    EntryCursor CreateCursor(InclIds incl) override;

protected:
    int m_nRef = 0;
    ObjectPtr<Context> m_context;
};

} // namespace FI
