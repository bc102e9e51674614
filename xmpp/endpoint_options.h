// Reading the XMPP options that confserver and confhost share: a HOST:PORT address and a file
// holding a secret or password.
#pragma once

#include <string>

namespace quenlo::xmpp {

struct HostPort {
  std::string host;
  unsigned short port = 0;
};

// Throws std::invalid_argument with a one-line reason, naming `option`, when `text` is not
// HOST:PORT.
HostPort ParseHostPort(const std::string& text, const std::string& option = "--xmpp");
// The file's first line. Throws std::invalid_argument when it cannot be read or that line is
// empty.
std::string ReadSecretFile(const std::string& path);

}  // namespace quenlo::xmpp
