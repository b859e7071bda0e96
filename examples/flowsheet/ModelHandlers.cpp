#include "flowsheet/ModelHandlers.h"

#include <cstring>
#include <string>

using MSXML2::ISAXAttributes;
using MSXML2::ISAXLocator;

namespace {

// <description>: its text, which may come in several pieces (the parser splits long texts and
// texts around entities), is appended piece by piece and tidied when the element ends.
class DescriptionHandler final : public ElementHandler {
public:
    explicit DescriptionHandler(ModelContext& model) : m_model(model) {}

    bool HandleElement(char* name, ISAXAttributes*, ISAXLocator*) override {
        if (std::strcmp(name, "description") != 0) {
            return false;
        }
        m_text.clear();
        return true;
    }
    void HandleText(char* text, ISAXLocator*) override { m_text += text; }
    void HandleEndElement(ISAXLocator*) override {
        // Runs of white space (the document's line breaks and indentation) become one blank.
        std::string tidy;
        for (const char c : m_text) {
            const bool blank = c == ' ' || c == '\n' || c == '\r' || c == '\t';
            if (!blank) {
                tidy += c;
            } else if (!tidy.empty() && tidy.back() != ' ') {
                tidy += ' ';
            }
        }
        m_model.description = tidy.c_str();
    }

private:
    ModelContext& m_model;
    std::string m_text;
};

// What the handlers of streams and units share: the model they add to, and numbers.
class PartHandler : public ElementHandler {
protected:
    // reportUnknown: an element inside a stream or unit that no child accepts is logged.
    explicit PartHandler(ModelContext& model) : ElementHandler(true), m_model(model) {}

    // A number attribute; it stays null when it is not given.
    void ReadNumber(const char* name, ISAXAttributes* attributes, FIAttribute& field) {
        if (!GetAttributeValue(name, attributes, field).isNull()) {
            field.ChangeType(FIAttribute::FT_REAL);
        }
    }

    ModelContext& m_model;
};

// <stream name="..." branch="Both|Calc|Spec" flow="..." temperature="...">
class StreamHandler final : public PartHandler {
public:
    explicit StreamHandler(ModelContext& model) : PartHandler(model) {}

    bool HandleElement(char* name, ISAXAttributes* attributes, ISAXLocator* locator) override {
        if (std::strcmp(name, "stream") != 0) {
            return false;
        }
        // Count the attributes, fetch the expected ones, then warn about any left over.
        ResetAttributes(attributes);
        FIAttribute value;
        auto* stream =
            new ModelEntry("stream", GetAttributeValue("name", attributes, value).c_str());
        stream->branch = ConvertBranch(GetAttributeValue("branch", attributes, value));
        if (stream->branch == BranchNone) {
            SevereError(
                ("stream '" + stream->name() + "': branch must be Both, Calc or Spec").c_str(),
                locator);
        } else {
            stream->field(ModelEntry::Branch) = value;
        }
        ReadNumber("flow", attributes, stream->field(ModelEntry::Flow));
        ReadNumber("temperature", attributes, stream->field(ModelEntry::Temperature));
        ExtraAttributes(name, locator);
        m_model.Add(stream);
        return true;
    }
};

// <inlet stream="..."/> and <outlet stream="..."/> inside a <unit>.
class PortHandler final : public ElementHandler {
public:
    explicit PortHandler(ModelEntry& unit) : m_unit(unit) {}

    bool HandleElement(char* name, ISAXAttributes* attributes, ISAXLocator* locator) override {
        const bool inlet = std::strcmp(name, "inlet") == 0;
        if (!inlet && std::strcmp(name, "outlet") != 0) {
            return false;
        }
        ResetAttributes(attributes);
        FIAttribute stream;
        if (GetAttributeValue("stream", attributes, stream).isNull()) {
            SevereError("a port without a stream", locator);
        } else {
            (inlet ? m_unit.inlets : m_unit.outlets).push_back(stream.c_str());
        }
        ExtraAttributes(name, locator);
        return true;
    }

private:
    ModelEntry& m_unit;
};

// <unit name="..." type="mixer|heater" duty="..."> with its ports.
class UnitHandler final : public PartHandler {
public:
    explicit UnitHandler(ModelContext& model) : PartHandler(model) {}

    bool HandleElement(char* name, ISAXAttributes* attributes, ISAXLocator* locator) override {
        if (std::strcmp(name, "unit") != 0) {
            return false;
        }
        ResetAttributes(attributes);
        FIAttribute value;
        auto* unit = new ModelEntry("unit", GetAttributeValue("name", attributes, value).c_str());
        GetAttributeValue("type", attributes, unit->field(ModelEntry::Type));
        ReadNumber("duty", attributes, unit->field(ModelEntry::Duty));
        ExtraAttributes(name, locator);
        m_model.Add(unit);
        // The ports of this unit, added anew for each unit; the tree deletes them at </unit>.
        AddHandler(new PortHandler(*unit));
        return true;
    }
};

} // namespace

// Built with reportUnknown: an element inside <model> that no child accepts is logged.
ModelHandler::ModelHandler(ModelContext& model) : ElementHandler(true), m_model(model) {}

bool ModelHandler::HandleElement(char* name, ISAXAttributes* attributes, ISAXLocator* locator) {
    if (std::strcmp(name, "model") != 0) {
        return false;
    }
    ResetAttributes(attributes);
    GetAttributeValue("name", attributes, m_model.title);
    ExtraAttributes(name, locator);
    AddHandler(new DescriptionHandler(m_model));
    AddHandler(new StreamHandler(m_model));
    AddHandler(new UnitHandler(m_model));
    return true;
}
