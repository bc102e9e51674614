// What a server reads from a request: the request as the platform writes it out (get_xml), parsed
// by an ordinary XML reader. On POSIX that is expat; the Windows build has no expat, so there it
// is the platform's own reader (msxml, told to keep every white-space character), which is what
// a Windows server would use.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace quenlo::confext {

struct WireElement {
  std::string name;
  std::vector<std::pair<std::string, std::string>> attributes;  // in document order, UTF-8
  std::string text;  // the character data directly inside, as read, in UTF-8
  std::vector<WireElement> children;

  // The value of the attribute (empty when there is none).
  std::string Attribute(const std::string& attributeName) const;
};

// The root element of the UTF-8 text as the reader reads it; empty when the reader refuses it.
std::optional<WireElement> ReadAsServer(const std::string& utf8);

}  // namespace quenlo::confext
