#include "agenda/agenda_reply.h"

#include "xml/element_handle.h"

namespace quenlo::confext {

HRESULT AgendaReply::CopyFieldTo(FixedName tag, BSTR* text) const {
  return ElementHandle(Element()).CopyTextOf(tag, text);
}

HRESULT STDMETHODCALLTYPE AgendaReply::GetText(BSTR* text) {
  return CopyFieldTo(OLESTR("text"), text);
}

HRESULT STDMETHODCALLTYPE AgendaReply::GetTime(BSTR* time) {
  return CopyFieldTo(OLESTR("time"), time);
}

HRESULT STDMETHODCALLTYPE AgendaReply::GetQid(BSTR* qid) { return CopyFieldTo(OLESTR("qid"), qid); }

HRESULT STDMETHODCALLTYPE AgendaReply::GetType(BSTR* type) {
  return CopyFieldTo(OLESTR("type"), type);
}

HRESULT STDMETHODCALLTYPE AgendaReply::GetValue(BSTR* value) {
  return CopyFieldTo(OLESTR("value"), value);
}

HRESULT STDMETHODCALLTYPE AgendaReply::GetCode(BSTR* code) {
  return CopyFieldTo(OLESTR("code"), code);
}

HRESULT STDMETHODCALLTYPE AgendaReply::GetStyle(BSTR* style) {
  return CopyFieldTo(OLESTR("style"), style);
}

}  // namespace quenlo::confext
