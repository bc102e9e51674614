// The command fuzzer's input: a program of calls, one a line, readable and easy to mutate.
//
//   VERB|ARGUMENT|ARGUMENT...
//
// Arguments are UTF-8 with escapes for everything else UTF-16 can hold: \uXXXX (any code unit,
// lone surrogates and U+0000 included), \| and \\. An argument that is exactly \N is a null
// pointer. Bytes that are not UTF-8 become U+FFFD.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quenlo::fuzz {

using Argument = std::optional<std::u16string>;  // empty: a null pointer

struct Call {
  std::string verb;
  std::vector<Argument> arguments;
};

std::vector<Call> ReadProgram(std::string_view text, std::size_t maxCalls);

}  // namespace quenlo::fuzz
