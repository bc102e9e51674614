#pragma once

#include <optional>
#include <string>

#include "server/request_error.h"

namespace quenlo::server {

// One packet the server sends: the participant's address and the XML text of an iq element, with
// the code of the refusal when it is an error reply.
struct Delivery {
  std::string to;
  std::string xml;
  std::optional<ErrorCode> refusal;
};

}  // namespace quenlo::server
