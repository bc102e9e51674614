#include "voting/voting_reply.h"

#include "voting/key_order.h"
#include "voting/reply_fields.h"
#include "xml/element_handle.h"
#include "xml/element_lookup.h"

namespace quenlo::confext {

bool VotingReply::Load() {
  std::vector<ComPtr<IXMLDOMElement>> elements;
  if (!FindElements(Element(), OLESTR("subject"), elements)) return false;
  bool complete = true;
  for (const ComPtr<IXMLDOMElement>& element : elements) {
    const ElementHandle subject(element.Get());  // borrowed: the list holds the element
    std::optional<Bstr> text = subject.Text();
    const AttributeValue index = subject.Attribute(OLESTR("index"));
    if (!text || index.Failed()) {
      complete = false;
      break;
    }
    subjects_.push_back({OleString(index.Text()), std::move(*text)});
  }

  const KeyOrder order = OrderKeys(
      subjects_.size(), [this](std::size_t at) -> OleStringView { return subjects_[at].index; });
  // A reply read only in part keeps its document order.
  positions_.reserve(subjects_.size());
  for (std::size_t rank = 0; rank < subjects_.size(); ++rank) {
    const std::size_t position = complete ? order.SortedAt(rank) : rank;
    positions_.push_back(&subjects_[order.FirstAt(position)].text);
  }
  return complete;
}

HRESULT STDMETHODCALLTYPE VotingReply::GetQid(BSTR* qid) {
  return fields_.CopyTextOf(Element(), kQid, qid);
}

HRESULT STDMETHODCALLTYPE VotingReply::GetCaption(BSTR* caption) {
  return fields_.CopyTextOf(Element(), kCaption, caption);
}

HRESULT STDMETHODCALLTYPE VotingReply::GetMulti(LONG* multi) {
  return CopyTruthTo(fields_, Element(), kMulti, multi);
}

HRESULT STDMETHODCALLTYPE VotingReply::GetReg(LONG* reg) {
  return CopyTruthTo(fields_, Element(), kReg, reg);
}

HRESULT STDMETHODCALLTYPE VotingReply::GetTimeout(LONG* timeout) {
  return CopyIntegerTo(fields_, Element(), kTimeout, timeout);
}

HRESULT STDMETHODCALLTYPE VotingReply::GetSubjectCount(LONG* count) {
  if (count == nullptr) return E_POINTER;
  *count = static_cast<LONG>(positions_.size());
  return S_OK;
}

HRESULT STDMETHODCALLTYPE VotingReply::GetSubject(LONG position, const OLECHAR** text) {
  if (text == nullptr) return E_POINTER;
  if (position < 0 || static_cast<std::size_t>(position) >= positions_.size()) return S_FALSE;
  *text = positions_[static_cast<std::size_t>(position)]->Get();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE VotingReply::GetCode(BSTR* code) {
  if (code == nullptr) return E_POINTER;
  try {
    const AttributeValue value = ElementHandle(Element()).Attribute(OLESTR("code"));
    if (!value.Present()) return S_FALSE;
    *code = Bstr::Copy(value.Text()).Detach();
    return S_OK;
  } catch (const _com_error& error) {
    return error.Error();
  }
}

}  // namespace quenlo::confext
