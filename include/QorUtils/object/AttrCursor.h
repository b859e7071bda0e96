// Attribute cursors. FI::AttrCursorImpl is the counted interface through which an attribute
// collection walks its named attributes; FI::AttrCursor is the handle callers use. A non-null
// handle holds exactly one reference on its implementation, and copies share the implementation
// and its position. A handle without an implementation is empty and answers every call without
// failing. Counts are plain integers: one thread at a time.
#pragma once

#include <QorUtils/Export.h>
#include <QorUtils/attribute/FIAttribute.h>

#include <string>
#include <typeinfo>

namespace FI {

// A walk over named attributes. Made with count 0; the first handle raises it to 1, and the
// Release that brings it back to 0 destroys the implementation.
class QORUTILS_API AttrCursorImpl {
public:
    virtual ~AttrCursorImpl();
    // The concrete class; two implementations are of the same kind when these compare equal.
    virtual const std::type_info& TypeId() = 0;
    virtual int AddRef() = 0;
    virtual int Release() = 0;
    // Shallow: this implementation with one more reference. Deep: a new implementation at the
    // same position with count 1, or null when memory runs out.
    virtual AttrCursorImpl* Clone(bool bDeep) = 0;
    // Moves by `steps` from `origin`: 0 the first attribute, 1 the current position, 2 the end.
    virtual bool Seek(int origin, int steps) = 0;
    // Moves to the attribute called `name`; whether it was found. The library ignores `mode`.
    virtual bool SeekName(int mode, const std::string& name) = 0;
    // The element of an attribute is its name: the same as SeekName.
    virtual bool SeekElement(int mode, const std::string& element) = 0;
    virtual bool AtFirst() = 0;
    // Whether the position is past the last attribute.
    virtual bool AtEnd() = 0;
    // 0 for this very implementation, else the comparison of the names at the two positions.
    virtual int Compare(const AttrCursorImpl& other) = 0;
    // The attribute's name at the position, cleared at the end.
    virtual FIAttribute& GetName(FIAttribute& name) = 0;
    // The attribute's value at the position, cleared at the end.
    virtual FIAttribute& GetValue(FIAttribute& value) = 0;

protected:
    // Copied as part of a derived object (a deep clone, say).
    AttrCursorImpl() = default;
    AttrCursorImpl(const AttrCursorImpl&) = default;
    AttrCursorImpl& operator=(const AttrCursorImpl&) = default;
};

class QORUTILS_API AttrCursor {
public:
    AttrCursor() noexcept = default;
    // Takes the first reference on a new implementation through Clone(false); null is empty.
    explicit AttrCursor(AttrCursorImpl* impl);
    // Copies share the implementation and its position.
    AttrCursor(const AttrCursor& other);
    AttrCursor(AttrCursor&& other) noexcept;
    AttrCursor& operator=(const AttrCursor& other);
    AttrCursor& operator=(AttrCursor&& other) noexcept;
    ~AttrCursor();

    // The implementation, or null for an empty cursor; no reference is taken.
    AttrCursorImpl* GetImpl() const { return m_pImpl; }
    // Gives the reference back; the cursor becomes empty.
    void reset();

    // Forwarded to the implementation. An empty cursor answers false to the seeks and AtFirst,
    // true to AtEnd, and a cleared name and value.
    bool Seek(int origin, int steps);
    bool SeekName(int mode, const std::string& name);
    bool SeekElement(int mode, const std::string& element);
    bool AtFirst() const;
    bool AtEnd() const;
    // 0 between two empty cursors, -2 when exactly one is empty, else the implementation's answer.
    int Compare(const AttrCursor& other) const;
    FIAttribute& GetName(FIAttribute& name) const;
    FIAttribute& GetValue(FIAttribute& value) const;

private:
    AttrCursorImpl* m_pImpl = nullptr;
};

} // namespace FI
