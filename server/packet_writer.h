#pragma once

#include <pugixml.hpp>
#include <string>

#include "server/delivery.h"
#include "server/request_error.h"

namespace quenlo::server {

// Appends <name>text</name> to `parent`.
void AppendText(pugi::xml_node parent, const char* name, const std::string& text);

// Appends the query of an answer to `request_query`: its "type" (when it has one) and "xmlns",
// in the order the module writes them, so that the answer is announced as the request's kind.
pugi::xml_node AppendReplyQuery(pugi::xml_node parent, pugi::xml_node request_query);

// Appends to `parent` what of `query` says which vote or item it is about: its attributes, its
// "qid" child, and a "subject" child's "qid". Gives the notice's query.
pugi::xml_node AppendNotice(pugi::xml_node parent, pugi::xml_node query);

// The "id" of a request, or null when it has none: an answer carries it back exactly as it came,
// an empty one included, and leaves it out only when the request did.
const char* IdOf(pugi::xml_node request_iq);

// An iq of `type` from `from` to `to` holding a copy of `query`; "id" is left out when null.
Delivery MakeIq(const char* type, const std::string& from, const std::string& to, const char* id,
                pugi::xml_node query);

// The error answer to `request_iq`: the request's id, its query (namespace and type only) and an
// "error" element with the code both as attribute and as element, the qid concerned, a text, and
// the XMPP stanza error that goes with the code (its type and condition).
Delivery MakeErrorReply(const std::string& from, const std::string& to, pugi::xml_node request_iq,
                        const RequestError& error);

}  // namespace quenlo::server
