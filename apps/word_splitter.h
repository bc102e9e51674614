// Splits a command line into words: blanks separate, double quotes group (a backslash inside
// them escapes the next character), and "" is an empty word.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quenlo::confhost {

// Throws UsageError on an unterminated quote.
std::vector<std::string> SplitWords(std::string_view line);

}  // namespace quenlo::confhost
