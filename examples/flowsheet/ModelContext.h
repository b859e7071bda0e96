// ModelContext: the module's context, holding the model's streams and units in document order
// and listing them through the library's FI::EntryListCursor. It holds one reference on each
// entry. Counted: made
// with count 0, held through FI::ObjectPtr, deleted by the last Release. One thread at a time.
#pragma once

#include "flowsheet/ModelEntry.h"

#include <QorUtils/QorUtils.h>

#include <string>
#include <vector>

class ModelContext final : public FI::Context {
public:
    int AddRef() override;
    int Release() override;
    // A cursor over every entry, standing on the first (InclIds does not matter here).
    FI::EntryCursor CreateCursor(FI::InclIds incl) override;

    // Takes a reference on the entry.
    void Add(ModelEntry* entry) { m_entries.emplace_back(entry); }
    // The entry of that name, or null.
    ModelEntry* Find(const std::string& name) const;
    const std::vector<FI::ObjectPtr<ModelEntry>>& entries() const { return m_entries; }

    // What the <model> element says about the model.
    FIAttribute title;
    FIAttribute description;

private:
    ~ModelContext() override = default;

    int m_nRef = 0;
    std::vector<FI::ObjectPtr<ModelEntry>> m_entries;
};
