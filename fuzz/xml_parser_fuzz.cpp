// Parses arbitrary bytes; whatever is accepted must serialise to text that parses back to the
// same tree (same XML written again, same namespace for every element). Bytes are also fed to
// loadXML as UTF-16, which must refuse or accept without harm.
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

void RoundTrip(std::string_view utf8) {
  Held<IXMLDOMElement> first;
  if (XmlParseElement(utf8, &first.object).status != XmlParseStatus::Ok) return;
  const std::u16string xml = Xml(first.object);

  Held<IXMLDOMDocument> document;
  Require(CoCreateInstance(CLSID_DOMDocument, nullptr, CLSCTX_ALL, IID_IXMLDOMDocument,
                           reinterpret_cast<void**>(&document.object)) == S_OK);
  const BSTR text = SysAllocStringLen(xml.data(), static_cast<UINT>(xml.size()));
  VARIANT_BOOL loaded = VARIANT_FALSE;
  document.object->loadXML(text, &loaded);
  SysFreeString(text);
  Require(loaded == VARIANT_TRUE);
  Held<IXMLDOMElement> second;
  Require(document.object->get_documentElement(&second.object) == S_OK);
  Require(Xml(second.object) == xml);
  Require(Namespaces(second.object) == Namespaces(first.object));
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
