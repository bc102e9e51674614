// Binds a node type's interface to Node: IUnknown and every IXMLDOMNode operation, with
// allocation failures turned into E_OUTOFMEMORY so that no exception crosses the interface.
#pragma once

#include <exception>
#include <new>

#include "node.h"

namespace quenlo::platform::dom {

template <class Operation>
HRESULT Guarded(Operation&& operation) noexcept {
  try {
    return operation();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (const std::exception&) {
    return E_FAIL;
  }
}

template <class Interface, const IID& kInterfaceId>
class NodeObject : public Interface, public Node {
 public:
  IXMLDOMNode* AsNode() noexcept final { return this; }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (object == nullptr) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IXMLDOMNode || riid == kInterfaceId) {
      AddReference();
      *object = static_cast<Interface*>(this);
      return S_OK;
    }
    if (riid == IID_QuenloDomNode) {
      *object = static_cast<Node*>(this);  // without a reference: see IID_QuenloDomNode
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return AddReference(); }
  ULONG STDMETHODCALLTYPE Release() override { return ReleaseReference(); }

  HRESULT STDMETHODCALLTYPE get_nodeName(BSTR* name) override {
    return Guarded([&] { return GetNodeName(name); });
  }
  HRESULT STDMETHODCALLTYPE get_nodeValue(VARIANT* value) override {
    return Guarded([&] { return GetNodeValue(value); });
  }
  HRESULT STDMETHODCALLTYPE get_nodeType(DOMNodeType* type) override {
    if (type == nullptr) return E_INVALIDARG;
    *type = Type();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_parentNode(IXMLDOMNode** parent) override {
    return GetParentNode(parent);
  }
  HRESULT STDMETHODCALLTYPE get_childNodes(IXMLDOMNodeList** children) override {
    return Guarded([&] { return GetChildNodes(children); });
  }
  HRESULT STDMETHODCALLTYPE get_firstChild(IXMLDOMNode** child) override {
    return GetFirstChild(child);
  }
  HRESULT STDMETHODCALLTYPE get_nextSibling(IXMLDOMNode** sibling) override {
    return GetNextSibling(sibling);
  }
  HRESULT STDMETHODCALLTYPE get_attributes(IXMLDOMNamedNodeMap** attributes) override {
    return Guarded([&] { return GetAttributes(attributes); });
  }
  HRESULT STDMETHODCALLTYPE get_ownerDocument(IXMLDOMDocument** document) override {
    return GetOwnerDocument(document);
  }
  HRESULT STDMETHODCALLTYPE appendChild(IXMLDOMNode* child, IXMLDOMNode** appended) override {
    return AppendChild(child, appended);
  }
  HRESULT STDMETHODCALLTYPE hasChildNodes(VARIANT_BOOL* has) override { return HasChildNodes(has); }
  HRESULT STDMETHODCALLTYPE get_text(BSTR* text) override {
    return Guarded([&] { return GetText(text); });
  }
  HRESULT STDMETHODCALLTYPE put_text(BSTR text) override {
    return Guarded([&] { return PutText(text); });
  }
  HRESULT STDMETHODCALLTYPE get_xml(BSTR* xml) override {
    return Guarded([&] { return GetXml(xml); });
  }
  HRESULT STDMETHODCALLTYPE get_namespaceURI(BSTR* uri) override {
    return Guarded([&] { return GetNamespaceUri(uri); });
  }
  HRESULT STDMETHODCALLTYPE get_baseName(BSTR* name) override {
    return Guarded([&] { return GetBaseName(name); });
  }

 protected:
  using Node::Node;
};

}  // namespace quenlo::platform::dom
