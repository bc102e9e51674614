#include "apps/confhost/line_reader.h"

#include <editline/readline.h>
#include <unistd.h>

#include <cstdlib>
#include <iostream>
#include <memory>

namespace quenlo::confhost {

LineReader::LineReader() : interactive_(isatty(STDIN_FILENO) != 0) {}

std::optional<std::string> LineReader::Read(const std::string& prompt) {
  if (!interactive_) {
    std::string line;
    if (!std::getline(std::cin, line)) return std::nullopt;
    return line;
  }
  const std::unique_ptr<char, decltype(&std::free)> line(readline(prompt.c_str()), &std::free);
  if (line == nullptr) return std::nullopt;
  if (line.get()[0] != '\0') add_history(line.get());
  return std::string(line.get());
}

}  // namespace quenlo::confhost
