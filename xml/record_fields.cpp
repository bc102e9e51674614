#include "xml/record_fields.h"

#include "xml/element_handle.h"
#include "xml/element_walk.h"

namespace quenlo::confext {
namespace {

// How far a pass looks (elements, or nodes where it walks): a record's own fields come before
// anything nested in them, and a pass over a large reply (a tally's subjects and voters) is cut
// short instead of reading it all.
constexpr int kElementsPassed = 32;

// Short names that mostly differ early (a record's tags against each other): inline, where a
// comparison through char_traits or memcmp is a call per tag.
bool SameName(OleStringView tag, OleStringView name) noexcept {
  if (tag.size() != name.size()) return false;
  for (std::size_t at = 0; at < tag.size(); ++at) {
    if (tag[at] != name[at]) return false;
  }
  return true;
}

}  // namespace

std::optional<Bstr> RecordFields::TextOf(IXMLDOMElement* record, std::size_t index) const noexcept {
  IXMLDOMNode* found = nullptr;
  if (!Settled(record, index, found)) return ElementHandle(record).TextOf(tags_.tags[index]);
  return TextOfNode(found);
}

HRESULT RecordFields::CopyTextOf(IXMLDOMElement* record, std::size_t index,
                                 BSTR* text) const noexcept {
  IXMLDOMNode* found = nullptr;
  if (!Settled(record, index, found)) {
    return ElementHandle(record).CopyTextOf(tags_.tags[index], text);
  }
  return CopyTextOfNode(found, text);
}

bool RecordFields::Settled(IXMLDOMElement* record, std::size_t index,
                           IXMLDOMNode*& found) const noexcept {
  int pass = pass_.load(std::memory_order_acquire);
  if (pass == kNotMade && pass_.compare_exchange_strong(pass, kMaking)) {
    MakePass(record);
    pass_.store(kMade, std::memory_order_release);
    pass = kMade;
  }
  if (pass != kMade || fields_[index] == Field::kUnsettled) return false;
  found = elements_[index].Get();
  return true;
}

void RecordFields::MakePass(IXMLDOMElement* record) const noexcept {
  if (record == nullptr) return;  // every field is looked up, and found missing, on its own
  if (!tags_.namesMade.load(std::memory_order_acquire)) {
    try {
      for (const FixedName tag : tags_.tags) const DomName kept(tag);
    } catch (...) {
      return;  // each field then makes its name, or fails, in a lookup of its own
    }
    tags_.namesMade.store(true, std::memory_order_release);
  }
  std::size_t unsettled = tags_.tags.size();
  const auto take = [&](ComPtr<IXMLDOMNode> element, OleStringView name) {
    for (std::size_t index = 0; index < tags_.tags.size(); ++index) {
      if (fields_[index] == Field::kUnsettled && SameName(tags_.tags[index].View(), name)) {
        elements_[index] = std::move(element);
        fields_[index] = Field::kFound;
        --unsettled;
        break;
      }
    }
    return unsettled > 0;
  };
  try {
    if (VisitElements(record, kElementsPassed, kNodesWalked > 0, take) != WalkOutcome::kSettled) {
      return;
    }
  } catch (...) {
    return;  // what was found stays: each was the first of its tag when it was found
  }
  for (std::size_t index = 0; index < tags_.tags.size(); ++index) {
    if (fields_[index] == Field::kUnsettled) fields_[index] = Field::kAbsent;
  }
}

}  // namespace quenlo::confext
