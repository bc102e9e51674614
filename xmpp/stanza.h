// Owning handles for libstrophe stanzas and the conversions between stanzas and XML text.
#pragma once

#include <strophe.h>

#include <memory>
#include <string>
#include <string_view>

namespace quenlo::xmpp {

struct StanzaRelease {
  void operator()(xmpp_stanza_t* stanza) const noexcept { xmpp_stanza_release(stanza); }
};
using Stanza = std::unique_ptr<xmpp_stanza_t, StanzaRelease>;

// The XML text of `stanza`; empty when libstrophe cannot render it.
std::string ToText(xmpp_stanza_t* stanza);
// Null when `text` is not one well-formed element.
Stanza FromText(xmpp_ctx_t* context, const std::string& text);

// An attribute's value, empty when the attribute is absent.
std::string_view AttributeOf(xmpp_stanza_t* stanza, const char* name);

// The error answer to `request` (an iq or presence): addressed back to its sender, with its id,
// an `error` of `error_type` ("cancel", "modify"...) holding the stanza-error `condition`. The
// request's payload is not copied back, so an oversized request gets a small answer.
Stanza MakeErrorAnswer(xmpp_ctx_t* context, xmpp_stanza_t* request, const char* error_type,
                       const char* condition);

}  // namespace quenlo::xmpp
