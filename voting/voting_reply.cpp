#include "voting/voting_reply.h"

#include "component/variant.h"
#include "session/wide_string.h"
#include "voting/attribute_text.h"
#include "voting/key_order.h"
#include "voting/reply_fields.h"
#include "xml/attribute_reader.h"
#include "xml/element_lookup.h"

bool VotingReply::Load() {
  std::vector<ComPtr<IXMLDOMElement>> elements;
  if (!FindElements(Element(), OLESTR("subject"), elements)) return false;
  bool complete = true;
  for (const ComPtr<IXMLDOMElement>& element : elements) {
    Bstr text;
    Variant index;
    if (FAILED(element->get_text(text.Put())) ||
        !ReadAttribute(element.Get(), OLESTR("index"), index)) {
      complete = false;
      break;
    }
    subjects_.push_back({AttributeText(index), std::move(text)});
  }

  std::vector<OleStringView> indexes;
  indexes.reserve(subjects_.size());
  for (const Subject& subject : subjects_) indexes.push_back(subject.index);
  const KeyOrder order = OrderKeys(indexes);
  // A reply read only in part keeps its document order.
  positions_.reserve(subjects_.size());
  for (std::size_t rank = 0; rank < subjects_.size(); ++rank) {
    const std::size_t position = complete ? order.sorted[rank] : rank;
    positions_.push_back(&subjects_[order.first[position]].text);
  }
  return complete;
}

HRESULT STDMETHODCALLTYPE VotingReply::GetQid(BSTR* qid) {
  return ReadTextField(Element(), OLESTR("qid"), qid);
}

HRESULT STDMETHODCALLTYPE VotingReply::GetCaption(BSTR* caption) {
  return ReadTextField(Element(), OLESTR("caption"), caption);
}

HRESULT STDMETHODCALLTYPE VotingReply::GetMulti(LONG* multi) {
  return ReadTruthField(Element(), OLESTR("multi"), multi);
}

HRESULT STDMETHODCALLTYPE VotingReply::GetReg(LONG* reg) {
  return ReadTruthField(Element(), OLESTR("reg"), reg);
}

HRESULT STDMETHODCALLTYPE VotingReply::GetTimeout(LONG* timeout) {
  return ReadIntegerField(Element(), OLESTR("timeout"), timeout);
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
    Variant value;
    if (!ReadAttribute(Element(), OLESTR("code"), value) || value.IsNull()) return S_FALSE;
    *code = WideString::FromVariant(value.Get()).Copy().Detach();
    return S_OK;
  } catch (const _com_error& error) {
    return error.Error();
  }
}
