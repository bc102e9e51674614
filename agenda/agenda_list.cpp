#include "agenda/agenda_list.h"

#include "agenda/agenda_reply.h"
#include "xml/element_lookup.h"

namespace quenlo::confext {

bool AgendaList::Load() { return FindElements(Element(), OLESTR("subject"), subjects_); }

HRESULT STDMETHODCALLTYPE AgendaList::GetCount(LONG* count) {
  if (count == nullptr) return E_POINTER;
  *count = static_cast<LONG>(subjects_.size());
  return S_OK;
}

HRESULT STDMETHODCALLTYPE AgendaList::GetItem(LONG index, IAgendaReply** item) {
  if (item == nullptr) return E_POINTER;
  if (index < 0 || static_cast<std::size_t>(index) >= subjects_.size()) return S_FALSE;
  ComPtr<IAgendaReply> record =
      AgendaReply::Create(subjects_[static_cast<std::size_t>(index)].Get());
  if (!record) return E_OUTOFMEMORY;
  *item = record.Detach();
  return S_OK;
}

}  // namespace quenlo::confext
