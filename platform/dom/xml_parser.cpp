// The parser's entry points for hosts: text in, a free-standing root element out.
#include <platform/xml_parser.h>

#include <mutex>

#include "element.h"
#include "text_parser.h"

namespace {

std::mutex limitsMutex;
XmlParseLimits defaultLimits;

}  // namespace

XmlParseLimits XmlGetDefaultParseLimits() {
  const std::lock_guard lock(limitsMutex);
  return defaultLimits;
}

void XmlSetDefaultParseLimits(const XmlParseLimits& limits) {
  const std::lock_guard lock(limitsMutex);
  defaultLimits = limits;
}

XmlParseResult XmlParseElement(std::string_view utf8, IXMLDOMElement** root) {
  return XmlParseElement(utf8, XmlGetDefaultParseLimits(), root);
}

XmlParseResult XmlParseElement(std::string_view utf8, const XmlParseLimits& limits,
                               IXMLDOMElement** root) {
  if (root != nullptr) *root = nullptr;
  quenlo::platform::dom::Element* parsed = nullptr;
  const auto outcome = quenlo::platform::dom::ParseUtf8Alone(utf8, limits, parsed);
  if (parsed != nullptr) {
    if (root != nullptr) {
      *root = parsed;
    } else {
      parsed->ReleaseReference();
    }
  }
  return outcome.result;
}
