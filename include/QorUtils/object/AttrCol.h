// FI::AttrCol: the abstract, reference-counted collection of an object's named attributes, walked
// through an attribute cursor. The concrete class keeps the count; a collection is destroyed only
// by the Release that brings its count to 0, and callers hold it through
// FI::ObjectPtr<FI::AttrCol>. One thread at a time.
#pragma once

#include <QorUtils/Export.h>
#include <QorUtils/object/AttrCursor.h>

namespace FI {

class QORUTILS_API AttrCol {
protected:
    virtual ~AttrCol();
    // Copied as part of a derived object (a deep clone, say).
    AttrCol() = default;
    AttrCol(const AttrCol&) = default;
    AttrCol& operator=(const AttrCol&) = default;

public:
    // Return the new count; Release destroys the collection when it reaches 0 (see ObjectPtr.h).
    virtual int AddRef() = 0;
    virtual int Release() = 0;
    // A cursor over the attributes, standing on the first one.
    virtual AttrCursor CreateAttrCursor() = 0;
};

} // namespace FI
