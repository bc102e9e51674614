#include "apps/word_splitter.h"

#include "apps/usage_error.h"

namespace quenlo::confhost {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

}  // namespace

std::vector<std::string> SplitWords(std::string_view line) {
  std::vector<std::string> words;
  std::size_t at = 0;
  while (at < line.size()) {
    if (IsBlank(line[at])) {
      ++at;
      continue;
    }
    std::string word;
    while (at < line.size() && !IsBlank(line[at])) {
      if (line[at] != '"') {
        word += line[at++];
        continue;
      }
      ++at;  // the opening quote
      for (;;) {
        if (at >= line.size()) throw UsageError("unterminated quote");
        const char c = line[at++];
        if (c == '"') break;
        if (c == '\\') {
          if (at >= line.size()) throw UsageError("unterminated quote");
          word += line[at++];
        } else {
          word += c;
        }
      }
    }
    words.push_back(std::move(word));
  }
  return words;
}

}  // namespace quenlo::confhost
