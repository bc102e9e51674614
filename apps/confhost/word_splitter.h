// Splits a command line into words: blanks separate, double quotes group (a backslash inside
// them escapes the next character), and "" is an empty word.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quenlo::confhost {

// Throws UsageError on an unterminated quote, and on a word that is not UTF-8 or holds a NUL
// byte: such a word would reach the module changed (U+FFFD, or cut short), so it is refused.
std::vector<std::string> SplitWords(std::string_view line);

// A word as an error message shows it: quoted, and cut after 40 characters so that a huge
// word cannot flood the line.
std::string Quoted(std::string_view word);

}  // namespace quenlo::confhost
