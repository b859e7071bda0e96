// The light entry that a top cursor yields: named "Top", answering no attribute, holding one
// reference on the wrapped context. Private to the top subsystem.
#pragma once

#include <QorUtils/object/Entry.h>
#include <QorUtils/object/ObjectPtr.h>

#include <utility>

namespace FI {

// The one item's name, reported by the top cursor and its entries.
constexpr char k_topItemName[] = "Top";

class TopCursorEntry final : public Entry {
public:
    explicit TopCursorEntry(ObjectPtr<Context> context) : m_context(std::move(context)) {}

    int AddRef() override { return ++m_nRef; }
    // Held at 1 while it is destroyed, like every counted object of the library.
    int Release() override {
        if (--m_nRef > 0) {
            return m_nRef;
        }
        m_nRef = 1;
        delete this;
        return 0;
    }
    FIAttribute& GetName(FIAttribute& name) const override { return name = k_topItemName; }
    // Not even "id" or "type": only the top entry itself has attributes.
    FIAttribute& GetNamedAttribute(const FIAttribute&, FIAttribute& value) override {
        return value.Clear();
    }
    const ObjectPtr<AttrCol> GetAttributeCollection() const override { return nullptr; }
    ObjectPtr<Context> GetContext() override { return m_context; }

private:
    ~TopCursorEntry() override = default;

    int m_nRef = 0;
    ObjectPtr<Context> m_context;
};

} // namespace FI
