// A received element as the module reads it, null-safe in the manner of a null node: a lookup
// on an empty handle gives an empty handle, so a chain of lookups is tested once, at its end.
// Elements and texts that are missing or that the DOM fails to give read as nothing; attributes
// tell a value, an absent attribute and a failed DOM call apart (AttributeValue). Lookups are
// those of element_lookup.h (which says when to use which): exact tags, any depth below, document
// order.
#pragma once

#include <optional>
#include <utility>

#include "component/bstr.h"
#include "component/com_ptr.h"
#include "component/variant.h"
#include "xml/element_cursor.h"

namespace quenlo::confext {

// One attribute as read from an element.
class AttributeValue {
 public:
  enum class State { kPresent, kAbsent, kFailed };

  AttributeValue(State state, Variant value) noexcept : state_(state), value_(std::move(value)) {}

  bool Present() const noexcept { return state_ == State::kPresent; }
  bool Absent() const noexcept { return state_ == State::kAbsent; }
  bool Failed() const noexcept { return state_ == State::kFailed; }

  // The value as text, valid while this object lives. A string value is taken as it is; any
  // other goes through the platform's variant conversion, whose failure raises _com_error. An
  // absent attribute is a null value, which does not convert: callers that must not fail on
  // absence test Present() first.
  OleStringView Text() const;

 private:
  State state_;
  mutable Variant value_;  // made a string by the first Text()
};

// The text of a node, null-safe: nothing for a null node or a failed DOM call.
std::optional<Bstr> TextOfNode(IXMLDOMNode* node) noexcept;
// TextOfNode handed to an out-parameter, as ElementHandle::CopyTextTo.
HRESULT CopyTextOfNode(IXMLDOMNode* node, BSTR* text) noexcept;

class ElementHandle {
 public:
  ElementHandle() noexcept = default;
  // Borrows the element, which may be null, without a reference of its own: the caller keeps
  // the element for as long as the handle lives, as a result object keeps its reply while its
  // accessors read it. A reference counted up and down is a locked step each way, as much as a
  // lookup's own work.
  explicit ElementHandle(IXMLDOMElement* element) noexcept : element_(element) {}
  // Holds the element, which may be null.
  explicit ElementHandle(ComPtr<IXMLDOMElement> element) noexcept
      : held_(std::move(element)), element_(held_.Get()) {}

  explicit operator bool() const noexcept { return element_ != nullptr; }
  IXMLDOMElement* Get() const noexcept { return element_; }

  // The first element with that tag below this one.
  ElementHandle First(FixedName tag) const noexcept;
  // The elements with that tag below this one, one at a time.
  ElementCursor Each(FixedName tag) const noexcept { return {element_, tag}; }

  // The concatenated text of this element and its descendants.
  std::optional<Bstr> Text() const noexcept;
  // Text() handed to an out-parameter: 0 and a new string owned by the caller, or 1 with the
  // output untouched when there is no text; E_POINTER for a null output.
  HRESULT CopyTextTo(BSTR* text) const noexcept;
  // First(tag).Text() and First(tag).CopyTextTo(text).
  std::optional<Bstr> TextOf(FixedName tag) const noexcept;
  HRESULT CopyTextOf(FixedName tag, BSTR* text) const noexcept;
  // This element's namespace URI (empty when it has none).
  std::optional<Bstr> NamespaceUri() const noexcept;
  std::optional<Bstr> TagName() const noexcept;

  // Throws _com_error(E_OUTOFMEMORY) when the name cannot be made for the DOM.
  AttributeValue Attribute(FixedName name) const;

 private:
  ComPtr<IXMLDOMElement> held_;  // empty for a borrowed element
  IXMLDOMElement* element_ = nullptr;
};

}  // namespace quenlo::confext
