// The agenda feature: commands and the records announced to the host.
#pragma once

#include <quenlo/session.h>

// Every string argument may be null, which stands for the empty string. Each operation
// returns 0 when the request was handed to the host, else 1: no room name set, no host
// attached, a text XML cannot carry (control characters other than tab, CR and LF, lone
// surrogates, U+FFFE, U+FFFF), or no XML document (COM not initialised on the calling thread,
// see host.h). Nothing waits for the answer: it arrives through OnPacket.
// Texts are copied into the request unchanged: the server's XML reader reads each one exactly as
// given, line breaks (CR, LF, CR LF), tabs, spaces at the ends and markup characters included,
// on Windows as on POSIX (each platform's serialiser writes what XML would change as a character
// reference).
struct IAgendaCommands : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Create(const OLECHAR* id, const OLECHAR* qid,
                                           const OLECHAR* text, const OLECHAR* time,
                                           const OLECHAR* type, const OLECHAR* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE Delete(const OLECHAR* id, const OLECHAR* qid) = 0;
  virtual HRESULT STDMETHODCALLTYPE Modify(const OLECHAR* id, const OLECHAR* qid,
                                           const OLECHAR* text, const OLECHAR* time,
                                           const OLECHAR* type, const OLECHAR* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE Sync(const OLECHAR* id, const OLECHAR* qid) = 0;
  virtual HRESULT STDMETHODCALLTYPE Browse(const OLECHAR* id) = 0;
  virtual HRESULT STDMETHODCALLTYPE Request(const OLECHAR* id) = 0;

 protected:
  ~IAgendaCommands() = default;
};
inline const IID& InterfaceIdOf(IAgendaCommands**) noexcept { return IID_IAgendaCommands; }

// The records announced through SessionHost::RaiseEvent (host.h says which event carries
// which). Each accessor delivers the text of the first element of its name below the record
// (0), or returns 1 and leaves the output alone; a null output pointer gives E_POINTER. The
// caller frees the string with SysFreeString.
struct IAgendaReply : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetText(BSTR* text) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetTime(BSTR* time) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetQid(BSTR* qid) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetType(BSTR* type) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetValue(BSTR* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetCode(BSTR* code) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetStyle(BSTR* style) = 0;

 protected:
  ~IAgendaReply() = default;
};
inline const IID& InterfaceIdOf(IAgendaReply**) noexcept { return IID_IAgendaReply; }

struct IAgendaList : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetCount(LONG* count) = 0;
  // A new record over the entry, with one reference for the caller.
  virtual HRESULT STDMETHODCALLTYPE GetItem(LONG index, IAgendaReply** item) = 0;

 protected:
  ~IAgendaList() = default;
};
inline const IID& InterfaceIdOf(IAgendaList**) noexcept { return IID_IAgendaList; }
