#include "document.h"

#include <platform/xml_parser.h>

#include "document_link.h"
#include "dom_strings.h"
#include "element.h"
#include "element_list.h"
#include "node_store.h"
#include "parse_error.h"
#include "text_node.h"
#include "text_parser.h"
#include "xml_chars.h"

namespace quenlo::platform::dom {

Document* Document::Create() {
  ParseError* noError = ParseError::None();
  NodeStore* store = nullptr;
  void* memory = nullptr;
  try {
    store = NodeStore::Create(MakeDocumentLink());
    memory = Memory(*store, false, sizeof(Document), alignof(Document));
  } catch (...) {
    if (store != nullptr) store->LetGo();
    noError->ReleaseReference();
    throw;
  }
  auto* document = new (memory) Document(*store, noError);
  store->LetGo();  // the document's own hold keeps it
  document->Link().Bind(document);
  return document;
}

Document::Document(NodeStore& store, ParseError* noError) noexcept
    : NodeObject(NODE_DOCUMENT, store, false), parseError_(noError) {}

Document::~Document() { parseError_->ReleaseReference(); }

void Document::Destroy() noexcept {
  // Nodes asking for their owner document from now on get none.
  Link().Sever();
  Node::Destroy();
}

bool Document::Accepts(const Node& child) const noexcept {
  return child.Type() == NODE_ELEMENT && DocumentElement() == nullptr;
}

Element* Document::DocumentElement() const noexcept {
  for (Node* child = FirstChild(); child != nullptr; child = child->NextSibling()) {
    if (child->Type() == NODE_ELEMENT) return static_cast<Element*>(child);
  }
  return nullptr;
}

HRESULT Document::get_documentElement(IXMLDOMElement** root) {
  if (root == nullptr) return E_INVALIDARG;
  Element* element = DocumentElement();
  *root = element;
  if (element == nullptr) return S_FALSE;
  element->AddReference();
  return S_OK;
}

HRESULT Document::createElement(BSTR tagName, IXMLDOMElement** element) {
  if (element == nullptr) return E_INVALIDARG;
  *element = nullptr;
  return Guarded([&] {
    const Name* tag = Store().Intern(ViewOf(tagName));
    if (!IsXmlName(*tag)) return E_INVALIDARG;
    // Made elements carry no namespace, whatever xmlns attribute they are given later.
    *element = Element::Create(Store(), false, tag, nullptr);
    return S_OK;
  });
}

HRESULT Document::createTextNode(BSTR data, IXMLDOMText** text) {
  if (text == nullptr) return E_INVALIDARG;
  *text = nullptr;
  const std::u16string_view content = ViewOf(data);
  if (!IsXmlText(content)) return E_INVALIDARG;
  return Guarded([&] {
    *text = TextNode::Create(Store(), content);
    return S_OK;
  });
}

HRESULT Document::getElementsByTagName(BSTR name, IXMLDOMNodeList** list) {
  if (list == nullptr) return E_INVALIDARG;
  return Guarded([&] {
    *list = ElementList::Create(*this, ViewOf(name));
    return S_OK;
  });
}

HRESULT Document::loadXML(BSTR xml, VARIANT_BOOL* success) {
  if (success != nullptr) *success = VARIANT_FALSE;
  const HRESULT hr = Guarded([&] { return LoadXml(xml, success); });
  if (FAILED(hr)) RemoveChildren();  // no half-built tree is left behind
  return hr;
}

HRESULT Document::LoadXml(BSTR xml, VARIANT_BOOL* success) {
  RemoveChildren();
  const ParseOutcome outcome = ParseUtf16Into(*this, ViewOf(xml), XmlGetDefaultParseLimits());
  NoteShapeChange();  // the parser builds without noting each node
  ParseError* error = ParseError::None();
  if (outcome.result.status != XmlParseStatus::Ok) {
    error->ReleaseReference();
    std::u16string reason;
    AppendUtf8AsUtf16(outcome.result.message, reason);
    error = ParseError::Create(ParseErrorCode(outcome.result.status), std::move(reason),
                               outcome.line, outcome.column);
  }
  parseError_->ReleaseReference();
  parseError_ = error;
  if (outcome.result.status != XmlParseStatus::Ok) {
    RemoveChildren();
    return S_FALSE;
  }
  if (success != nullptr) *success = VARIANT_TRUE;
  return S_OK;
}

HRESULT Document::get_parseError(IXMLDOMParseError** error) {
  if (error == nullptr) return E_INVALIDARG;
  parseError_->AddReference();
  *error = parseError_;
  return S_OK;
}

HRESULT Document::GetNodeName(BSTR* name) { return CopyToBstr(u"#document", name); }

HRESULT Document::GetOwnerDocument(IXMLDOMDocument** document) noexcept {
  if (document == nullptr) return E_INVALIDARG;
  *document = nullptr;
  return S_FALSE;
}

HRESULT Document::PutText(BSTR) { return E_FAIL; }

}  // namespace quenlo::platform::dom
