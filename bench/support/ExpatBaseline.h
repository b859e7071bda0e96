// The baseline of the XML benchmarks: expat alone, with namespace processing and empty
// callbacks for elements and text, given a whole document in memory as one piece.
#pragma once

#include <expat.h>

#include <string>

namespace qorbench {

inline void XMLCALL EmptyStart(void*, const XML_Char*, const XML_Char**) {}
inline void XMLCALL EmptyEnd(void*, const XML_Char*) {}
inline void XMLCALL EmptyText(void*, const XML_Char*, int) {}

// Whether expat parsed `document` whole.
__attribute__((noinline)) inline bool ParseRawExpat(const std::string& document) {
    XML_Parser parser = XML_ParserCreateNS(nullptr, '\x01');
    XML_SetElementHandler(parser, EmptyStart, EmptyEnd);
    XML_SetCharacterDataHandler(parser, EmptyText);
    const bool parsed = XML_Parse(parser, document.data(), static_cast<int>(document.size()),
                                  XML_TRUE) == XML_STATUS_OK;
    XML_ParserFree(parser);
    return parsed;
}

} // namespace qorbench
