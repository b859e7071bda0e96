// An element handler for tests that records what it receives as lines of a transcript, and
// builds its children from a small grammar each time it accepts an element.
#pragma once

#include <QorUtils/xml/ElementHandler.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace qortest {

// What a handler for one element name does when it accepts an element.
struct Rule {
    Rule(std::vector<std::string> children = {}, std::vector<std::string> attributes = {},
         bool reportUnknown = false)
        : children(std::move(children)), attributes(std::move(attributes)),
          reportUnknown(reportUnknown) {}

    // Names of the child handlers added on each acceptance, in order.
    std::vector<std::string> children;
    // Attributes fetched on acceptance, between ResetAttributes and ExtraAttributes.
    std::vector<std::string> attributes;
    // Whether the handler reports elements that none of its children accepts.
    bool reportUnknown;
};

// Rules by element name; the name "*" accepts every element.
using Grammar = std::map<std::string, Rule>;

// Accepts the elements named like itself ("*": all) and records, each handler tagged
// "NAME#SERIAL" (serials count from 1 per transcript):
//   "TAG accepts NAME", "TAG attr NAME=VALUE" (or "NAME=(null)"), "TAG text 'TEXT'",
//   "TAG end", "TAG deleted", and "TAG unknown NAME" when it reports an element that none of
//   its children accepted (the warning still goes to the log).
// Refused offers are not recorded.
class RecordingHandler : public ElementHandler {
public:
    struct Transcript {
        std::vector<std::string> lines;
        int serials = 0;
        int live = 0;
    };

    RecordingHandler(const std::string& name, const Grammar& grammar, Transcript& transcript);
    ~RecordingHandler() override;

    bool HandleElement(char* name, MSXML2::ISAXAttributes* attributes,
                       MSXML2::ISAXLocator* locator) override;
    void HandleText(char* text, MSXML2::ISAXLocator* locator) override;
    void HandleEndElement(MSXML2::ISAXLocator* locator) override;
    void ExtraElement(const char* element, MSXML2::ISAXLocator* locator) override;

    const std::string& tag() const { return m_tag; }

    using ElementHandler::ConvertBranch;
    using ElementHandler::ExtraAttributes;
    using ElementHandler::GetAttributeValue;
    using ElementHandler::myconvert;
    using ElementHandler::ResetAttributes;
    using ElementHandler::SevereError;
    using ElementHandler::stconvert;
    using ElementHandler::TraceMessage;

private:
    const Rule* RuleFor(const char* name) const;

    std::string m_name;
    std::string m_tag;
    const Grammar& m_grammar;
    Transcript& m_transcript;
};

} // namespace qortest
