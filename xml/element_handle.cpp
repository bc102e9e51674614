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

std::optional<Bstr> ElementHandle::Text() const noexcept {
  Bstr text;
  if (!element_ || FAILED(element_->get_text(text.Put()))) return std::nullopt;
  return text;
}

HRESULT ElementHandle::CopyTextTo(BSTR* text) const noexcept {
  if (text == nullptr) return E_POINTER;
  std::optional<Bstr> found = Text();
  if (!found) return S_FALSE;
  *text = found->Detach();
  return S_OK;
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
