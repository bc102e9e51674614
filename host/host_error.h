// The one exception the reference host throws: a failure the caller can show as one line.
#pragma once

#include <stdexcept>

namespace quenlo::host {

class HostError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace quenlo::host
