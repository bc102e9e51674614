#include "voting/voting_subject_list.h"

#include "session/integer_text.h"
#include "voting/key_order.h"
#include "xml/element_handle.h"
#include "xml/element_lookup.h"

namespace quenlo::confext {

bool VotingSubjectList::Load() {
  std::vector<ComPtr<IXMLDOMElement>> elements;
  if (!FindElements(Element(), OLESTR("subject"), elements)) return false;
  std::vector<Entry> read;
  bool complete = true;
  for (const ComPtr<IXMLDOMElement>& element : elements) {
    const ElementHandle subject(element.Get());  // borrowed: the list holds the element
    const AttributeValue id = subject.Attribute(OLESTR("id"));
    if (id.Failed()) {
      complete = false;
      break;
    }
    const AttributeValue type = subject.Attribute(OLESTR("type"));
    if (type.Failed()) {
      complete = false;
      break;
    }
    std::optional<Bstr> text = subject.Text();
    if (!text) {
      complete = false;
      break;
    }
    const LONG typeValue = ParseIntegerText(type.Text());
    read.push_back({OleString(id.Text()), std::move(*text), typeValue});
  }

  const KeyOrder order =
      OrderKeys(read.size(), [&read](std::size_t at) -> OleStringView { return read[at].id; });
  for (std::size_t rank = 0; rank < read.size(); ++rank) {
    const std::size_t position = order.SortedAt(rank);
    if (order.FirstAt(position) == position) entries_.push_back(std::move(read[position]));
  }
  return complete;
}

HRESULT STDMETHODCALLTYPE VotingSubjectList::GetCount(LONG* count) {
  if (count == nullptr) return E_POINTER;
  *count = static_cast<LONG>(entries_.size());
  return S_OK;
}

HRESULT STDMETHODCALLTYPE VotingSubjectList::GetItem(LONG position, BSTR* text, BSTR* id,
                                                     LONG* type) {
  if (text == nullptr || id == nullptr || type == nullptr) return E_POINTER;
  if (position < 0 || static_cast<std::size_t>(position) >= entries_.size()) return S_FALSE;
  const Entry& entry = entries_[static_cast<std::size_t>(position)];
  Bstr textCopy = Bstr::TryCopy(entry.text.View());
  Bstr idCopy = Bstr::TryCopy(entry.id);
  if (textCopy.Get() == nullptr || idCopy.Get() == nullptr) return E_OUTOFMEMORY;
  *text = textCopy.Detach();
  *id = idCopy.Detach();
  *type = entry.type;
  return S_OK;
}

}  // namespace quenlo::confext
