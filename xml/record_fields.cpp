#include "xml/record_fields.h"

#include "xml/element_absence.h"
#include "xml/element_cursor.h"

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

// Every element below record in document order with its tag name, by a walk of at most `budget`
// nodes where walk is set, otherwise at most `budget` elements from the DOM's list of every
// element. Settled when visit asked for no more or the subtree ended.
WalkOutcome PassElements(IXMLDOMElement* record, int budget, bool walk,
                         const ElementVisitor& visit) {
  if (walk) return WalkForElements(record, kEveryElement.View(), budget, visit);
  ElementCursor every(record, kEveryElement, 0);
  for (int handed = 0;; ++handed) {
    ComPtr<IXMLDOMNode> next = every.NextNode();
    if (!next) return every.Failed() ? WalkOutcome::kUndecided : WalkOutcome::kSettled;
    Bstr name;
    if (handed == budget || FAILED(next->get_nodeName(name.Put()))) return WalkOutcome::kUndecided;
    if (!visit(std::move(next), name.View())) return WalkOutcome::kSettled;
  }
}

// Running out of memory is reported as such; any other failure of the DOM as `otherwise`.
HRESULT OutOfMemoryOr(HRESULT failure, HRESULT otherwise) noexcept {
  return failure == E_OUTOFMEMORY ? E_OUTOFMEMORY : otherwise;
}

}  // namespace

template <class Make>
bool RecordFields::MadeOnce(std::atomic<int>& stage, Make&& make) noexcept {
  int seen = stage.load(std::memory_order_acquire);
  if (seen == kNotMade && stage.compare_exchange_strong(seen, kMaking)) {
    make();
    stage.store(kMade, std::memory_order_release);
    return true;
  }
  return seen == kMade;
}

std::optional<Bstr> RecordFields::TextOf(IXMLDOMElement* record, std::size_t index) const noexcept {
  Bstr text;
  if (ReadText(record, index, text) != S_OK) return std::nullopt;
  return text;
}

HRESULT RecordFields::ReadText(IXMLDOMElement* record, std::size_t index,
                               Bstr& text) const noexcept {
  ComPtr<IXMLDOMNode> own;
  IXMLDOMNode* node = nullptr;
  const HRESULT found = FieldNode(record, index, own, node);
  if (found != S_OK) return found;
  Bstr read;
  const HRESULT status = node->get_text(read.Put());
  if (FAILED(status)) return OutOfMemoryOr(status, S_FALSE);
  text = std::move(read);
  return S_OK;
}

HRESULT RecordFields::CopyTextOf(IXMLDOMElement* record, std::size_t index,
                                 BSTR* text) const noexcept {
  if (text == nullptr) return E_POINTER;
  Bstr read;
  const HRESULT status = ReadText(record, index, read);
  if (status == S_OK) *text = read.Detach();
  return status;
}

HRESULT RecordFields::FieldNode(IXMLDOMElement* record, std::size_t index, ComPtr<IXMLDOMNode>& own,
                                IXMLDOMNode*& node) const noexcept {
  if (MadeOnce(pass_, [&] { MakePass(record); })) {
    if (fields_[index] == FieldState::kFound) {
      node = elements_[index].Get();
      return S_OK;
    }
    if (fields_[index] == FieldState::kAbsent) return S_FALSE;
    if (walk_ && MadeOnce(absences_, [&] { ProveAbsences(record); }) && provenAbsent_[index]) {
      return S_FALSE;
    }
  }
  // Another thread is making the pass, or the pass left the field unsettled: the DOM's list of
  // the tag answers, as for a lookup whose walk gave up.
  ElementCursor matches(record, tags_.tags[index], 0);
  own = matches.NextNode();
  node = own.Get();
  if (own) return S_OK;
  return matches.Failed() ? OutOfMemoryOr(matches.Failure(), S_FALSE) : S_FALSE;
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
      if (fields_[index] == FieldState::kUnsettled && SameName(tags_.tags[index].View(), name)) {
        elements_[index] = std::move(element);
        fields_[index] = FieldState::kFound;
        --unsettled;
        break;
      }
    }
    return unsettled > 0;
  };
  try {
    if (PassElements(record, kElementsPassed, walk_, take) != WalkOutcome::kSettled) {
      return;
    }
  } catch (...) {
    return;  // what was found stays: each was the first of its tag when it was found
  }
  for (std::size_t index = 0; index < tags_.tags.size(); ++index) {
    if (fields_[index] == FieldState::kUnsettled) fields_[index] = FieldState::kAbsent;
  }
}

void RecordFields::ProveAbsences(IXMLDOMElement* record) const noexcept {
  Bstr xml;
  if (record == nullptr || FAILED(record->get_xml(xml.Put()))) return;
  for (std::size_t index = 0; index < tags_.tags.size(); ++index) {
    provenAbsent_[index] = fields_[index] == FieldState::kUnsettled &&
                           XmlTextLacksElement(xml.View(), tags_.tags[index].View());
  }
}

}  // namespace quenlo::confext
