#include "request_tree.h"

#include <cstdio>

#include "component/bstr.h"
#include "component/com_ptr.h"
#include "component/variant.h"
#include "fuzz_host.h"

namespace quenlo::fuzz {
namespace {

std::u16string ValueText(IXMLDOMNode* node) {
  Variant value;
  Require(node->get_nodeValue(value.Put()) == S_OK && value.Get().vt == VT_BSTR,
          "a node value reads");
  return std::u16string(value.Get().bstrVal, SysStringLen(value.Get().bstrVal));
}

std::u16string NameOf(IXMLDOMNode* node) {
  Bstr name;
  Require(node->get_nodeName(name.Put()) == S_OK, "a node name reads");
  return std::u16string(name.View());
}

XmlTree ReadTree(IXMLDOMNode* element) {
  XmlTree tree{NameOf(element), {}, {}, {}};
  ComPtr<IXMLDOMNamedNodeMap> attributes;
  Require(element->get_attributes(attributes.Put()) == S_OK, "attributes read");
  long length = 0;
  attributes->get_length(&length);
  for (long index = 0; index < length; ++index) {
    ComPtr<IXMLDOMNode> attribute;
    Require(attributes->get_item(index, attribute.Put()) == S_OK, "an attribute reads");
    tree.attributes.emplace_back(NameOf(attribute.Get()), ValueText(attribute.Get()));
  }
  ComPtr<IXMLDOMNode> child;
  element->get_firstChild(child.Put());
  while (child) {
    DOMNodeType type = NODE_INVALID;
    child->get_nodeType(&type);
    if (type == NODE_ELEMENT) tree.children.push_back(ReadTree(child.Get()));
    if (type == NODE_TEXT) tree.text += ValueText(child.Get());
    ComPtr<IXMLDOMNode> next;
    child->get_nextSibling(next.Put());
    child = std::move(next);
  }
  return tree;
}

bool IsXmlSpace(char16_t unit) {
  return unit == u' ' || unit == u'\t' || unit == u'\n' || unit == u'\r';
}

std::string Printable(std::u16string_view text) {
  std::string printable;
  for (const char16_t unit : text) {
    if (unit >= 0x20 && unit < 0x7F) {
      printable += static_cast<char>(unit);
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04X", static_cast<unsigned>(unit));
      printable += escaped;
    }
  }
  return printable;
}

}  // namespace

std::string Describe(const XmlTree& tree) {
  std::string text = "<" + Printable(tree.tag);
  for (const auto& [name, value] : tree.attributes) {
    text += " " + Printable(name) + "=\"" + Printable(value) + "\"";
  }
  text += ">" + Printable(tree.text);
  for (const XmlTree& child : tree.children) text += Describe(child);
  return text + "</" + Printable(tree.tag) + ">";
}

std::optional<XmlTree> ReparsedRequest(IXMLDOMElement* sent) {
  Bstr xml;
  Require(sent->get_xml(xml.Put()) == S_OK, "a sent request writes out as text");
  ComPtr<IXMLDOMDocument> document;
  Require(CoCreateInstance(CLSID_DOMDocument, nullptr, CLSCTX_ALL, IID_IXMLDOMDocument,
                           document.PutVoid()) == S_OK,
          "a DOM document can be made");
  VARIANT_BOOL loaded = VARIANT_FALSE;
  document->loadXML(xml.Get(), &loaded);
  if (loaded != VARIANT_TRUE) return std::nullopt;
  ComPtr<IXMLDOMElement> root;
  Require(document->get_documentElement(root.Put()) == S_OK, "a parsed request has a root");
  return ReadTree(root.Get());
}

bool CarriesInXml(std::u16string_view text) {
  for (std::size_t at = 0; at < text.size(); ++at) {
    const char16_t unit = text[at];
    if (unit < 0x20 && unit != u'\t' && unit != u'\n' && unit != u'\r') return false;
    if (unit == 0xFFFE || unit == 0xFFFF) return false;
    if (unit >= 0xD800 && unit <= 0xDBFF) {
      if (at + 1 == text.size() || text[at + 1] < 0xDC00 || text[at + 1] > 0xDFFF) return false;
      ++at;
    } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
      return false;
    }
  }
  return true;
}

bool SameElementText(std::u16string_view written, std::u16string_view parsed) {
  if (written == parsed) return true;
  for (const char16_t unit : written) {
    if (!IsXmlSpace(unit)) return false;
  }
  return parsed.empty();
}

}  // namespace quenlo::fuzz
