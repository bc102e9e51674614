// The fields of a record: the first element of each of a few tags below one element, as
// FindElementNode finds each, for a result object whose host reads them one after the other.
// The first read finds them all in one pass over the record's first elements in document order:
// a lookup per field costs the DOM a list (or a walk from the record's start) and a reference
// counted up and down on everything it hands out, every time. A field the pass did not settle
// (it looks at a few elements only, as far as a record's own fields lie, and gives up on a DOM
// failure) is looked up on its own whenever it is read.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "component/bstr.h"
#include "component/com_ptr.h"
#include "xml/dom_name.h"

namespace quenlo::confext {

// The tags of one kind of record, kept for the life of the process (a static of its class).
struct FieldTags {
  std::span<const FixedName> tags;
  // Set once the names the DOM's calls take for the tags have been made (dom_name.h): before the
  // first pass, so that which names the module keeps does not depend on how far any pass gets.
  std::atomic<bool> namesMade{false};
};

class RecordFields {
 public:
  static constexpr std::size_t kMostFields = 8;

  // At most kMostFields distinct tags.
  explicit RecordFields(FieldTags& tags) noexcept : tags_(tags) {}
  RecordFields(const RecordFields&) = delete;
  RecordFields& operator=(const RecordFields&) = delete;

  // The text of field `index` below record, as ElementHandle(record).TextOf(tags[index]) and
  // CopyTextOf give it. record is the same element at every call.
  std::optional<Bstr> TextOf(IXMLDOMElement* record, std::size_t index) const noexcept;
  HRESULT CopyTextOf(IXMLDOMElement* record, std::size_t index, BSTR* text) const noexcept;

 private:
  enum class Field : std::uint8_t { kUnsettled, kFound, kAbsent };
  enum Pass : int { kNotMade, kMaking, kMade };

  // The field's element, or null for an absent one; false when the pass left it unsettled, or
  // another thread is making the pass.
  bool Settled(IXMLDOMElement* record, std::size_t index, IXMLDOMNode*& found) const noexcept;
  void MakePass(IXMLDOMElement* record) const noexcept;

  FieldTags& tags_;
  // Result objects are read on any thread without a lock: the thread that makes the pass
  // publishes it, and a reader that finds it under way looks its field up on its own.
  mutable std::atomic<int> pass_{kNotMade};
  mutable std::array<ComPtr<IXMLDOMNode>, kMostFields> elements_;
  mutable std::array<Field, kMostFields> fields_{};
};

}  // namespace quenlo::confext
