// The agenda feature: commands and the records announced to the host.
#pragma once

#include <quenlo/session.h>

namespace quenlo {

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
// (0), or returns 1 and leaves the output alone when the record has no such element; a null
// output pointer gives E_POINTER. One that cannot read an element because memory ran out (in
// the module or in the XML DOM) returns E_OUTOFMEMORY with the output untouched, as GetItem
// does, never 1: 1 tells the host the record lacks the field. None raises. The caller frees the
// string with SysFreeString.
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
  // 0 and a new record over the entry, with one reference for the caller; 1 with the output
  // untouched for an index outside the list; E_OUTOFMEMORY when the record cannot be made.
  virtual HRESULT STDMETHODCALLTYPE GetItem(LONG index, IAgendaReply** item) = 0;

#ifndef _WIN32
  // The same for a count declared long, as host code written for Windows may declare it
  // (platform/long_output.h).
  template <class Long, platform::IfLong<Long> = 0>
  HRESULT GetCount(Long* count) {
    return platform::ReadIntoLong<platform::LongWritten::kOnSuccess>(
        count, [this](LONG* value) { return GetCount(value); });
  }
#endif

 protected:
  ~IAgendaList() = default;
};
inline const IID& InterfaceIdOf(IAgendaList**) noexcept { return IID_IAgendaList; }

}  // namespace quenlo
