#include "agenda/agenda_reply.h"

namespace quenlo::confext {

HRESULT AgendaReply::CopyFieldTo(Field field, BSTR* text) const {
  return fields_.CopyTextOf(Element(), field, text);
}

HRESULT STDMETHODCALLTYPE AgendaReply::GetText(BSTR* text) { return CopyFieldTo(kText, text); }

HRESULT STDMETHODCALLTYPE AgendaReply::GetTime(BSTR* time) { return CopyFieldTo(kTime, time); }

HRESULT STDMETHODCALLTYPE AgendaReply::GetQid(BSTR* qid) { return CopyFieldTo(kQid, qid); }

HRESULT STDMETHODCALLTYPE AgendaReply::GetType(BSTR* type) { return CopyFieldTo(kType, type); }

HRESULT STDMETHODCALLTYPE AgendaReply::GetValue(BSTR* value) { return CopyFieldTo(kValue, value); }

HRESULT STDMETHODCALLTYPE AgendaReply::GetCode(BSTR* code) { return CopyFieldTo(kCode, code); }

HRESULT STDMETHODCALLTYPE AgendaReply::GetStyle(BSTR* style) { return CopyFieldTo(kStyle, style); }

}  // namespace quenlo::confext
