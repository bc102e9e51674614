// Asks the real platform's XML DOM what get_xml writes for line breaks, tabs and spaces at the
// ends of a text, in element text (put_text) and in attribute values (setAttribute), so that what
// the module promises about texts on the wire rests on measurement. Cross-built and run under
// Wine by measure-text-layout next to this file, which reads the output back with expat.
//
// Output: one line per sample and place, "NAME<TAB>element|attribute<TAB>XML", the XML as
// UTF-8 with every CR, LF and tab written as \r, \n, \t and a backslash as \\.
#include <msxml.h>
#include <objbase.h>
#include <oleauto.h>
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

struct Sample {
  const char* name;
  const wchar_t* text;
};

constexpr Sample kSamples[] = {
    {"cr", L"a\rb"},
    {"lf", L"a\nb"},
    {"crlf", L"a\r\nb"},
    {"lfcr", L"a\n\rb"},
    {"tab", L"a\tb"},
    {"edge-spaces", L"  a b  "},
    {"edge-breaks", L"\r\na\n"},
    {"only-break", L"\r\n"},
    {"markup", L"&<>\"'"},
};

void PrintEscaped(const wchar_t* xml) {
  std::string utf8;
  for (const wchar_t* unit = xml; *unit != 0; ++unit) {
    switch (*unit) {
      case L'\r':
        utf8 += "\\r";
        break;
      case L'\n':
        utf8 += "\\n";
        break;
      case L'\t':
        utf8 += "\\t";
        break;
      case L'\\':
        utf8 += "\\\\";
        break;
      default: {
        char bytes[8];
        const int length =
            WideCharToMultiByte(CP_UTF8, 0, unit, 1, bytes, sizeof bytes, nullptr, nullptr);
        utf8.append(bytes, static_cast<std::size_t>(length > 0 ? length : 0));
      }
    }
  }
  std::printf("%s\n", utf8.c_str());
}

}  // namespace

int main() {
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;
  CLSID documentClass{};
  CLSIDFromProgID(L"Microsoft.XMLDOM", &documentClass);
  IXMLDOMDocument* document = nullptr;
  if (FAILED(CoCreateInstance(documentClass, nullptr, CLSCTX_INPROC_SERVER, IID_IXMLDOMDocument,
                              reinterpret_cast<void**>(&document)))) {
    std::printf("! no XML document\n");
    return 1;
  }
  for (const Sample& sample : kSamples) {
    BSTR text = SysAllocString(sample.text);
    BSTR tag = SysAllocString(L"e");
    BSTR attribute = SysAllocString(L"a");

    IXMLDOMElement* element = nullptr;
    document->createElement(tag, &element);
    element->put_text(text);
    BSTR xml = nullptr;
    element->get_xml(&xml);
    std::printf("%s\telement\t", sample.name);
    PrintEscaped(xml);
    SysFreeString(xml);
    element->Release();

    document->createElement(tag, &element);
    VARIANT value;
    VariantInit(&value);
    value.vt = VT_BSTR;
    value.bstrVal = text;
    element->setAttribute(attribute, value);
    element->get_xml(&xml);
    std::printf("%s\tattribute\t", sample.name);
    PrintEscaped(xml);
    SysFreeString(xml);
    element->Release();

    // The same text one level down, as a request's body element is written out.
    IXMLDOMElement* parent = nullptr;
    document->createElement(tag, &parent);
    document->createElement(tag, &element);
    element->put_text(text);
    IXMLDOMNode* appended = nullptr;
    parent->appendChild(element, &appended);
    if (appended != nullptr) appended->Release();
    parent->get_xml(&xml);
    std::printf("%s	child	", sample.name);
    PrintEscaped(xml);
    SysFreeString(xml);
    element->Release();
    parent->Release();

    SysFreeString(attribute);
    SysFreeString(tag);
    SysFreeString(text);
  }
  // Text and an element side by side, as the ballot's "subjects" carries its qid.
  {
    BSTR tag = SysAllocString(L"e");
    BSTR text = SysAllocString(L"7");
    IXMLDOMElement* parent = nullptr;
    IXMLDOMElement* child = nullptr;
    document->createElement(tag, &parent);
    parent->put_text(text);
    document->createElement(tag, &child);
    child->put_text(text);
    IXMLDOMNode* appended = nullptr;
    parent->appendChild(child, &appended);
    if (appended != nullptr) appended->Release();
    BSTR xml = nullptr;
    parent->get_xml(&xml);
    std::printf("text-and-child\tchild\t");
    PrintEscaped(xml);
    SysFreeString(xml);
    child->Release();
    parent->Release();
    SysFreeString(text);
    SysFreeString(tag);
  }
  document->Release();
  CoUninitialize();
  return 0;
}
