// Reads the shell's lines: with line editing and history (libedit) on a terminal, plainly
// from standard input otherwise, so that the shell can also be fed by a pipe.
#pragma once

#include <optional>
#include <string>

namespace quenlo::confhost {

class LineReader {
 public:
  LineReader();

  // Empty at the end of input.
  std::optional<std::string> Read(const std::string& prompt);
  // True when the lines come from a terminal.
  bool interactive() const noexcept { return interactive_; }

 private:
  bool interactive_;
};

}  // namespace quenlo::confhost
