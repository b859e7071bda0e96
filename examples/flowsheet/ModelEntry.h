// ModelEntry: one stream or unit of the model, as an entry of the object model. Its named
// attributes ("name", "kind", "branch", "type", "flow", "temperature", "duty") are described once,
// in a static attribute table; the library's table functions answer queries from it and its
// cursor walks it. Counted: made with count 0, held through FI::ObjectPtr, deleted by the last
// Release. One thread at a time, like the library.
#pragma once

#include <QorUtils/QorUtils.h>

#include <cstdint>
#include <string>
#include <vector>

class ModelEntry final : public FI::Entry, public FI::AttrCol, public FI::AttrMapBase<ModelEntry> {
public:
    // The attributes, by the index their table row hands to the getter (dwData).
    enum Field : uint32_t { Name, Kind, Branch, Type, Flow, Temperature, Duty, FieldCount };

    // `kind` is "stream" or "unit".
    ModelEntry(const char* kind, const char* name);

    // A field's value; a null value means "not given" and hides the attribute.
    FIAttribute& field(Field which) { return m_fields[which]; }
    const FIAttribute& field(Field which) const { return m_fields[which]; }
    std::string name() const { return m_fields[Name].c_str(); }

    // A stream's branch, as ConvertBranch read it: who decides its values.
    ElementHandler::enumBranch branch = ElementHandler::BranchNone;
    // A unit's connections, by stream name.
    std::vector<std::string> inlets;
    std::vector<std::string> outlets;

    // The attribute table, as FI::AttrMapBase and the table functions want it.
    const FI::FI_ATTRIBUTE_ENTRY* begin() const;
    const FI::FI_ATTRIBUTE_ENTRY* end() const;

    // One count for both faces, the entry and its attribute collection.
    int AddRef() override;
    int Release() override;

    FIAttribute& GetName(FIAttribute& name) const override;
    FIAttribute& GetNamedAttribute(const FIAttribute& name, FIAttribute& value) override;
    // This same object seen as its attribute collection.
    const FI::ObjectPtr<FI::AttrCol> GetAttributeCollection() const override;
    // Streams and units have no entries below them.
    bool HasChildren() override { return false; }
    FI::ObjectPtr<FI::Context> GetContext() override { return nullptr; }
    // The cursor that FI::AttrMapBase makes: it walks the table, passing over attributes that
    // are not given, and keeps this entry alive.
    FI::AttrCursor CreateAttrCursor() override;

private:
    ~ModelEntry() override = default;

    // The table's availability test and getter, called with the entry as `owner`.
    static bool IsGiven(void* owner, uint32_t field);
    static FIAttribute& GetField(void* owner, FIAttribute& value, uint32_t field);

    static const FI::FI_ATTRIBUTE_ENTRY k_table[];

    int m_nRef = 0;
    FIAttribute m_fields[FieldCount];
};
