// A list of agenda records: every "subject" element below a reply's query element, collected
// once when the list is built. Each item handed out is a new AgendaReply over its subject.
#pragma once

#include <quenlo/agenda.h>

#include <vector>

#include "component/result_object.h"

namespace quenlo::confext {

class AgendaList final : public ResultObject<AgendaList, IAgendaList> {
 public:
  explicit AgendaList(IXMLDOMElement* query) noexcept : ResultObject(query) {}

  // Collects the subjects in document order, at any depth. False when there are none or the
  // DOM failed part-way (the subjects found before the failure are kept).
  bool Load() override;

  // The number of subjects held. E_POINTER for a null output.
  HRESULT STDMETHODCALLTYPE GetCount(LONG* count) override;
  // 0 and a new record over the subject at index (zero-based), owned by the caller; 1 with the
  // output untouched when index is out of range. E_OUTOFMEMORY when the record cannot be made.
  HRESULT STDMETHODCALLTYPE GetItem(LONG index, IAgendaReply** item) override;

 private:
  ~AgendaList() override = default;

  // Indexed directly, so reading every item of a long list stays linear.
  std::vector<ComPtr<IXMLDOMElement>> subjects_;
};

}  // namespace quenlo::confext
