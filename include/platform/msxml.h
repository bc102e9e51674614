// The XML DOM: the interfaces of the "Microsoft.XMLDOM" component that the module and hosts
// use, with the Windows SDK's method names and signatures. The interfaces derive straight from
// IUnknown (there is no IDispatch here) and declare the operations this product uses, not
// every one the SDK lists.
#pragma once

#include <platform/com.h>
#include <platform/long_output.h>
#include <platform/oleauto.h>

enum DOMNodeType {
  NODE_INVALID = 0,
  NODE_ELEMENT = 1,
  NODE_ATTRIBUTE = 2,
  NODE_TEXT = 3,
  NODE_DOCUMENT = 9,
};

struct IXMLDOMDocument;
struct IXMLDOMNodeList;
struct IXMLDOMNamedNodeMap;

inline constexpr IID IID_IXMLDOMNode = {
    0x2933BF80, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};
inline constexpr IID IID_IXMLDOMDocument = {
    0x2933BF81, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};
inline constexpr IID IID_IXMLDOMNodeList = {
    0x2933BF82, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};
inline constexpr IID IID_IXMLDOMNamedNodeMap = {
    0x2933BF83, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};
inline constexpr IID IID_IXMLDOMAttribute = {
    0x2933BF85, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};
inline constexpr IID IID_IXMLDOMElement = {
    0x2933BF86, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};
inline constexpr IID IID_IXMLDOMText = {
    0x2933BF87, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};
inline constexpr IID IID_IXMLDOMParseError = {
    0x3EFAA426, 0x272F, 0x11D2, {0x83, 0x6F, 0x00, 0x00, 0xF8, 0x7A, 0x77, 0x82}};
inline constexpr CLSID CLSID_DOMDocument = {
    0x2933BF90, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};

struct IXMLDOMNode : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE get_nodeName(BSTR* name) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_nodeValue(VARIANT* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_nodeType(DOMNodeType* type) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_parentNode(IXMLDOMNode** parent) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_childNodes(IXMLDOMNodeList** children) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_firstChild(IXMLDOMNode** child) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_nextSibling(IXMLDOMNode** sibling) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_attributes(IXMLDOMNamedNodeMap** attributes) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_ownerDocument(IXMLDOMDocument** document) = 0;
  virtual HRESULT STDMETHODCALLTYPE appendChild(IXMLDOMNode* child, IXMLDOMNode** appended) = 0;
  virtual HRESULT STDMETHODCALLTYPE hasChildNodes(VARIANT_BOOL* has) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_text(BSTR* text) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_text(BSTR text) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_xml(BSTR* xml) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_namespaceURI(BSTR* uri) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_baseName(BSTR* name) = 0;

 protected:
  ~IXMLDOMNode() = default;
};

struct IXMLDOMNodeList : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE get_item(long index, IXMLDOMNode** item) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_length(long* length) = 0;
  virtual HRESULT STDMETHODCALLTYPE nextNode(IXMLDOMNode** next) = 0;
  virtual HRESULT STDMETHODCALLTYPE reset() = 0;
  // For a count declared LONG, as on Windows (platform/long_output.h).
  template <class Long, quenlo::platform::IfLONG<Long> = 0>
  HRESULT get_length(Long* length) {
    return quenlo::platform::ReadIntoLONG(length, [this](long* wide) { return get_length(wide); });
  }

 protected:
  ~IXMLDOMNodeList() = default;
};

struct IXMLDOMNamedNodeMap : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE getNamedItem(BSTR name, IXMLDOMNode** item) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_item(long index, IXMLDOMNode** item) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_length(long* length) = 0;
  // For a count declared LONG, as on Windows (platform/long_output.h).
  template <class Long, quenlo::platform::IfLONG<Long> = 0>
  HRESULT get_length(Long* length) {
    return quenlo::platform::ReadIntoLONG(length, [this](long* wide) { return get_length(wide); });
  }

 protected:
  ~IXMLDOMNamedNodeMap() = default;
};

struct IXMLDOMAttribute : IXMLDOMNode {
  virtual HRESULT STDMETHODCALLTYPE get_name(BSTR* name) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_value(VARIANT* value) = 0;

 protected:
  ~IXMLDOMAttribute() = default;
};

struct IXMLDOMElement : IXMLDOMNode {
  virtual HRESULT STDMETHODCALLTYPE get_tagName(BSTR* name) = 0;
  // An absent attribute gives S_FALSE and a VT_NULL value.
  virtual HRESULT STDMETHODCALLTYPE getAttribute(BSTR name, VARIANT* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE setAttribute(BSTR name, VARIANT value) = 0;
  virtual HRESULT STDMETHODCALLTYPE removeAttribute(BSTR name) = 0;
  // Every descendant element with exactly that tag name, in document order ("*": all).
  virtual HRESULT STDMETHODCALLTYPE getElementsByTagName(BSTR name, IXMLDOMNodeList** list) = 0;

 protected:
  ~IXMLDOMElement() = default;
};

struct IXMLDOMText : IXMLDOMNode {
 protected:
  ~IXMLDOMText() = default;
};

struct IXMLDOMParseError : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE get_errorCode(long* code) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_reason(BSTR* reason) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_line(long* line) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_linepos(long* position) = 0;
  // For numbers declared LONG, as on Windows (platform/long_output.h).
  template <class Long, quenlo::platform::IfLONG<Long> = 0>
  HRESULT get_errorCode(Long* code) {
    return quenlo::platform::ReadIntoLONG(code, [this](long* wide) { return get_errorCode(wide); });
  }
  template <class Long, quenlo::platform::IfLONG<Long> = 0>
  HRESULT get_line(Long* line) {
    return quenlo::platform::ReadIntoLONG(line, [this](long* wide) { return get_line(wide); });
  }
  template <class Long, quenlo::platform::IfLONG<Long> = 0>
  HRESULT get_linepos(Long* position) {
    return quenlo::platform::ReadIntoLONG(position,
                                          [this](long* wide) { return get_linepos(wide); });
  }

 protected:
  ~IXMLDOMParseError() = default;
};

struct IXMLDOMDocument : IXMLDOMNode {
  virtual HRESULT STDMETHODCALLTYPE get_documentElement(IXMLDOMElement** root) = 0;
  virtual HRESULT STDMETHODCALLTYPE createElement(BSTR tagName, IXMLDOMElement** element) = 0;
  virtual HRESULT STDMETHODCALLTYPE createTextNode(BSTR data, IXMLDOMText** text) = 0;
  virtual HRESULT STDMETHODCALLTYPE getElementsByTagName(BSTR name, IXMLDOMNodeList** list) = 0;
  // Parses text into this document, replacing its content. S_FALSE and VARIANT_FALSE when
  // the text is refused; get_parseError then says why.
  virtual HRESULT STDMETHODCALLTYPE loadXML(BSTR xml, VARIANT_BOOL* success) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_parseError(IXMLDOMParseError** error) = 0;

 protected:
  ~IXMLDOMDocument() = default;
};
