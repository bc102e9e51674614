#pragma once

#include <pugixml.hpp>
#include <string>

namespace quenlo::server {

// The text of `parent`'s child element `name`; without that element the request is malformed
// (RequestError). An element without text gives "".
std::string RequiredText(pugi::xml_node parent, const char* name);

// `text`, when it is at most `limit` bytes long; a longer one is refused (code 8), naming `what`.
std::string Bounded(std::string text, std::size_t limit, const char* what);

// The text of the first element named "qid" anywhere below `query`, or "" when there is none:
// what an error reply quotes to say which vote or item it is about.
std::string FindQid(pugi::xml_node query);

// A flag element's text: "true" or "false" in any letter case; absent means false. Anything else
// makes the request malformed (RequestError).
bool ReadFlag(pugi::xml_node request, const char* name);

// Whether every name and value in the document is well-formed UTF-8 made of characters XML 1.0
// can carry. The parser is lenient about both (and decodes references such as "&#1;"), but a
// packet relayed to participants must be one their stricter parsers accept.
bool HoldsOnlyXmlText(const pugi::xml_document& document);

}  // namespace quenlo::server
