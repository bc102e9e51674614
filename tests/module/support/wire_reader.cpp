#include "support/wire_reader.h"

#include <quenlo/platform.h>

#include "component/bstr.h"
#include "component/com_ptr.h"
#include "support/recording_host.h"
#include "support/xml_equivalence.h"

#ifndef _WIN32
#include <expat.h>
#endif

namespace quenlo::confext {

std::string WireElement::Attribute(const std::string& attributeName) const {
  for (const auto& [attribute, value] : attributes) {
    if (attribute == attributeName) return value;
  }
  return {};
}

#ifndef _WIN32

namespace {

struct ExpatReading {
  std::vector<WireElement*> open;
  WireElement root;
};

void XMLCALL StartElement(void* data, const XML_Char* name, const XML_Char** attributes) {
  auto* reading = static_cast<ExpatReading*>(data);
  WireElement* element = &reading->root;
  if (!reading->open.empty()) element = &reading->open.back()->children.emplace_back();
  element->name = name;
  for (const XML_Char** attribute = attributes; *attribute != nullptr; attribute += 2) {
    element->attributes.emplace_back(attribute[0], attribute[1]);
  }
  reading->open.push_back(element);
}

void XMLCALL EndElement(void* data, const XML_Char*) {
  static_cast<ExpatReading*>(data)->open.pop_back();
}

void XMLCALL CharacterData(void* data, const XML_Char* text, int length) {
  auto* reading = static_cast<ExpatReading*>(data);
  reading->open.back()->text.append(text, static_cast<std::size_t>(length));
}

}  // namespace

std::optional<WireElement> ReadAsServer(const std::string& utf8) {
  const XML_Parser parser = XML_ParserCreate("UTF-8");
  ExpatReading reading;
  XML_SetUserData(parser, &reading);
  XML_SetElementHandler(parser, StartElement, EndElement);
  XML_SetCharacterDataHandler(parser, CharacterData);
  const bool parsed =
      XML_Parse(parser, utf8.data(), static_cast<int>(utf8.size()), XML_TRUE) == XML_STATUS_OK;
  XML_ParserFree(parser);
  if (!parsed) return std::nullopt;
  return reading.root;
}

#else

namespace {

WireElement ReadElement(IXMLDOMNode* node) {
  WireElement element;
  element.name = NameOf(node);

  ComPtr<IXMLDOMNamedNodeMap> attributes;
  long count = 0;
  if (SUCCEEDED(node->get_attributes(attributes.Put())) && attributes &&
      SUCCEEDED(attributes->get_length(&count))) {
    for (long index = 0; index < count; ++index) {
      ComPtr<IXMLDOMNode> attribute;
      if (FAILED(attributes->get_item(index, attribute.Put())) || !attribute) continue;
      element.attributes.emplace_back(NameOf(attribute.Get()), ValueOf(attribute.Get()));
    }
  }

  ComPtr<IXMLDOMNode> child;
  node->get_firstChild(child.Put());
  while (child) {
    DOMNodeType type = NODE_INVALID;
    child->get_nodeType(&type);
    if (type == NODE_ELEMENT) element.children.push_back(ReadElement(child.Get()));
    if (type == NODE_TEXT) element.text += ValueOf(child.Get());
    ComPtr<IXMLDOMNode> next;
    child->get_nextSibling(next.Put());
    child = std::move(next);
  }
  return element;
}

}  // namespace

std::optional<WireElement> ReadAsServer(const std::string& utf8) {
  CLSID documentClass{};
  CLSIDFromProgID(OLESTR("Microsoft.XMLDOM"), &documentClass);
  ComPtr<IXMLDOMDocument> document;
  if (FAILED(CoCreateInstance(documentClass, nullptr, CLSCTX_INPROC_SERVER, IID_IXMLDOMDocument,
                              document.PutVoid()))) {
    return std::nullopt;
  }
  document->put_preserveWhiteSpace(VARIANT_TRUE);
  const Bstr text = Utf8ToBstr(utf8.c_str());
  VARIANT_BOOL loaded = VARIANT_FALSE;
  if (FAILED(document->loadXML(text.Get(), &loaded)) || loaded != VARIANT_TRUE) return std::nullopt;
  ComPtr<IXMLDOMElement> root;
  if (FAILED(document->get_documentElement(root.Put())) || !root) return std::nullopt;
  return ReadElement(root.Get());
}

#endif

}  // namespace quenlo::confext
