// The parts of a JID (node@domain/resource), as the component needs them to route stanzas.
#pragma once

#include <string>
#include <string_view>

namespace quenlo::xmpp {

struct Jid {
  std::string node;
  std::string domain;
  std::string resource;

  static Jid Parse(std::string_view text);
  // node@domain, or the domain alone when there is no node.
  std::string Bare() const;
};

}  // namespace quenlo::xmpp
