#include "xml/packet_builder.h"

#include "component/bstr.h"
#include "component/variant.h"
#include "xml/dom_name.h"
#include "xml/shared_document.h"
#include "xml/xml_text.h"

namespace quenlo::confext {

namespace {

ComPtr<IXMLDOMElement> CreateElement(const OLECHAR* tag) {
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

bool SetAttributeText(IXMLDOMElement* element, const OLECHAR* name, OleText value) {
  if (element == nullptr || !MayHandToDom(value.View())) return false;
  const DomName attributeName(name);
  const Variant text = Variant::FromText(value.View());
  return SUCCEEDED(element->setAttribute(attributeName.Get(), text.Get()));
}

ComPtr<IXMLDOMElement> CreateIq(OleText to, OleText type, OleText id) {
  ComPtr<IXMLDOMElement> iq = CreateElement(OLESTR("iq"));
  if (!iq || !SetAttributeText(iq.Get(), OLESTR("type"), type) ||
      !SetAttributeText(iq.Get(), OLESTR("to"), to) ||
      !SetAttributeText(iq.Get(), OLESTR("id"), id)) {
    return nullptr;
  }
  return iq;
}

ComPtr<IXMLDOMElement> AddQuery(IXMLDOMElement* iq, OleText queryNamespace, OleText type) {
  if (iq == nullptr) return nullptr;
  ComPtr<IXMLDOMElement> query = CreateElement(OLESTR("query"));
  if (!query) return nullptr;
  if (!type.View().empty() && !SetAttributeText(query.Get(), OLESTR("type"), type)) {
    return nullptr;
  }
  if (!SetAttributeText(query.Get(), OLESTR("xmlns"), queryNamespace) ||
      !AppendChild(iq, query.Get())) {
    return nullptr;
  }
  return query;
}

ComPtr<IXMLDOMElement> AddChild(IXMLDOMElement* parent, const OLECHAR* tag, OleText text) {
  if (!MayHandToDom(text.View())) return nullptr;
  ComPtr<IXMLDOMElement> element = CreateElement(tag);
  if (!element) return nullptr;
  const Bstr content = Bstr::Copy(text.View());
  if (FAILED(element->put_text(content.Get()))) return nullptr;
  if (parent != nullptr && !AppendChild(parent, element.Get())) return nullptr;
  return element;
}

ElementWriter::ElementWriter(ComPtr<IXMLDOMElement> element) noexcept
    : ElementWriter(std::move(element), nullptr) {}

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

void ElementWriter::Fail() noexcept {
  for (ElementWriter* writer = this; writer != nullptr; writer = writer->parent_) {
    writer->failed_ = true;
  }
}

ElementWriter& ElementWriter::Add(const OLECHAR* tag, OleText text) {
  if (Ok() && !AddChild(element_.Get(), tag, text)) Fail();
  return *this;
}

ElementWriter& ElementWriter::Set(const OLECHAR* name, OleText value) {
  if (Ok() && !SetAttributeText(element_.Get(), name, value)) Fail();
  return *this;
}

ElementWriter ElementWriter::Open(const OLECHAR* tag, OleText text) {
  if (!Ok()) return ElementWriter(nullptr, this);
  return ElementWriter(AddChild(element_.Get(), tag, text), this);
}

}  // namespace quenlo::confext
