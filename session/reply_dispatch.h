// Dispatch of an accepted reply by its query type: the voting and agenda sessions differ only in
// their route tables (query type, event path, which result object to announce), so the reading
// and matching exist once, here.
#pragma once

#include <optional>

#include "component/ole_text.h"
#include "component/variant.h"
#include "session/wide_string.h"
#include "xml/attribute_reader.h"

// One row of a session's dispatch table. announce builds the row's result object over the query
// element and raises it under eventPath.
template <class Session>
struct ReplyRoute {
  const OLECHAR* queryType;
  const OLECHAR* eventPath;
  void (Session::*announce)(const OLECHAR* eventPath, IXMLDOMElement* query);
};

// The query's "type" attribute as text; nothing when the DOM call fails. An absent attribute is
// not told apart from a present one: its null value does not convert, so it leaves as
// _com_error, which the packet filter reports as a failed packet.
inline std::optional<WideString> ReadReplyType(IXMLDOMElement* query) {
  Variant type;
  if (!ReadAttribute(query, OLESTR("type"), type)) return std::nullopt;
  return WideString::FromVariant(type.Get());
}

// Announces the reply through the first route whose query type equals the reply's, folding only
// ASCII letters; a type no route names (the empty one included) announces nothing.
template <class Session, class Routes>
void DispatchReply(Session& session, IXMLDOMElement* query, const Routes& routes) {
  const std::optional<WideString> type = ReadReplyType(query);
  if (!type) return;
  for (const ReplyRoute<Session>& route : routes) {
    if (EqualsIgnoringAsciiCase(type->View(), ViewOf(route.queryType))) {
      (session.*route.announce)(route.eventPath, query);
      return;
    }
  }
}
