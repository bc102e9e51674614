#include "xml/xml_text.h"

namespace quenlo::confext {

namespace {

bool IsHighSurrogate(OLECHAR unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(OLECHAR unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

}  // namespace

bool IsXmlText(OleStringView text) noexcept {
  for (std::size_t position = 0; position < text.size(); ++position) {
    const OLECHAR unit = text[position];
    if (unit >= 0x20 && unit < 0xD800) continue;                 // nearly every unit: checked first
    if (unit == 0x09 || unit == 0x0A || unit == 0x0D) continue;  // tab, LF, CR
    if (IsHighSurrogate(unit) && position + 1 < text.size() && IsLowSurrogate(text[position + 1])) {
      ++position;  // a pair stands for a character outside the basic plane, which XML allows
      continue;
    }
    if (unit >= 0xE000 && unit <= 0xFFFD) continue;
    return false;
  }
  return true;
}

}  // namespace quenlo::confext
