#include "xmpp/jid.h"

namespace quenlo::xmpp {

Jid Jid::Parse(std::string_view text) {
  Jid jid;
  // The resource may itself hold '@' and '/', so it is split off first.
  const std::size_t slash = text.find('/');
  if (slash != std::string_view::npos) {
    jid.resource = text.substr(slash + 1);
    text = text.substr(0, slash);
  }
  const std::size_t at = text.find('@');
  if (at != std::string_view::npos) {
    jid.node = text.substr(0, at);
    text = text.substr(at + 1);
  }
  jid.domain = text;
  return jid;
}

std::string Jid::Bare() const { return node.empty() ? domain : node + "@" + domain; }

}  // namespace quenlo::xmpp
