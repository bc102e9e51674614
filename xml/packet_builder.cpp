#include "xml/packet_builder.h"

#include "component/bstr.h"
#include "xml/dom_name.h"
#include "xml/shared_document.h"
#include "xml/xml_text.h"

namespace quenlo::confext {

namespace {

ComPtr<IXMLDOMElement> CreateElement(FixedName tag) {
  const DomName name(tag);
  ComPtr<IXMLDOMElement> element;
  if (FAILED(SharedDocument::CreateElement(name.Get(), element.Put()))) return nullptr;
  return element;
}

// The appended node is not asked for: it is the child, and handing it out would cost a reference
// taken and dropped for every element of a request.
bool AppendChild(IXMLDOMElement* parent, IXMLDOMElement* child) {
  return SUCCEEDED(parent->appendChild(child, nullptr));
}

}  // namespace

bool SetAttributeText(IXMLDOMElement* element, FixedName name, OleText value, Bstr& scratch) {
  if (element == nullptr || !MayHandToDom(value.View())) return false;
  const DomName attributeName(name);
  // Lent to the call, which copies it: not a Variant, which would free the scratch string.
  VARIANT text;
  text.vt = VT_BSTR;
  text.bstrVal = scratch.Rewrite(value.View());
  return SUCCEEDED(element->setAttribute(attributeName.Get(), text));
}

ComPtr<IXMLDOMElement> CreateIq(OleText to, OleText type, OleText id, Bstr& scratch) {
  ComPtr<IXMLDOMElement> iq = CreateElement(OLESTR("iq"));
  if (!iq || !SetAttributeText(iq.Get(), OLESTR("type"), type, scratch) ||
      !SetAttributeText(iq.Get(), OLESTR("to"), to, scratch) ||
      !SetAttributeText(iq.Get(), OLESTR("id"), id, scratch)) {
    return nullptr;
  }
  return iq;
}

ComPtr<IXMLDOMElement> AddQuery(IXMLDOMElement* iq, OleText queryNamespace, OleText type,
                                Bstr& scratch) {
  if (iq == nullptr) return nullptr;
  ComPtr<IXMLDOMElement> query = CreateElement(OLESTR("query"));
  if (!query) return nullptr;
  if (!type.View().empty() && !SetAttributeText(query.Get(), OLESTR("type"), type, scratch)) {
    return nullptr;
  }
  if (!SetAttributeText(query.Get(), OLESTR("xmlns"), queryNamespace, scratch) ||
      !AppendChild(iq, query.Get())) {
    return nullptr;
  }
  return query;
}

ComPtr<IXMLDOMElement> AddChild(IXMLDOMElement* parent, FixedName tag, OleText text,
                                Bstr& scratch) {
  if (!MayHandToDom(text.View())) return nullptr;
  ComPtr<IXMLDOMElement> element = CreateElement(tag);
  if (!element) return nullptr;
  if (FAILED(element->put_text(scratch.Rewrite(text.View())))) return nullptr;
  if (parent != nullptr && !AppendChild(parent, element.Get())) return nullptr;
  return element;
}

ElementWriter::ElementWriter(ComPtr<IXMLDOMElement> element, Bstr scratch) noexcept
    : ElementWriter(std::move(element), nullptr) {
  scratch_ = std::move(scratch);
}

ElementWriter::ElementWriter(ComPtr<IXMLDOMElement> element, ElementWriter* parent) noexcept
    : element_(std::move(element)), parent_(parent) {
  if (!element_) Fail();
}

bool ElementWriter::Ok() const noexcept {
  for (const ElementWriter* writer = this; writer != nullptr; writer = writer->parent_) {
    if (writer->failed_) return false;
  }
  return true;
}

Bstr& ElementWriter::Scratch() noexcept {
  ElementWriter* first = this;
  while (first->parent_ != nullptr) first = first->parent_;
  return first->scratch_;
}

void ElementWriter::Fail() noexcept {
  for (ElementWriter* writer = this; writer != nullptr; writer = writer->parent_) {
    writer->failed_ = true;
  }
}

ElementWriter& ElementWriter::Add(FixedName tag, OleText text) {
  if (Ok() && !AddChild(element_.Get(), tag, text, Scratch())) Fail();
  return *this;
}

ElementWriter& ElementWriter::Set(FixedName name, OleText value) {
  if (Ok() && !SetAttributeText(element_.Get(), name, value, Scratch())) Fail();
  return *this;
}

ElementWriter ElementWriter::Open(FixedName tag, OleText text) {
  if (!Ok()) return ElementWriter(nullptr, this);
  return ElementWriter(AddChild(element_.Get(), tag, text, Scratch()), this);
}

}  // namespace quenlo::confext
