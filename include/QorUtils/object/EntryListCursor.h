// FI::EntryListCursor<List>: a ready-made entry cursor for a context that keeps its entries in a
// container of handles (List: std::vector or std::deque of FI::ObjectPtr<T>, T derived from
// FI::Entry, no null handle). It walks the container by position and reads it afresh on every
// call, so entries added during a walk are reached. It holds one reference on the context, which
// owns the container and so keeps it alive while the cursor lives. Counted like every cursor
// implementation: made with count 0, destroyed by the Release that brings it back to 0. One
// thread at a time.
#pragma once

#include <QorUtils/attribute/FIAttribute.h>
#include <QorUtils/object/Context.h>
#include <QorUtils/object/Entry.h>
#include <QorUtils/object/EntryCursor.h>
#include <QorUtils/object/ObjectPtr.h>

#include <cstddef>
#include <cstdint>
#include <new>
#include <string>
#include <typeinfo>

namespace FI {

template <class List> class EntryListCursor final : public EntryCursorImpl {
public:
    // Count 0, standing on `position` (at the end when it is past the last entry); one reference
    // on `context`, which owns `entries`.
    EntryListCursor(Context* context, const List& entries, size_t position = 0)
        : m_context(context), m_entries(entries), m_position(position) {}
    EntryListCursor(const EntryListCursor&) = delete;
    EntryListCursor& operator=(const EntryListCursor&) = delete;

    const std::type_info& TypeId() override;
    int AddRef() override { return ++m_nRef; }
    // Destroys the cursor at 0, holding the count at 1 meanwhile.
    int Release() override {
        if (--m_nRef > 0) {
            return m_nRef;
        }
        m_nRef = 1;
        delete this;
        return 0;
    }
    // Deep: a new cursor at the same position, count 1, or null when memory runs out.
    EntryCursorImpl* Clone(bool bDeep) override {
        EntryCursorImpl* clone = bDeep ? new (std::nothrow)
                                             EntryListCursor(m_context.get(), m_entries, m_position)
                                       : this;
        if (clone != nullptr) {
            clone->AddRef();
        }
        return clone;
    }
    // True when it stands on an entry once every step is taken: a move before the first entry
    // stops on it, one past the last at the end. A position past the end (given so, or left so
    // by entries removed) counts as the end. Another origin moves nothing and answers false.
    bool Seek(int origin, int steps) override {
        // 64 bits: a position plus any int, as a long on 32-bit targets could not hold it.
        const auto size = static_cast<int64_t>(m_entries.size());
        if (origin < 0 || origin > 2) {
            return false;
        }
        const int64_t here = AtEnd() ? size : static_cast<int64_t>(m_position);
        const int64_t base = origin == 0 ? 0 : origin == 1 ? here : size;
        const int64_t target = base + steps;
        m_position = static_cast<size_t>(target < 0 ? 0 : target > size ? size : target);
        return target >= 0 && !AtEnd();
    }
    // The first entry whose name is the text `name`, else the end. `mode` is not read.
    bool SeekName(int, const std::string& name) override {
        for (m_position = 0; !AtEnd(); ++m_position) {
            FIAttribute own;
            const char* text = m_entries[m_position]->GetName(own).c_str();
            if (text != nullptr && name == text) {
                return true;
            }
        }
        return false;
    }
    // SeekName with the entry's name; a null handle or a name that is not text goes to the end.
    bool SeekElement(int mode, const ObjectPtr<Entry>& entry) override {
        FIAttribute name;
        if (!entry || entry->GetName(name).c_str() == nullptr) {
            m_position = m_entries.size();
            return false;
        }
        return SeekName(mode, name.c_str());
    }
    bool AtFirst() override { return m_position == 0 && !AtEnd(); }
    bool AtEnd() override { return m_position >= m_entries.size(); }
    // 0 for this cursor, -2 for a cursor of another class, else the names' comparison.
    int Compare(const EntryCursorImpl& other) override { return CompareEntryCursors(*this, other); }
    // The entry's own name; cleared at the end.
    FIAttribute& GetName(FIAttribute& name) override {
        return AtEnd() ? name.Clear() : m_entries[m_position]->GetName(name);
    }
    // The entry at the position in a new handle; null at the end.
    ObjectPtr<Entry> GetEntry() override {
        return AtEnd() ? nullptr : ObjectPtr<Entry>(m_entries[m_position].get());
    }

private:
    ~EntryListCursor() override = default;

    int m_nRef = 0;
    ObjectPtr<Context> m_context;
    const List& m_entries;
    size_t m_position;
};

// A host built without RTTI cannot name a type_info; it includes this header, and a cursor it
// makes of this template fails to link for want of this definition.
#ifdef __cpp_rtti
template <class List> const std::type_info& EntryListCursor<List>::TypeId() {
    return typeid(EntryListCursor);
}
#endif

// A cursor over `entries` standing on the first one, keeping `context` (their owner) alive; an
// empty cursor when memory runs out.
template <class List> EntryCursor CreateEntryListCursor(Context* context, const List& entries) {
    return EntryCursor(new (std::nothrow) EntryListCursor<List>(context, entries));
}

} // namespace FI
