#include "support/RecordingHandler.h"

namespace qortest {

RecordingHandler::RecordingHandler(const std::string& name, const Grammar& grammar,
                                   Transcript& transcript)
    : ElementHandler(grammar.count(name) != 0 && grammar.at(name).reportUnknown), m_name(name),
      m_tag(name + "#" + std::to_string(++transcript.serials)), m_grammar(grammar),
      m_transcript(transcript) {
    ++m_transcript.live;
}

RecordingHandler::~RecordingHandler() {
    m_transcript.lines.push_back(m_tag + " deleted");
    --m_transcript.live;
}

const Rule* RecordingHandler::RuleFor(const char* name) const {
    if (m_name != "*" && m_name != name) {
        return nullptr;
    }
    const auto rule = m_grammar.find(m_name);
    static const Rule k_leaf;
    return rule != m_grammar.end() ? &rule->second : &k_leaf;
}

bool RecordingHandler::HandleElement(char* name, MSXML2::ISAXAttributes* attributes,
                                     MSXML2::ISAXLocator* locator) {
    const Rule* rule = RuleFor(name);
    if (rule == nullptr) {
        return false;
    }
    m_transcript.lines.push_back(m_tag + " accepts " + name);
    if (!rule->attributes.empty()) {
        ResetAttributes(attributes);
        for (const std::string& attribute : rule->attributes) {
            FIAttribute value;
            GetAttributeValue(attribute.c_str(), attributes, value);
            const char* text = value.c_str();
            m_transcript.lines.push_back(m_tag + " attr " + attribute + "=" +
                                         (text != nullptr ? text : "(null)"));
        }
        ExtraAttributes(name, locator);
    }
    for (const std::string& child : rule->children) {
        AddHandler(new RecordingHandler(child, m_grammar, m_transcript));
    }
    return true;
}

void RecordingHandler::HandleText(char* text, MSXML2::ISAXLocator*) {
    m_transcript.lines.push_back(m_tag + " text '" + text + "'");
}

void RecordingHandler::HandleEndElement(MSXML2::ISAXLocator*) {
    m_transcript.lines.push_back(m_tag + " end");
}

void RecordingHandler::ExtraElement(const char* element, MSXML2::ISAXLocator* locator) {
    m_transcript.lines.push_back(m_tag + " unknown " + element);
    ElementHandler::ExtraElement(element, locator);
}

} // namespace qortest
