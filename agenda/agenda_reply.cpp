#include "agenda/agenda_reply.h"

#include "component/bstr.h"
#include "xml/element_lookup.h"

HRESULT AgendaReply::ReadField(const OLECHAR* tag, BSTR* text) const {
  if (text == nullptr) return E_POINTER;
  Bstr found;
  if (!GetElementText(Element(), tag, found)) return S_FALSE;
  *text = found.Detach();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE AgendaReply::GetText(BSTR* text) {
  return ReadField(OLESTR("text"), text);
}

HRESULT STDMETHODCALLTYPE AgendaReply::GetTime(BSTR* time) {
  return ReadField(OLESTR("time"), time);
}

HRESULT STDMETHODCALLTYPE AgendaReply::GetQid(BSTR* qid) { return ReadField(OLESTR("qid"), qid); }

HRESULT STDMETHODCALLTYPE AgendaReply::GetType(BSTR* type) {
  return ReadField(OLESTR("type"), type);
}

HRESULT STDMETHODCALLTYPE AgendaReply::GetValue(BSTR* value) {
  return ReadField(OLESTR("value"), value);
}

HRESULT STDMETHODCALLTYPE AgendaReply::GetCode(BSTR* code) {
  return ReadField(OLESTR("code"), code);
}

HRESULT STDMETHODCALLTYPE AgendaReply::GetStyle(BSTR* style) {
  return ReadField(OLESTR("style"), style);
}
