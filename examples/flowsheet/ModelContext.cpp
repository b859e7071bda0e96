#include "flowsheet/ModelContext.h"

#include <new>
#include <typeinfo>

namespace {

// The cursor walks the context's list by position; it keeps the context alive while it is held.
// Copies of an FI::EntryCursor share one ModelCursor (and its position); Clone(true) makes an
// independent one.
class ModelCursor final : public FI::EntryCursorImpl {
public:
    ModelCursor(ModelContext* context, size_t position)
        : m_context(context), m_position(position) {}

    const std::type_info& TypeId() override { return typeid(ModelCursor); }
    int AddRef() override { return ++m_nRef; }
    int Release() override {
        if (--m_nRef > 0) {
            return m_nRef;
        }
        delete this;
        return 0;
    }
    FI::EntryCursorImpl* Clone(bool deep) override {
        FI::EntryCursorImpl* clone =
            deep ? new (std::nothrow) ModelCursor(m_context.get(), m_position) : this;
        if (clone != nullptr) {
            clone->AddRef();
        }
        return clone;
    }
    // From the first entry (origin 0), here (1) or the end (2); off either end is the end.
    bool Seek(int origin, int steps) override {
        const long size = static_cast<long>(m_context->entries().size());
        const long base = origin == 0 ? 0 : origin == 1 ? static_cast<long>(m_position) : size;
        const long target = base + steps;
        m_position = static_cast<size_t>(target >= 0 && target < size ? target : size);
        return !AtEnd();
    }
    bool SeekName(int, const std::string& name) override {
        for (m_position = 0; !AtEnd(); ++m_position) {
            if (m_context->entries()[m_position]->name() == name) {
                return true;
            }
        }
        return false;
    }
    bool SeekElement(int mode, const FI::ObjectPtr<FI::Entry>& entry) override {
        FIAttribute name;
        if (!entry || entry->GetName(name).c_str() == nullptr) {
            m_position = m_context->entries().size();
            return false;
        }
        return SeekName(mode, name.c_str());
    }
    bool AtFirst() override { return m_position == 0 && !AtEnd(); }
    bool AtEnd() override { return m_position >= m_context->entries().size(); }
    // The interface's operations are not const; reading the other cursor changes nothing.
    int Compare(const FI::EntryCursorImpl& other) override {
        auto& peer = const_cast<FI::EntryCursorImpl&>(other);
        if (&peer == this) {
            return 0;
        }
        if (peer.TypeId() != typeid(ModelCursor)) {
            return -2;
        }
        FIAttribute mine;
        FIAttribute theirs;
        return GetName(mine).compare(peer.GetName(theirs));
    }
    FIAttribute& GetName(FIAttribute& name) override {
        return AtEnd() ? name.Clear() : m_context->entries()[m_position]->GetName(name);
    }
    FI::ObjectPtr<FI::Entry> GetEntry() override {
        return AtEnd() ? nullptr : m_context->entries()[m_position].get();
    }

private:
    ~ModelCursor() override = default;

    int m_nRef = 0;
    FI::ObjectPtr<ModelContext> m_context;
    size_t m_position;
};

} // namespace

int ModelContext::AddRef() {
    return ++m_nRef;
}

int ModelContext::Release() {
    if (--m_nRef > 0) {
        return m_nRef;
    }
    // Held at 1 while the context is destroyed, so that handles made and dropped by code its
    // destructor runs do not destroy it a second time.
    m_nRef = 1;
    delete this;
    return 0;
}

FI::EntryCursor ModelContext::CreateCursor(FI::InclIds) {
    // FI::EntryCursor takes the first reference; a null cursor (no memory) is an empty one.
    return FI::EntryCursor(new (std::nothrow) ModelCursor(this, 0));
}

ModelEntry* ModelContext::Find(const std::string& name) const {
    for (const FI::ObjectPtr<ModelEntry>& entry : m_entries) {
        if (entry->name() == name) {
            return entry.get();
        }
    }
    return nullptr;
}
