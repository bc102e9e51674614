#pragma once

#include <string>

namespace quenlo::server {

// One packet the server sends: the participant's address and the XML text of an iq element.
struct Delivery {
  std::string to;
  std::string xml;
};

}  // namespace quenlo::server
