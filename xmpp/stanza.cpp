#include "xmpp/stanza.h"

namespace quenlo::xmpp {
namespace {

constexpr char kStanzaErrorNamespace[] = "urn:ietf:params:xml:ns:xmpp-stanzas";

Stanza NewElement(xmpp_ctx_t* context, const char* name) {
  Stanza element(xmpp_stanza_new(context));
  xmpp_stanza_set_name(element.get(), name);
  return element;
}

// Adds the stanza-error `condition` and its `error_type` to the `error` child of `answer`.
void AddErrorCondition(xmpp_ctx_t* context, xmpp_stanza_t* answer, const char* error_type,
                       const char* condition) {
  xmpp_stanza_t* error = xmpp_stanza_get_child_by_name(answer, "error");
  if (error == nullptr) return;
  xmpp_stanza_set_type(error, error_type);
  const Stanza reason = NewElement(context, condition);
  xmpp_stanza_set_ns(reason.get(), kStanzaErrorNamespace);
  xmpp_stanza_add_child(error, reason.get());
}

}  // namespace

std::string ToText(xmpp_stanza_t* stanza) {
  char* buffer = nullptr;
  std::size_t length = 0;
  if (xmpp_stanza_to_text(stanza, &buffer, &length) != XMPP_EOK) return {};
  std::string text(buffer, length);
  xmpp_free(xmpp_stanza_get_context(stanza), buffer);
  return text;
}

Stanza FromText(xmpp_ctx_t* context, const std::string& text) {
  return Stanza(xmpp_stanza_new_from_string(context, text.c_str()));
}

std::string_view AttributeOf(xmpp_stanza_t* stanza, const char* name) {
  const char* value = xmpp_stanza_get_attribute(stanza, name);
  return value == nullptr ? std::string_view() : std::string_view(value);
}

Stanza MakeErrorAnswer(xmpp_ctx_t* context, xmpp_stanza_t* request, const char* error_type,
                       const char* condition) {
  Stanza answer = NewElement(context, xmpp_stanza_get_name(request));
  xmpp_stanza_set_type(answer.get(), "error");
  if (const char* id = xmpp_stanza_get_id(request)) xmpp_stanza_set_id(answer.get(), id);
  if (const char* from = xmpp_stanza_get_from(request)) xmpp_stanza_set_to(answer.get(), from);
  if (const char* to = xmpp_stanza_get_to(request)) xmpp_stanza_set_from(answer.get(), to);
  const Stanza error = NewElement(context, "error");
  xmpp_stanza_add_child(answer.get(), error.get());
  AddErrorCondition(context, answer.get(), error_type, condition);
  return answer;
}

}  // namespace quenlo::xmpp
