#include "xml/element_handle.h"

#include "xml/dom_name.h"
#include "xml/element_lookup.h"

namespace quenlo::confext {

OleStringView AttributeValue::Text() const {
  if (value_.Get().vt != VT_BSTR) value_ = Variant::TextOf(value_.Get());
  return ViewOfBstr(value_.Get().bstrVal);
}

ElementHandle ElementHandle::First(FixedName tag) const noexcept {
  return ElementHandle(FindElement(element_, tag));
}

std::optional<Bstr> TextOfNode(IXMLDOMNode* node) noexcept {
  Bstr text;
  if (node == nullptr || FAILED(node->get_text(text.Put()))) return std::nullopt;
  return text;
}

HRESULT CopyTextOfNode(IXMLDOMNode* node, BSTR* text) noexcept {
  if (text == nullptr) return E_POINTER;
  std::optional<Bstr> found = TextOfNode(node);
  if (!found) return S_FALSE;
  *text = found->Detach();
  return S_OK;
}

std::optional<Bstr> ElementHandle::Text() const noexcept { return TextOfNode(element_); }

HRESULT ElementHandle::CopyTextTo(BSTR* text) const noexcept {
  return CopyTextOfNode(element_, text);
}

std::optional<Bstr> ElementHandle::TextOf(FixedName tag) const noexcept {
  return TextOfNode(FindElement(element_, tag).Get());
}

HRESULT ElementHandle::CopyTextOf(FixedName tag, BSTR* text) const noexcept {
  if (text == nullptr) return E_POINTER;
  return CopyTextOfNode(FindElement(element_, tag).Get(), text);
}

std::optional<Bstr> ElementHandle::NamespaceUri() const noexcept {
  Bstr uri;
  if (!GetNamespace(element_, uri)) return std::nullopt;
  return uri;
}

std::optional<Bstr> ElementHandle::TagName() const noexcept {
  Bstr name;
  if (!element_ || FAILED(element_->get_tagName(name.Put()))) return std::nullopt;
  return name;
}

AttributeValue ElementHandle::Attribute(FixedName name) const {
  Variant value;
  if (!element_) return {AttributeValue::State::kFailed, std::move(value)};
  const DomName attributeName(name);
  if (FAILED(element_->getAttribute(attributeName.Get(), value.Put()))) {
    return {AttributeValue::State::kFailed, std::move(value)};
  }
  const auto state =
      value.IsNull() ? AttributeValue::State::kAbsent : AttributeValue::State::kPresent;
  return {state, std::move(value)};
}

}  // namespace quenlo::confext
