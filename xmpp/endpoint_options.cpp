#include "xmpp/endpoint_options.h"

#include <charconv>
#include <fstream>
#include <stdexcept>

namespace quenlo::xmpp {

HostPort ParseHostPort(const std::string& text, const std::string& option) {
  const std::size_t colon = text.rfind(':');
  if (colon == std::string::npos || colon == 0) {
    throw std::invalid_argument(option + " takes HOST:PORT, not \"" + text + "\"");
  }
  unsigned long port = 0;
  const char* first = text.data() + colon + 1;
  const char* last = text.data() + text.size();
  const auto [end, error] = std::from_chars(first, last, port);
  if (error != std::errc() || end != last || first == last || port == 0 || port > 65535) {
    throw std::invalid_argument(option + ": \"" + text.substr(colon + 1) + "\" is not a port");
  }
  return {text.substr(0, colon), static_cast<unsigned short>(port)};
}

std::string ReadSecretFile(const std::string& path) {
  std::ifstream file(path);
  std::string line;
  if (!file || !std::getline(file, line)) throw std::invalid_argument("cannot read " + path);
  if (!line.empty() && line.back() == '\r') line.pop_back();
  if (line.empty()) throw std::invalid_argument(path + " holds an empty first line");
  return line;
}

}  // namespace quenlo::xmpp
