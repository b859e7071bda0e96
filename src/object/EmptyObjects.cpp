#include <QorUtils/object/EmptyObjects.h>

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

// Function-local statics: each is built on first use and its destructor is queued for exit at
// that moment. A handle below is built after its object, so it is destroyed (and gives its
// reference back) before the object goes.
EmptyContext& EmptyContextObject() {
    static EmptyContext s_context;
    return s_context;
}

EmptyEntry& EmptyEntryObject() {
    static EmptyEntry s_entry;
    return s_entry;
}

ObjectPtr<Context> EmptyEntry::GetContext() {
    return ObjectPtr<Context>(&EmptyContextObject());
}

} // namespace

ObjectPtr<Context>& GetEmptyContextPtr() {
    static ObjectPtr<Context> s_context(&EmptyContextObject());
    return s_context;
}

ObjectPtr<Entry>& GetEmptyEntryPtr() {
    static ObjectPtr<Entry> s_entry(&EmptyEntryObject());
    return s_entry;
}

EntryCursor& GetEmptyCursor() {
    static EntryCursor s_cursor(nullptr);
    return s_cursor;
}

} // namespace FI
