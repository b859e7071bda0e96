#include <QorUtils/object/EmptyObjects.h>

#include "object/NeverDestroyed.h"

namespace FI {
namespace {

// Fixed counts: the object is static and never destroyed by Release.
class EmptyContext final : public Context {
public:
    int AddRef() override { return 1; }
    int Release() override { return 0; }
    EntryCursor CreateCursor(InclIds) override { return EntryCursor(nullptr); }
};

class EmptyEntry final : public Entry {
public:
    int AddRef() override { return 1; }
    int Release() override { return 0; }
    FIAttribute& GetName(FIAttribute& name) const override { return name.Clear(); }
    FIAttribute& GetNamedAttribute(const FIAttribute&, FIAttribute& value) override {
        return value.Clear();
    }
    const ObjectPtr<AttrCol> GetAttributeCollection() const override { return nullptr; }
    bool HasChildren() override { return false; }
    ObjectPtr<Context> GetContext() override;
};

// Each object and handle is built on first use and never destroyed (a host may reach them from
// its own exit handlers); the objects hold nothing, and the handles hold fixed counts.
EmptyContext& EmptyContextObject() {
    static qorutils::NeverDestroyed<EmptyContext> s_context;
    return s_context.get();
}

EmptyEntry& EmptyEntryObject() {
    static qorutils::NeverDestroyed<EmptyEntry> s_entry;
    return s_entry.get();
}

ObjectPtr<Context> EmptyEntry::GetContext() {
    return ObjectPtr<Context>(&EmptyContextObject());
}

// A host may put objects of its own into the handles and the cursor. When the library is
// unloaded, or the process ends, after the host's own globals, whatever it left there is given
// back; the handles and the cursor stay usable for anything that runs later. Handles that hold
// the library's own objects are not written, so that threads still reading them meanwhile race
// with nothing.
struct GiveBackAtExit {
    ~GiveBackAtExit() {
        if (GetEmptyCursor().GetImpl() != nullptr) {
            GetEmptyCursor().reset();
        }
        if (GetEmptyEntryPtr() != &EmptyEntryObject()) {
            GetEmptyEntryPtr() = &EmptyEntryObject();
        }
        if (GetEmptyContextPtr() != &EmptyContextObject()) {
            GetEmptyContextPtr() = &EmptyContextObject();
        }
    }
} s_giveBackAtExit;

} // namespace

ObjectPtr<Context>& GetEmptyContextPtr() {
    static qorutils::NeverDestroyed<ObjectPtr<Context>> s_context(&EmptyContextObject());
    return s_context.get();
}

ObjectPtr<Entry>& GetEmptyEntryPtr() {
    static qorutils::NeverDestroyed<ObjectPtr<Entry>> s_entry(&EmptyEntryObject());
    return s_entry.get();
}

EntryCursor& GetEmptyCursor() {
    static qorutils::NeverDestroyed<EntryCursor> s_cursor(nullptr);
    return s_cursor.get();
}

} // namespace FI
