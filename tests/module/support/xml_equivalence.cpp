#include "support/xml_equivalence.h"

#include <string>
#include <string_view>
#include <vector>

#include "component/bstr.h"
#include "component/code_page.h"
#include "component/variant.h"
#include "support/recording_host.h"

namespace quenlo::confext {

std::string NameOf(IXMLDOMNode* node) {
  Bstr name;
  node->get_nodeName(name.Put());
  return ToUtf8(OleString(name.View()));
}

std::string ValueOf(IXMLDOMNode* node) {
  Variant value;
  if (SUCCEEDED(node->get_nodeValue(value.Put())) && value.Get().vt == VT_BSTR) {
    return ToUtf8(value.Get().bstrVal);
  }
  return {};
}

namespace {

std::string NamespaceOf(IXMLDOMNode* node) {
  Bstr uri;
  node->get_namespaceURI(uri.Put());
  return ToUtf8(OleString(uri.View()));
}

// Namespace declarations are compared through the namespace of each element instead: msxml lists
// them among the attributes of a built element but not always of a parsed one.
bool IsNamespaceDeclaration(const std::string& name) {
  return name == "xmlns" || name.starts_with("xmlns:");
}

struct Attribute {
  std::string name;
  std::string value;
  bool operator==(const Attribute&) const = default;
};

std::vector<Attribute> AttributesOf(IXMLDOMNode* node) {
  std::vector<Attribute> attributes;
  ComPtr<IXMLDOMNamedNodeMap> map;
  long length = 0;
  if (FAILED(node->get_attributes(map.Put())) || !map || FAILED(map->get_length(&length))) {
    return attributes;
  }
  for (long index = 0; index < length; ++index) {
    ComPtr<IXMLDOMNode> attribute;
    if (FAILED(map->get_item(index, attribute.Put())) || !attribute) continue;
    std::string name = NameOf(attribute.Get());
    if (!IsNamespaceDeclaration(name))
      attributes.push_back({std::move(name), ValueOf(attribute.Get())});
  }
  return attributes;
}

std::vector<ComPtr<IXMLDOMNode>> ChildrenOf(IXMLDOMNode* node) {
  std::vector<ComPtr<IXMLDOMNode>> children;
  ComPtr<IXMLDOMNodeList> list;
  long length = 0;
  if (FAILED(node->get_childNodes(list.Put())) || !list || FAILED(list->get_length(&length))) {
    return children;
  }
  for (long index = 0; index < length; ++index) {
    ComPtr<IXMLDOMNode> child;
    if (SUCCEEDED(list->get_item(index, child.Put())) && child) children.push_back(child);
  }
  return children;
}

std::string Describe(const std::vector<Attribute>& attributes) {
  std::string text;
  for (const Attribute& attribute : attributes) {
    text += " " + attribute.name + "=\"" + attribute.value + "\"";
  }
  return text;
}

// Empty when the two nodes match; otherwise what differs, under the path given.
std::string Compare(IXMLDOMNode* actual, IXMLDOMNode* expected, const std::string& path) {
  DOMNodeType actualType = NODE_INVALID;
  DOMNodeType expectedType = NODE_INVALID;
  actual->get_nodeType(&actualType);
  expected->get_nodeType(&expectedType);
  if (actualType != expectedType) {
    return path + ": node type " + std::to_string(actualType) + ", expected " +
           std::to_string(expectedType);
  }
  if (actualType == NODE_TEXT) {
    const std::string actualText = ValueOf(actual);
    const std::string expectedText = ValueOf(expected);
    if (actualText == expectedText) return {};
    return path + ": text \"" + actualText + "\", expected \"" + expectedText + "\"";
  }
  const std::string name = NameOf(actual);
  const std::string here = path + "/" + name;
  if (name != NameOf(expected)) return here + ": expected element " + NameOf(expected);
  if (NamespaceOf(actual) != NamespaceOf(expected)) {
    return here + ": namespace \"" + NamespaceOf(actual) + "\", expected \"" +
           NamespaceOf(expected) + "\"";
  }
  const std::vector<Attribute> actualAttributes = AttributesOf(actual);
  const std::vector<Attribute> expectedAttributes = AttributesOf(expected);
  if (actualAttributes != expectedAttributes) {
    return here + ": attributes" + Describe(actualAttributes) + ", expected" +
           Describe(expectedAttributes);
  }
  const std::vector<ComPtr<IXMLDOMNode>> actualChildren = ChildrenOf(actual);
  const std::vector<ComPtr<IXMLDOMNode>> expectedChildren = ChildrenOf(expected);
  if (actualChildren.size() != expectedChildren.size()) {
    return here + ": " + std::to_string(actualChildren.size()) + " children, expected " +
           std::to_string(expectedChildren.size());
  }
  for (std::size_t index = 0; index < actualChildren.size(); ++index) {
    std::string difference = Compare(actualChildren[index].Get(), expectedChildren[index].Get(),
                                     here + "[" + std::to_string(index) + "]");
    if (!difference.empty()) return difference;
  }
  return {};
}

bool IsXmlSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// The length of the white space character written at `at` (raw or as a character reference such
// as "&#9;"), 0 when there is none.
std::size_t BlankAt(std::string_view xml, std::size_t at) {
  if (IsXmlSpace(xml[at])) return 1;
  for (const std::string_view reference :
       {"&#32;", "&#9;", "&#10;", "&#13;", "&#x20;", "&#x9;", "&#xA;", "&#xD;", "&#xa;", "&#xd;"}) {
    if (xml.substr(at).starts_with(reference)) return reference.size();
  }
  return 0;
}

// The text of a leaf element made only of white space, made visible (each character becomes a
// private-use one): both DOMs drop such text when they parse, so a subject sent as spaces and one
// sent empty would otherwise compare equal. Only leaves are touched: the real DOM's writer puts
// white space of its own between elements.
std::string WithBlankLeafTextsVisible(std::string_view xml) {
  std::string visible;
  std::size_t at = 0;
  while (at < xml.size()) {
    const char c = xml[at];
    visible += c;
    ++at;
    if (c != '>' || visible.size() < 2 || visible[visible.size() - 2] == '/') continue;
    const std::size_t open = visible.rfind('<');
    if (open == std::string::npos ||
        std::string_view("/?!").find(visible[open + 1]) != std::string_view::npos) {
      continue;  // not the end of a start tag
    }
    std::size_t end = at;
    std::string marks;
    while (end < xml.size()) {
      const std::size_t length = BlankAt(xml, end);
      if (length == 0) break;
      const char blank = length == 1 ? xml[end] : ' ';
      // U+E000 plus the character: three bytes of UTF-8 that no parser takes for white space.
      marks += "\xEE\x80";
      marks += static_cast<char>(0x80 | (blank & 0x3F));
      end += length;
    }
    if (end > at && xml.substr(end).starts_with("</")) {
      visible += marks;
      at = end;
    }
  }
  return visible;
}

// The attribute names of every start tag in document order, namespace declarations included.
// Read from the text, because the DOMs disagree on listing declarations as attributes, and the
// order of "type" and "xmlns" on a query is part of what a request looks like.
std::vector<std::string> AttributeOrders(std::string_view xml) {
  std::vector<std::string> orders;
  for (std::size_t at = xml.find('<'); at != std::string_view::npos; at = xml.find('<', at)) {
    ++at;
    if (at >= xml.size() || xml[at] == '/' || xml[at] == '?' || xml[at] == '!') continue;
    std::size_t name = at;
    while (at < xml.size() && !IsXmlSpace(xml[at]) && xml[at] != '>' && xml[at] != '/') ++at;
    // Appended piece by piece: GCC's -Wrestrict misreads "<" + std::string(...) on 32 bits.
    std::string order(1, '<');
    order.append(xml.substr(name, at - name));
    order += '>';
    for (;;) {
      while (at < xml.size() && IsXmlSpace(xml[at])) ++at;
      if (at >= xml.size() || xml[at] == '>' || xml[at] == '/') break;
      name = at;
      while (at < xml.size() && xml[at] != '=' && !IsXmlSpace(xml[at])) ++at;
      order += ' ';
      order.append(xml.substr(name, at - name));
      const std::size_t quote = xml.find_first_of("\"'", at);
      if (quote == std::string_view::npos) break;
      const std::size_t close = xml.find(xml[quote], quote + 1);
      if (close == std::string_view::npos) break;
      at = close + 1;
    }
    orders.push_back(std::move(order));
  }
  return orders;
}

}  // namespace

Bstr Utf8ToBstr(const char* utf8) {
  return Bstr::Copy(WidenText(CP_UTF8, utf8).value_or(OleString{}));
}

ComPtr<IXMLDOMElement> ParseXml(const char* utf8) {
  CLSID documentClass{};
  CLSIDFromProgID(OLESTR("Microsoft.XMLDOM"), &documentClass);
  ComPtr<IXMLDOMDocument> document;
  if (FAILED(CoCreateInstance(documentClass, nullptr, CLSCTX_INPROC_SERVER, IID_IXMLDOMDocument,
                              document.PutVoid()))) {
    return nullptr;
  }
  const Bstr text = Utf8ToBstr(utf8);
  VARIANT_BOOL loaded = VARIANT_FALSE;
  if (FAILED(document->loadXML(text.Get(), &loaded)) || loaded != VARIANT_TRUE) return nullptr;
  ComPtr<IXMLDOMElement> root;
  document->get_documentElement(root.Put());
  return root;
}

std::string SerialisedXml(IXMLDOMNode* node) {
  Bstr xml;
  node->get_xml(xml.Put());
  return ToUtf8(OleString(xml.View()));
}

bool DomKeepsNodeIdentity() {
  const ComPtr<IXMLDOMElement> root = ParseXml("<a><b/></a>");
  ComPtr<IXMLDOMNode> first;
  ComPtr<IXMLDOMNode> again;
  if (!root || FAILED(root->get_firstChild(first.Put())) ||
      FAILED(root->get_firstChild(again.Put())) || !first || !again) {
    return false;
  }
  return first.As<IUnknown>().Get() == again.As<IUnknown>().Get();
}

::testing::AssertionResult XmlEquivalent(IXMLDOMElement* actual, const char* expectedXml) {
  const ComPtr<IXMLDOMElement> expected = ParseXml(expectedXml);
  if (!expected) return ::testing::AssertionFailure() << "expected XML does not parse";
  if (actual == nullptr) return ::testing::AssertionFailure() << "no element";
  // Compared as the receiver sees it: written out and read back by the platform's DOM, so that
  // namespaces come from the declarations and the serialiser's layout does not count.
  const std::string written = SerialisedXml(actual);
  const ComPtr<IXMLDOMElement> received = ParseXml(WithBlankLeafTextsVisible(written).c_str());
  if (!received)
    return ::testing::AssertionFailure() << "written out, it does not parse: " << written;
  const ComPtr<IXMLDOMElement> expectedVisible =
      ParseXml(WithBlankLeafTextsVisible(expectedXml).c_str());
  const std::string difference = Compare(received.Get(), expectedVisible.Get(), "");
  if (!difference.empty()) return ::testing::AssertionFailure() << difference;
  const std::vector<std::string> writtenOrders = AttributeOrders(written);
  const std::vector<std::string> expectedOrders = AttributeOrders(expectedXml);
  for (std::size_t tag = 0; tag < writtenOrders.size() && tag < expectedOrders.size(); ++tag) {
    if (writtenOrders[tag] != expectedOrders[tag]) {
      return ::testing::AssertionFailure()
             << "attributes in the order " << writtenOrders[tag] << ", expected "
             << expectedOrders[tag] << " (start tag " << tag << " of " << written << ")";
    }
  }
  return ::testing::AssertionSuccess();
}

}  // namespace quenlo::confext
