#include "command_program.h"

namespace quenlo::fuzz {
namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// One UTF-8 sequence at `at` appended as UTF-16; a malformed one becomes U+FFFD, one byte used.
void AppendUtf8(std::string_view text, std::size_t& at, std::u16string& out) {
  const auto byte = [&](std::size_t index) { return static_cast<unsigned char>(text[index]); };
  const unsigned char lead = byte(at);
  std::size_t length = 0;
  char32_t point = 0;
  if (lead < 0x80) {
    length = 1;
    point = lead;
  } else if (lead >= 0xC2 && lead < 0xE0) {
    length = 2;
    point = lead & 0x1F;
  } else if (lead >= 0xE0 && lead < 0xF0) {
    length = 3;
    point = lead & 0x0F;
  } else if (lead >= 0xF0 && lead < 0xF5) {
    length = 4;
    point = lead & 0x07;
  }
  for (std::size_t next = 1; next < length; ++next) {
    if (at + next >= text.size() || (byte(at + next) & 0xC0) != 0x80) length = 0;
    if (length != 0) point = (point << 6) | (byte(at + next) & 0x3F);
  }
  const bool overlong = (length == 3 && point < 0x800) || (length == 4 && point < 0x10000);
  if (length == 0 || overlong || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF)) {
    out += u'\xFFFD';
    ++at;
    return;
  }
  if (point >= 0x10000) {
    out += static_cast<char16_t>(0xD800 + ((point - 0x10000) >> 10));
    out += static_cast<char16_t>(0xDC00 + ((point - 0x10000) & 0x3FF));
  } else {
    out += static_cast<char16_t>(point);
  }
  at += length;
}

Argument ReadArgument(std::string_view text) {
  if (text == "\\N") return std::nullopt;
  std::u16string argument;
  for (std::size_t at = 0; at < text.size();) {
    if (text[at] != '\\' || at + 1 == text.size()) {
      AppendUtf8(text, at, argument);
      continue;
    }
    const char escaped = text[at + 1];
    if (escaped == 'u' && at + 6 <= text.size()) {
      int unit = 0;
      for (std::size_t digit = at + 2; digit < at + 6 && unit >= 0; ++digit) {
        const int value = HexValue(text[digit]);
        unit = value < 0 ? -1 : unit * 16 + value;
      }
      if (unit >= 0) {
        argument += static_cast<char16_t>(unit);
        at += 6;
        continue;
      }
    }
    argument += static_cast<char16_t>(static_cast<unsigned char>(escaped));
    at += 2;
  }
  return argument;
}

}  // namespace

std::vector<Call> ReadProgram(std::string_view text, std::size_t maxCalls) {
  std::vector<Call> program;
  while (!text.empty() && program.size() < maxCalls) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);

    Call call;
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    for (std::size_t at = 0; at <= line.size(); ++at) {
      if (at + 1 < line.size() && line[at] == '\\') {
        ++at;  // an escaped character never separates
      } else if (at == line.size() || line[at] == '|') {
        fields.push_back(line.substr(start, at - start));
        start = at + 1;
      }
    }
    call.verb = std::string(fields.front());
    for (std::size_t field = 1; field < fields.size(); ++field) {
      call.arguments.push_back(ReadArgument(fields[field]));
    }
    program.push_back(std::move(call));
  }
  return program;
}

}  // namespace quenlo::fuzz
