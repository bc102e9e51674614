// Builders of request packets. Each hands back the new element with one reference for the caller,
// or an empty pointer when the shared document cannot be created or a DOM call fails, including
// setting an attribute or text that XML cannot carry and appending to the parent: nothing
// unsendable or incomplete is ever built. Only allocation failures raise
// _com_error(E_OUTOFMEMORY). Null texts stand for empty ones.
#pragma once

#include "component/bstr.h"
#include "component/com_ptr.h"
#include "component/ole_text.h"
#include "xml/dom_name.h"

namespace quenlo::confext {

// An "iq" element with the attributes "type", "to" and "id", in that order. Like every builder
// here, it hands the DOM its texts in `scratch` (see Bstr::Rewrite).
ComPtr<IXMLDOMElement> CreateIq(OleText to, OleText type, OleText id, Bstr& scratch);

// A "query" element with "type" (left out when empty) and then "xmlns", appended as the last
// child of iq.
ComPtr<IXMLDOMElement> AddQuery(IXMLDOMElement* iq, OleText queryNamespace, OleText type,
                                Bstr& scratch);

// An element whose content is text (none when empty), appended as the last child of parent
// when one is given.
ComPtr<IXMLDOMElement> AddChild(IXMLDOMElement* parent, FixedName tag, OleText text, Bstr& scratch);

// Sets a string attribute; false when the DOM refuses it.
bool SetAttributeText(IXMLDOMElement* element, FixedName name, OleText value, Bstr& scratch);

// Writes below one request element, keeping the first failure: once a call fails, every later
// call on this writer, on the writer it was opened from and on those opened from it does nothing,
// and Ok() is false for all of them. A command then reads as the packet it builds and tests the
// outcome once, before sending. Allocation failures still raise _com_error(E_OUTOFMEMORY).
// A writer opened from another must not outlive it, and a writer must not move once writers
// were opened from it.
class ElementWriter {
 public:
  // An empty element gives a writer that has failed already. The writers opened from this one
  // hand the DOM their texts in `scratch`, which may come from the builders of its element.
  explicit ElementWriter(ComPtr<IXMLDOMElement> element, Bstr scratch = {}) noexcept;

  // Appends an element with that text (no content when empty). Returns this writer.
  ElementWriter& Add(FixedName tag, OleText text);
  // Sets a string attribute on this writer's element. Returns this writer.
  ElementWriter& Set(FixedName name, OleText value);
  // Appends an element with that text and returns a writer for it.
  [[nodiscard]] ElementWriter Open(FixedName tag, OleText text = nullptr);

  bool Ok() const noexcept;
  IXMLDOMElement* Get() const noexcept { return element_.Get(); }

 private:
  ElementWriter(ComPtr<IXMLDOMElement> element, ElementWriter* parent) noexcept;
  // Marks this writer and every writer it was opened from as failed.
  void Fail() noexcept;
  // The string that every writer of one request hands its texts to the DOM in: the first
  // writer's.
  Bstr& Scratch() noexcept;

  ComPtr<IXMLDOMElement> element_;
  ElementWriter* parent_ = nullptr;
  bool failed_ = false;
  Bstr scratch_;  // used in the first writer only
};

}  // namespace quenlo::confext
