// The fields of a record: the first element of each of a few tags below one element, as
// FindElement finds each, for a result object whose host reads them one after the other.
// The first read finds them all in one pass over the record's first elements in document order:
// a lookup per field costs the DOM a list (or a walk from the record's start) and a reference
// counted up and down on everything it hands out, every time. A field the pass did not settle
// (it looks at a few elements only, as far as a record's own fields lie, and gives up on a DOM
// failure) is read from the DOM's list of its tag whenever it is read. Where the pass walks
// (msxml, whose lists cost the whole subtree), the record's text is first written out once, at
// the first such read, and every field it proves absent is settled (element_absence.h): a large
// reply lacking several fields costs one text instead of one per field.
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
#include "xml/element_walk.h"

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

  // At most kMostFields distinct tags. walk: the pass walks from node to node (element_walk.h),
  // rather than reading the DOM's list of every element.
  explicit RecordFields(FieldTags& tags, bool walk = kNodesWalked > 0) noexcept
      : tags_(tags), walk_(walk) {}
  RecordFields(const RecordFields&) = delete;
  RecordFields& operator=(const RecordFields&) = delete;

  // The text of field `index` below record, as ElementHandle(record).TextOf(tags[index]) gives
  // it. record is the same element at every call. ReadText and CopyTextOf answer S_OK with the
  // text, S_FALSE when the record has no such field (or the DOM fails to give it), and
  // E_OUTOFMEMORY, the output untouched, when memory ran out finding or reading it: a field that
  // is there must not read as missing.
  std::optional<Bstr> TextOf(IXMLDOMElement* record, std::size_t index) const noexcept;
  HRESULT ReadText(IXMLDOMElement* record, std::size_t index, Bstr& text) const noexcept;
  HRESULT CopyTextOf(IXMLDOMElement* record, std::size_t index, BSTR* text) const noexcept;

 private:
  enum class FieldState : std::uint8_t { kUnsettled, kFound, kAbsent };
  enum Stage : int { kNotMade, kMaking, kMade };

  // Runs make for the first caller and publishes what it wrote; true once it has run, false
  // while another thread is running it.
  template <class Make>
  static bool MadeOnce(std::atomic<int>& stage, Make&& make) noexcept;
  // S_OK and the field's element in `node` (the pass's, or else looked up into `own`); S_FALSE
  // when it is absent; E_OUTOFMEMORY when the lookup ran out of memory.
  HRESULT FieldNode(IXMLDOMElement* record, std::size_t index, ComPtr<IXMLDOMNode>& own,
                    IXMLDOMNode*& node) const noexcept;
  void MakePass(IXMLDOMElement* record) const noexcept;
  void ProveAbsences(IXMLDOMElement* record) const noexcept;

  FieldTags& tags_;
  const bool walk_;
  // Result objects are read on any thread without a lock: the thread that makes a stage (the
  // pass, then the proof of absences) publishes it, and a reader that finds it under way looks
  // its field up on its own.
  mutable std::atomic<int> pass_{kNotMade};
  mutable std::array<ComPtr<IXMLDOMNode>, kMostFields> elements_;
  mutable std::array<FieldState, kMostFields> fields_{};
  mutable std::atomic<int> absences_{kNotMade};
  mutable std::array<bool, kMostFields> provenAbsent_{};
};

}  // namespace quenlo::confext
