#include "server/packet_reader.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "server/request_error.h"

namespace quenlo::server {
namespace {

bool IsXmlCharacter(std::uint32_t c) {
  return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) ||
         (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
}

// Decodes one UTF-8 sequence at `text[position]`, refusing overlong forms and surrogates.
bool DecodeNext(std::string_view text, std::size_t& position, std::uint32_t& code_point) {
  const auto lead = static_cast<unsigned char>(text[position]);
  std::size_t length = 0;
  std::uint32_t minimum = 0;
  if (lead < 0x80) {
    code_point = lead;
    length = 1;
  } else if ((lead & 0xE0) == 0xC0) {
    code_point = lead & 0x1Fu;
    length = 2;
    minimum = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    code_point = lead & 0x0Fu;
    length = 3;
    minimum = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    code_point = lead & 0x07u;
    length = 4;
    minimum = 0x10000;
  } else {
    return false;
  }
  if (text.size() - position < length) return false;
  for (std::size_t i = 1; i < length; ++i) {
    const auto next = static_cast<unsigned char>(text[position + i]);
    if ((next & 0xC0) != 0x80) return false;
    code_point = (code_point << 6) | (next & 0x3Fu);
  }
  position += length;
  return code_point >= minimum && !(code_point >= 0xD800 && code_point <= 0xDFFF);
}

bool IsXmlText(std::string_view text) {
  std::size_t position = 0;
  while (position < text.size()) {
    std::uint32_t code_point = 0;
    if (!DecodeNext(text, position, code_point) || !IsXmlCharacter(code_point)) return false;
  }
  return true;
}

class TextChecker : public pugi::xml_tree_walker {
 public:
  bool valid() const { return valid_; }

  bool for_each(pugi::xml_node& node) override {
    valid_ = IsXmlText(node.name()) && IsXmlText(node.value());
    for (pugi::xml_attribute attribute = node.first_attribute(); valid_ && attribute;
         attribute = attribute.next_attribute()) {
      valid_ = IsXmlText(attribute.name()) && IsXmlText(attribute.value());
    }
    return valid_;
  }

 private:
  bool valid_ = true;
};

}  // namespace

std::string RequiredText(pugi::xml_node parent, const char* name) {
  const pugi::xml_node element = parent.child(name);
  if (!element) {
    throw RequestError(ErrorCode::kMalformedRequest, std::string("missing element ") + name);
  }
  return element.text().get();
}

std::string Bounded(std::string text, std::size_t limit, const char* what) {
  if (text.size() > limit) {
    throw RequestError(ErrorCode::kTextTooLong,
                       std::string(what) + " is " + std::to_string(text.size()) +
                           " bytes long, over the limit of " + std::to_string(limit));
  }
  return text;
}

namespace {

bool EqualsIgnoringCase(std::string_view text, std::string_view word) {
  return std::equal(text.begin(), text.end(), word.begin(), word.end(), [](char a, char b) {
    const auto lower = [](char c) {
      return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    };
    return lower(a) == lower(b);
  });
}

}  // namespace

bool ReadFlag(pugi::xml_node request, const char* name) {
  const pugi::xml_node element = request.child(name);
  if (!element) return false;
  const std::string_view text = element.text().get();
  if (EqualsIgnoringCase(text, "true")) return true;
  if (EqualsIgnoringCase(text, "false")) return false;
  throw RequestError(ErrorCode::kMalformedRequest,
                     std::string(name) + " is neither true nor false");
}

std::string FindQid(pugi::xml_node query) {
  const pugi::xml_node qid =
      query.find_node([](pugi::xml_node node) { return std::strcmp(node.name(), "qid") == 0; });
  return qid.text().get();
}

bool HoldsOnlyXmlText(const pugi::xml_document& document) {
  TextChecker checker;
  pugi::xml_node root = document;  // a handle: walking it does not change the document
  root.traverse(checker);
  return checker.valid();
}

}  // namespace quenlo::server
