#include "apps/confhost/word_splitter.h"

#include <algorithm>

#include "apps/confhost/usage_error.h"

namespace quenlo::confhost {
namespace {

constexpr std::size_t kShownCharacters = 40;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// The length of the well-formed UTF-8 sequence at `at`, 0 when there is none (overlong forms,
// surrogates and code points above U+10FFFF included).
std::size_t SequenceLength(std::string_view text, std::size_t at) {
  const auto byte = [&](std::size_t index) -> unsigned char {
    return index < text.size() ? static_cast<unsigned char>(text[index]) : 0;
  };
  const unsigned char lead = byte(at);
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) return IsContinuation(byte(at + 1)) ? 2 : 0;
  if (lead >= 0xE0 && lead <= 0xEF) {
    const unsigned char second = byte(at + 1);
    const bool allowed = lead == 0xE0 ? second >= 0xA0 : lead == 0xED ? second < 0xA0 : true;
    return allowed && IsContinuation(second) && IsContinuation(byte(at + 2)) ? 3 : 0;
  }
  if (lead >= 0xF0 && lead <= 0xF4) {
    const unsigned char second = byte(at + 1);
    const bool allowed = lead == 0xF0 ? second >= 0x90 : lead == 0xF4 ? second < 0x90 : true;
    return allowed && IsContinuation(second) && IsContinuation(byte(at + 2)) &&
                   IsContinuation(byte(at + 3))
               ? 4
               : 0;
  }
  return 0;
}

void CheckWord(std::string_view word, std::size_t number) {
  for (std::size_t at = 0; at < word.size();) {
    if (word[at] == '\0') {
      throw UsageError("word " + std::to_string(number) + " holds a NUL byte");
    }
    const std::size_t length = SequenceLength(word, at);
    if (length == 0) throw UsageError("word " + std::to_string(number) + " is not UTF-8");
    at += length;
  }
}

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
    CheckWord(word, words.size() + 1);
    words.push_back(std::move(word));
  }
  return words;
}

std::string Quoted(std::string_view word) {
  std::size_t end = 0;
  for (std::size_t shown = 0; end < word.size() && shown < kShownCharacters; ++shown) {
    end += std::max<std::size_t>(SequenceLength(word, end), 1);
  }
  end = std::min(end, word.size());
  return '"' + std::string(word.substr(0, end)) + (end < word.size() ? "...\"" : "\"");
}

}  // namespace quenlo::confhost
