// Entry cursors. FI::EntryCursorImpl is the counted interface through which a context walks its
// entries; FI::EntryCursor is the handle callers use. A non-null handle holds exactly one
// reference on its implementation, and copies of a handle share the implementation and its
// position. A handle without an implementation is empty and answers every call without failing.
// A handle and its implementation are used by one thread at a time (counts are plain integers);
// the seek statistics are counted atomically, so cursors on different threads may seek at once.
#pragma once

#include <QorUtils/Export.h>
#include <QorUtils/attribute/FIAttribute.h>
#include <QorUtils/object/ObjectPtr.h>

#include <cstdint>
#include <string>
#include <typeinfo>

namespace FI {

class Entry;

// A walk over entries. Made with count 0; the first handle raises it to 1, and the Release that
// brings it back to 0 destroys the implementation.
class QORUTILS_API EntryCursorImpl {
public:
    virtual ~EntryCursorImpl();
    // The concrete class; two implementations are of the same kind when these compare equal.
    virtual const std::type_info& TypeId() = 0;
    virtual int AddRef() = 0;
    virtual int Release() = 0;
    // Shallow: this implementation with one more reference. Deep: a new implementation at the
    // same position with count 1, or null when memory runs out.
    virtual EntryCursorImpl* Clone(bool bDeep) = 0;
    // Moves by `steps` entries (backward when negative) counted from `origin`: 0 the first
    // entry, 1 the current position, 2 the end. What it answers, and where a move past either
    // end leaves the cursor, belong to the implementation: FI::EntryListCursor answers whether
    // it stands on an entry once every step is taken (a move before the first entry stops on
    // it, a move past the last at the end, both answering false); FI::TopCursorBase always
    // answers true. Walk with AtEnd, which every implementation answers alike:
    //     for (EntryCursor c = context->CreateCursor(FI::InclIdsAll); !c.AtEnd(); c.Seek(1, 1))
    virtual bool Seek(int origin, int steps) = 0;
    // Moves to the entry called `name`: true when found, else the cursor stands at the end.
    // `mode` is handed through unread: the library's cursors ignore it, and a host's own cursor
    // may give it a meaning of its own.
    virtual bool SeekName(int mode, const std::string& name) = 0;
    // SeekName with the entry's own name (the same `mode`).
    virtual bool SeekElement(int mode, const ObjectPtr<Entry>& entry) = 0;
    virtual bool AtFirst() = 0;
    // Whether the position is past the last entry.
    virtual bool AtEnd() = 0;
    // 0 for this very implementation, -2 for another class, else the names' comparison.
    virtual int Compare(const EntryCursorImpl& other) = 0;
    // The name at the position, cleared at the end.
    virtual FIAttribute& GetName(FIAttribute& name) = 0;
    // The entry at the position in a new handle; null at the end.
    virtual ObjectPtr<Entry> GetEntry() = 0;

protected:
    // Copied as part of a derived object (a deep clone, say).
    EntryCursorImpl() = default;
    EntryCursorImpl(const EntryCursorImpl&) = default;
    EntryCursorImpl& operator=(const EntryCursorImpl&) = default;
};

// What an implementation's Compare answers: 0 when `other` is `self`, -2 when it is of another
// class (TypeId), else the names at the two positions compared, the other's read first. The
// library's entry cursors answer with it, and a host's may.
inline int CompareEntryCursors(EntryCursorImpl& self, const EntryCursorImpl& other) {
    // The interface's operations are non-const; reading the other cursor changes nothing.
    auto& peer = const_cast<EntryCursorImpl&>(other);
    if (&peer == &self) {
        return 0;
    }
    if (peer.TypeId() != self.TypeId()) {
        return -2;
    }
    FIAttribute otherName;
    FIAttribute ownName;
    peer.GetName(otherName);
    return self.GetName(ownName).compare(otherName);
}

class QORUTILS_API EntryCursor {
public:
    // Seeks counted by the implementation's reference count at the time of the seek; counts of
    // 19 and more go to the last counter. Every seek through an EntryCursor handle is counted,
    // atomically: read the counters directly only while no thread seeks, or use printECounts.
    static int32_t S_refcount_on_seek[20];

    // A copy of the process-wide empty cursor (GetEmptyCursor): empty unless a host put an
    // implementation there.
    EntryCursor();
    // Takes the first reference on a new implementation through Clone(false); null is empty.
    explicit EntryCursor(EntryCursorImpl* impl);
    // Copies share the implementation and its position.
    EntryCursor(const EntryCursor& other);
    EntryCursor(EntryCursor&& other) noexcept;
    EntryCursor& operator=(const EntryCursor& other);
    EntryCursor& operator=(EntryCursor&& other) noexcept;
    ~EntryCursor();

    // The implementation, or null for an empty cursor; no reference is taken.
    EntryCursorImpl* GetImpl() const { return m_pImpl; }
    // Gives the reference back; the cursor becomes empty.
    void reset();

    // Forwarded to the implementation. An empty cursor answers false to the seeks and AtFirst,
    // true to AtEnd, a cleared name and a null entry.
    bool Seek(int origin, int steps);
    bool SeekName(int mode, const std::string& name);
    bool SeekElement(int mode, const ObjectPtr<Entry>& entry);
    bool AtFirst() const;
    bool AtEnd() const;
    // 0 between two empty cursors, -2 when exactly one is empty, else the implementation's answer.
    int Compare(const EntryCursor& other) const;
    FIAttribute& GetName(FIAttribute& name) const;
    ObjectPtr<Entry> GetEntry() const;

private:
    EntryCursorImpl* m_pImpl = nullptr;
};

} // namespace FI

// Writes the seek statistics to the debugger output: a header line and one line per counter.
QORUTILS_API void printECounts();
