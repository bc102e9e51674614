// The document: makes elements and text nodes, holds at most one root element, and parses
// text into itself.
#pragma once

#include "node_object.h"

namespace quenlo::platform::dom {

class Element;
class ParseError;

class Document final : public NodeObject<IXMLDOMDocument, IID_IXMLDOMDocument> {
 public:
  // With one reference for the caller.
  static Document* Create();

  Element* DocumentElement() const noexcept;

  HRESULT STDMETHODCALLTYPE get_documentElement(IXMLDOMElement** root) override;
  HRESULT STDMETHODCALLTYPE createElement(BSTR tagName, IXMLDOMElement** element) override;
  HRESULT STDMETHODCALLTYPE createTextNode(BSTR data, IXMLDOMText** text) override;
  HRESULT STDMETHODCALLTYPE getElementsByTagName(BSTR name, IXMLDOMNodeList** list) override;
  HRESULT STDMETHODCALLTYPE loadXML(BSTR xml, VARIANT_BOOL* success) override;
  HRESULT STDMETHODCALLTYPE get_parseError(IXMLDOMParseError** error) override;

  HRESULT GetNodeName(BSTR* name) override;
  HRESULT GetOwnerDocument(IXMLDOMDocument** document) noexcept override;
  HRESULT PutText(BSTR text) override;

 private:
  Document(NodeStore& store, ParseError* noError) noexcept;
  ~Document() override;

  bool Accepts(const Node& child) const noexcept override;
  void Destroy() noexcept override;
  HRESULT LoadXml(BSTR xml, VARIANT_BOOL* success);

  ParseError* parseError_;  // owns one reference; replaced by every load
};

}  // namespace quenlo::platform::dom
