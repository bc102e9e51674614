// Reading confserver's options about the rooms it keeps: where the store lives and who owns which
// room from the start.
#pragma once

#include <string>
#include <utility>

namespace quenlo::confserver {

// The store file when --store is not given: `domain`.db in $STATE_DIRECTORY (set by systemd for
// a service with a StateDirectory=), else in quenlo/ under $XDG_STATE_HOME, or under
// ~/.local/state without it. The folder is made when missing. Throws std::invalid_argument
// when neither variable is set or the folder cannot be made.
std::string DefaultStorePath(const std::string& domain);

// "ROOM=JID" as a room address and an owner's address, both normalised as the XMPP server
// normalises addresses (server::NormalizedAddress); a ROOM without "@" is a room of `domain`.
// Throws std::invalid_argument with a one-line reason (what is wrong, not the text) when the text
// is not of that shape or an address cannot be normalised.
std::pair<std::string, std::string> ParseOwner(const std::string& text, const std::string& domain);

}  // namespace quenlo::confserver
