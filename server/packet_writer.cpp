#include "server/packet_writer.h"

#include "server/packet_reader.h"

namespace quenlo::server {
namespace {

constexpr char kStanzaErrorNamespace[] = "urn:ietf:params:xml:ns:xmpp-stanzas";

class StringWriter : public pugi::xml_writer {
 public:
  void write(const void* data, size_t size) override {
    text.append(static_cast<const char*>(data), size);
  }

  std::string text;
};

std::string Serialize(const pugi::xml_document& document) {
  StringWriter writer;
  document.save(writer, "", pugi::format_raw | pugi::format_no_declaration, pugi::encoding_utf8);
  return std::move(writer.text);
}

pugi::xml_node AppendIq(pugi::xml_document& document, const char* type, const std::string& from,
                        const std::string& to, const char* id) {
  pugi::xml_node iq = document.append_child("iq");
  iq.append_attribute("type") = type;
  iq.append_attribute("from") = from.c_str();
  iq.append_attribute("to") = to.c_str();
  if (id != nullptr) iq.append_attribute("id") = id;
  return iq;
}

}  // namespace

const char* IdOf(pugi::xml_node request_iq) {
  const pugi::xml_attribute id = request_iq.attribute("id");
  return id ? id.value() : nullptr;
}

void AppendText(pugi::xml_node parent, const char* name, const std::string& text) {
  pugi::xml_node element = parent.append_child(name);
  if (!text.empty()) element.text().set(text.c_str());
}

pugi::xml_node AppendReplyQuery(pugi::xml_node parent, pugi::xml_node request_query) {
  pugi::xml_node query = parent.append_child("query");
  if (const pugi::xml_attribute type = request_query.attribute("type")) {
    query.append_attribute("type") = type.value();
  }
  query.append_attribute("xmlns") = request_query.attribute("xmlns").value();
  return query;
}

pugi::xml_node AppendNotice(pugi::xml_node parent, pugi::xml_node query) {
  pugi::xml_node notice = parent.append_child(query.name());
  for (const pugi::xml_attribute attribute : query.attributes()) {
    notice.append_copy(attribute);
  }
  if (const pugi::xml_node qid = query.child("qid")) notice.append_copy(qid);
  if (const pugi::xml_node qid = query.child("subject").child("qid")) {
    notice.append_child("subject").append_copy(qid);
  }
  return notice;
}

Delivery MakeIq(const char* type, const std::string& from, const std::string& to, const char* id,
                pugi::xml_node query) {
  pugi::xml_document document;
  pugi::xml_node iq = AppendIq(document, type, from, to, id);
  if (query) iq.append_copy(query);
  return {to, Serialize(document), std::nullopt};
}

Delivery MakeErrorReply(const std::string& from, const std::string& to, pugi::xml_node request_iq,
                        const RequestError& error) {
  pugi::xml_document document;
  pugi::xml_node iq = AppendIq(document, "error", from, to, IdOf(request_iq));
  const pugi::xml_node request_query = request_iq.child("query");
  if (request_query) AppendReplyQuery(iq, request_query);
  pugi::xml_node element = iq.append_child("error");
  const std::string code = std::to_string(static_cast<int>(error.code()));
  element.append_attribute("code") = code.c_str();
  AppendText(element, "code", code);
  AppendText(element, "qid", FindQid(request_query));
  AppendText(element, "text", error.what());
  const StanzaError stanza_error = StanzaErrorOf(error.code());
  element.append_attribute("type") = stanza_error.type;
  // The condition comes first, as XMPP orders an error's children.
  element.prepend_child(stanza_error.condition).append_attribute("xmlns") = kStanzaErrorNamespace;
  return {to, Serialize(document), error.code()};
}

}  // namespace quenlo::server
