#include "xml/element_absence.h"

namespace quenlo::confext {
namespace {

bool EndsTag(OLECHAR unit) noexcept {
  return unit == ' ' || unit == '\t' || unit == '\r' || unit == '\n' || unit == '/' || unit == '>';
}

// Whether what follows an '&' is a predefined entity or a character reference.
bool IsPlainReference(OleStringView rest) noexcept {
  for (const OleStringView plain : {OleStringView(OLESTR("lt;")), OleStringView(OLESTR("gt;")),
                                    OleStringView(OLESTR("amp;")), OleStringView(OLESTR("quot;")),
                                    OleStringView(OLESTR("apos;")), OleStringView(OLESTR("#"))}) {
    if (rest.starts_with(plain)) return true;
  }
  return false;
}

}  // namespace

bool XmlTextLacksElement(OleStringView xml, OleStringView tag) noexcept {
  // An element is never written out as nothing: an empty text is a DOM's failure, not a proof.
  if (tag.empty() || xml.empty()) return false;
  for (std::size_t at = xml.find('&'); at != OleStringView::npos; at = xml.find('&', at + 1)) {
    if (!IsPlainReference(xml.substr(at + 1))) return false;
  }
  for (std::size_t at = xml.find('<'); at != OleStringView::npos; at = xml.find('<', at + 1)) {
    const OleStringView rest = xml.substr(at + 1);
    if (rest.starts_with(tag) && (rest.size() == tag.size() || EndsTag(rest[tag.size()]))) {
      return false;
    }
  }
  return true;
}

}  // namespace quenlo::confext
