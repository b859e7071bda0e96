// FI::TopCursorBase: the entry cursor of a top context. It has one item, named "Top", and an end;
// the entry it yields is a new light entry named "Top" that belongs to the wrapped context. The
// cursor holds one reference on that context for its whole life and is destroyed by the Release
// that brings its count to 0. Counts are plain integers: one thread at a time.
#pragma once

#include <QorUtils/Export.h>
#include <QorUtils/object/Context.h>
#include <QorUtils/object/EntryCursor.h>
#include <QorUtils/object/ObjectPtr.h>

#include <string>
#include <typeinfo>

namespace FI {

class QORUTILS_API TopCursorBase : public EntryCursorImpl {
public:
    // Count 0, standing on the item unless bAtEnd.
    explicit TopCursorBase(ObjectPtr<Context> context, bool bAtEnd = false);
    TopCursorBase(const TopCursorBase&) = delete;
    TopCursorBase& operator=(const TopCursorBase&) = delete;
    ~TopCursorBase() override;

    const std::type_info& TypeId() override;
    int AddRef() override;
    int Release() override;
    // Deep: a new cursor at the same position over the same context, count 1 (null when memory
    // runs out). Shallow: this cursor with one more reference.
    EntryCursorImpl* Clone(bool bDeep) override;
    // With steps 0 nothing moves. Origins 0 and 1: forward goes to the end, backward onto the
    // item; origin 2: the reverse. Other origins change nothing. Always true.
    bool Seek(int origin, int steps) override;
    // Exactly "Top" stands on the item (true); any other name goes to the end (false).
    bool SeekName(int mode, const std::string& name) override;
    // SeekName with the entry's name; a null handle or a name that is not text goes to the end.
    bool SeekElement(int mode, const ObjectPtr<Entry>& entry) override;
    bool AtFirst() override;
    bool AtEnd() override;
    // 0 for this cursor, -2 for a cursor of another class, else the names' comparison.
    int Compare(const EntryCursorImpl& other) override;
    // "Top" on the item, cleared at the end.
    FIAttribute& GetName(FIAttribute& name) override;
    // A new entry named "Top" on every call (null at the end or when memory runs out).
    ObjectPtr<Entry> GetEntry() override;

private:
    bool m_bAtEnd;
    int m_nRef = 0;
    ObjectPtr<Context> m_context;
};

} // namespace FI
