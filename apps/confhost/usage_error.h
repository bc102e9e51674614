// Input the command cannot act on (unknown verb, missing argument...): shown as one line.
#pragma once

#include <stdexcept>

namespace quenlo::confhost {

class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace quenlo::confhost
