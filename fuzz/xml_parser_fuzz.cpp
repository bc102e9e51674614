// Parses arbitrary bytes; whatever is accepted must serialise to text that parses back to the
// same tree (same XML written again, same namespace for every element). UTF-8 is read by pugixml
// where the platform trusts it and by expat otherwise, while loadXML reads UTF-16 with expat
// alone: the same text must be accepted or refused alike both ways, and make the same tree.
// Bytes are also fed to loadXML as UTF-16 units, which must refuse or accept without harm.
#include <platform/codepage.h>
#include <platform/msxml.h>
#include <platform/xml_parser.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace {

template <class T>
struct Held {
  T* object = nullptr;
  ~Held() {
    if (object != nullptr) object->Release();
  }
};

struct HeldString {
  BSTR text = nullptr;
  ~HeldString() { SysFreeString(text); }
  std::u16string_view View() const { return {text, SysStringLen(text)}; }
};

void Require(bool condition) {
  if (!condition) __builtin_trap();
}

std::u16string Xml(IXMLDOMNode* node) {
  HeldString xml;
  Require(node->get_xml(&xml.text) == S_OK);
  return std::u16string(xml.View());
}

std::u16string NamespaceOf(IXMLDOMNode* node) {
  HeldString uri;
  return node->get_namespaceURI(&uri.text) == S_OK ? u"=" + std::u16string(uri.View()) : u"-";
}

// The namespaces of every element in document order, the root's first.
std::u16string Namespaces(IXMLDOMElement* root) {
  std::u16string all = NamespaceOf(root);
  Held<IXMLDOMNodeList> list;
  const BSTR every = SysAllocString(u"*");
  Require(root->getElementsByTagName(every, &list.object) == S_OK);
  SysFreeString(every);
  long length = 0;
  list.object->get_length(&length);
  for (long index = 0; index < length; ++index) {
    Held<IXMLDOMNode> node;
    Require(list.object->get_item(index, &node.object) == S_OK);
    all += u"|" + NamespaceOf(node.object);
  }
  return all;
}

struct Loaded {
  Held<IXMLDOMDocument> document;
  Held<IXMLDOMElement> root;  // null when the text was refused
};

void LoadXml(std::u16string_view xml, Loaded& loaded) {
  Require(CoCreateInstance(CLSID_DOMDocument, nullptr, CLSCTX_ALL, IID_IXMLDOMDocument,
                           reinterpret_cast<void**>(&loaded.document.object)) == S_OK);
  const BSTR text = SysAllocStringLen(xml.data(), static_cast<UINT>(xml.size()));
  VARIANT_BOOL success = VARIANT_FALSE;
  loaded.document.object->loadXML(text, &success);
  SysFreeString(text);
  if (success == VARIANT_TRUE) {
    Require(loaded.document.object->get_documentElement(&loaded.root.object) == S_OK);
  }
}

void SameAsExpat(std::string_view utf8, const XmlParseResult& result, IXMLDOMElement* root) {
  const int length = static_cast<int>(utf8.size());
  const int units =
      MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), length, nullptr, 0);
  if (units == 0 && length != 0) return;  // not UTF-8, which only expat reads anyway
  std::u16string wide(static_cast<std::size_t>(units), u'\0');
  MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), length, wide.data(), units);
  Loaded loaded;
  LoadXml(wide, loaded);
  // Refusals are expat's both ways; its messages may differ between encodings.
  Require((loaded.root.object != nullptr) == (result.status == XmlParseStatus::Ok));
  if (root == nullptr) return;
  Require(Xml(loaded.root.object) == Xml(root));
  Require(Namespaces(loaded.root.object) == Namespaces(root));
}

void RoundTrip(std::string_view utf8) {
  Held<IXMLDOMElement> first;
  const XmlParseResult result = XmlParseElement(utf8, &first.object);
  SameAsExpat(utf8, result, first.object);
  if (result.status != XmlParseStatus::Ok) return;
  const std::u16string xml = Xml(first.object);

  Loaded second;
  LoadXml(xml, second);
  Require(second.root.object != nullptr);
  Require(Xml(second.root.object) == xml);
  Require(Namespaces(second.root.object) == Namespaces(first.object));
}

void LoadAsUtf16(const std::uint8_t* data, std::size_t size) {
  std::u16string units(size / 2, u'\0');
  for (std::size_t index = 0; index < units.size(); ++index) {
    units[index] = static_cast<char16_t>(data[2 * index] | (data[2 * index + 1] << 8));
  }
  Held<IXMLDOMDocument> document;
  Require(CoCreateInstance(CLSID_DOMDocument, nullptr, CLSCTX_ALL, IID_IXMLDOMDocument,
                           reinterpret_cast<void**>(&document.object)) == S_OK);
  const BSTR text = SysAllocStringLen(units.data(), static_cast<UINT>(units.size()));
  VARIANT_BOOL loaded = VARIANT_FALSE;
  document.object->loadXML(text, &loaded);
  SysFreeString(text);
  if (loaded == VARIANT_TRUE) {
    HeldString xml;
    Require(document.object->get_xml(&xml.text) == S_OK);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  RoundTrip({reinterpret_cast<const char*>(data), size});
  LoadAsUtf16(data, size);
  return 0;
}
