// The parser's entry points for hosts: text in, a free-standing root element out.
#include <platform/xml_parser.h>

#include <mutex>

#include "document.h"
#include "element.h"
#include "expat_parser.h"

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
  using quenlo::platform::dom::Document;
  if (root != nullptr) *root = nullptr;
  // Released on every path; the root element outlives it as a free-standing tree.
  const std::unique_ptr<Document, void (*)(Document*)> document(
      Document::Create(), [](Document* created) { created->Release(); });
  const auto outcome = quenlo::platform::dom::ParseUtf8Into(*document, utf8, limits);
  if (outcome.result.status == XmlParseStatus::Ok && root != nullptr) {
    document->get_documentElement(root);
  }
  return outcome.result;
}
