#include "host/login_trace.h"

#include <strophe.h>

#include <cstdlib>
#include <cstring>

#include "xmpp/stanza.h"

namespace quenlo::host {
namespace {

constexpr std::string_view kReceived = "RECV: ";
constexpr char kSaslNamespace[] = "urn:ietf:params:xml:ns:xmpp-sasl";
constexpr std::string_view kSocketFailure = "connection failed: ";
// What libstrophe logs when the server's port refuses the connection (it reports no error).
constexpr std::string_view kConnectFailure = "connection failed, error ";

std::string TextOf(xmpp_stanza_t* element) {
  char* text = element == nullptr ? nullptr : xmpp_stanza_get_text(element);
  if (text == nullptr) return {};
  std::string copy(text);
  xmpp_free(xmpp_stanza_get_context(element), text);
  return copy;
}

std::string Listed(const std::vector<std::string>& names) {
  std::string list;
  for (const std::string& name : names) list += (list.empty() ? "" : ", ") + name;
  return list;
}

}  // namespace

void LoginTrace::Reset() {
  featuresSeen_ = false;
  mechanisms_.clear();
  saslCondition_.clear();
  saslText_.clear();
  socketError_ = 0;
}

void LoginTrace::Observe(std::string_view, std::string_view message) {
  if (message.starts_with(kReceived)) {
    ObserveReceived(message.substr(kReceived.size()));
  } else if (message.starts_with(kConnectFailure)) {
    socketError_ = std::atoi(std::string(message.substr(kConnectFailure.size())).c_str());
  }
}

void LoginTrace::ObserveReceived(std::string_view xml) {
  // Only the two packets that decide a login are read; the rest of the stream is not parsed.
  const bool features = xml.starts_with("<features");
  if (!features && !xml.starts_with("<failure")) return;
  const xmpp::Stanza packet = xmpp::FromText(context_, std::string(xml));
  if (packet == nullptr) return;
  if (features) {
    featuresSeen_ = true;
    xmpp_stanza_t* offered =
        xmpp_stanza_get_child_by_name_and_ns(packet.get(), "mechanisms", kSaslNamespace);
    for (xmpp_stanza_t* mechanism = offered == nullptr ? nullptr
                                                       : xmpp_stanza_get_children(offered);
         mechanism != nullptr; mechanism = xmpp_stanza_get_next(mechanism)) {
      if (const std::string name = TextOf(mechanism); !name.empty()) mechanisms_.push_back(name);
    }
    return;
  }
  if (xmpp::AttributeOf(packet.get(), "xmlns") != kSaslNamespace) return;
  for (xmpp_stanza_t* child = xmpp_stanza_get_children(packet.get()); child != nullptr;
       child = xmpp_stanza_get_next(child)) {
    const char* name = xmpp_stanza_get_name(child);
    if (name == nullptr) continue;
    if (std::string_view(name) == "text") {
      saslText_ = TextOf(child);
    } else {
      saslCondition_ = name;
    }
  }
}

std::string LoginTrace::Describe(const std::string& link_reason,
                                 const std::string& certificate_problem) const {
  if (!certificate_problem.empty()) {
    return "the XMPP server's certificate is not trusted (" + certificate_problem + ")";
  }
  if (!saslCondition_.empty()) {
    const std::string said = saslText_.empty() ? "" : ": " + saslText_;
    if (saslCondition_ == "not-authorized") {
      return "the XMPP server refused the password (not-authorized" + said + ")";
    }
    return "the XMPP server refused the login (" + saslCondition_ + said + ")";
  }
  if (socketError_ != 0) {
    return "the XMPP server is unreachable (" + std::string(std::strerror(socketError_)) + ")";
  }
  if (link_reason.starts_with(kSocketFailure)) {
    return "the XMPP server is unreachable (" + link_reason.substr(kSocketFailure.size()) + ")";
  }
  if (!link_reason.empty()) return link_reason;
  if (featuresSeen_) {
    return mechanisms_.empty()
               ? "the XMPP server offers no way to log in (no SASL mechanism)"
               : "the XMPP server offers no way to log in that this client knows (it offers " +
                     Listed(mechanisms_) + ")";
  }
  return "the XMPP server ended the login without saying why";
}

}  // namespace quenlo::host
