// The voting feature: commands and the result objects announced to the host.
#pragma once

#include <quenlo/session.h>

// Every string argument may be null, which stands for the empty string. Each operation
// returns 0 when the request was handed to the host (or the collection changed), else 1: no
// room name set, no host attached, a text XML cannot carry (control characters other than tab,
// CR and LF, lone surrogates, U+FFFE, U+FFFF), or no XML document (COM not initialised on
// the calling thread, see host.h). Nothing waits for the answer: it arrives through OnPacket.
// Texts are copied into the request unchanged: the server's XML reader reads each one exactly as
// given, line breaks (CR, LF, CR LF), tabs, spaces at the ends and markup characters included,
// on Windows as on POSIX (each platform's serialiser writes what XML would change as a character
// reference).
struct IVotingCommands : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Apply(const OLECHAR* id) = 0;
  virtual HRESULT STDMETHODCALLTYPE Delete(const OLECHAR* id, const OLECHAR* qid) = 0;
  virtual HRESULT STDMETHODCALLTYPE AddReferSubject(const OLECHAR* id, const OLECHAR* index,
                                                    const OLECHAR* text) = 0;
  virtual HRESULT STDMETHODCALLTYPE Start(const OLECHAR* id, const OLECHAR* qid) = 0;
  virtual HRESULT STDMETHODCALLTYPE Refer(const OLECHAR* id, const OLECHAR* qid,
                                          const OLECHAR* caption) = 0;
  virtual HRESULT STDMETHODCALLTYPE ClearReferSubjects(const OLECHAR* id) = 0;
  virtual HRESULT STDMETHODCALLTYPE Content(const OLECHAR* id, const OLECHAR* qid) = 0;
  virtual HRESULT STDMETHODCALLTYPE ShowAll(const OLECHAR* id) = 0;
  virtual HRESULT STDMETHODCALLTYPE End(const OLECHAR* id, const OLECHAR* qid) = 0;
  virtual HRESULT STDMETHODCALLTYPE Kithe(const OLECHAR* id, const OLECHAR* qid) = 0;
  virtual HRESULT STDMETHODCALLTYPE Result(const OLECHAR* id, const OLECHAR* qid) = 0;
  virtual HRESULT STDMETHODCALLTYPE AddVotingSubject(const OLECHAR* text) = 0;
  virtual HRESULT STDMETHODCALLTYPE Voting(const OLECHAR* id, const OLECHAR* qid) = 0;

 protected:
  ~IVotingCommands() = default;
};
inline const IID& InterfaceIdOf(IVotingCommands**) noexcept { return IID_IVotingCommands; }

// The result objects announced through SessionHost::RaiseEvent (host.h says which event
// carries which). Accessors return 0 when the value was delivered and 1 when it is not there,
// leaving the output alone; a null output pointer gives E_POINTER. BSTR outputs belong to the
// caller, who frees them with SysFreeString; const OLECHAR* outputs belong to the object and
// stay valid while the caller holds a reference. GetMulti and GetReg write 1 for "true" and 0
// for "false" (any letter case) and leave the output alone for any other text, still
// returning 0, so a host initialises it. Numbers are read as C's atoi reads them.
struct IVotingReply : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetQid(BSTR* qid) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetCaption(BSTR* caption) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetMulti(LONG* multi) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetReg(LONG* reg) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetSubjectCount(LONG* count) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetTimeout(LONG* timeout) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetSubject(LONG position, const OLECHAR** text) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetCode(BSTR* code) = 0;

 protected:
  ~IVotingReply() = default;
};
inline const IID& InterfaceIdOf(IVotingReply**) noexcept { return IID_IVotingReply; }

struct IVotingSubjectList : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetCount(LONG* count) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetItem(LONG position, BSTR* text, BSTR* id, LONG* type) = 0;

 protected:
  ~IVotingSubjectList() = default;
};
inline const IID& InterfaceIdOf(IVotingSubjectList**) noexcept { return IID_IVotingSubjectList; }

struct IVotingDetail : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetQid(BSTR* qid) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetCaption(BSTR* caption) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetMulti(LONG* multi) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetReg(LONG* reg) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetCount(LONG* count) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetSubjectCount(LONG* count) = 0;
  // Returns 1 when both outputs were written, 0 when the position or its index is unknown.
  virtual HRESULT STDMETHODCALLTYPE GetSubjectResult(LONG position, LONG* votes,
                                                     const OLECHAR** name) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetVoter(const OLECHAR* name, LONG position,
                                             const OLECHAR** voter) = 0;

 protected:
  ~IVotingDetail() = default;
};
inline const IID& InterfaceIdOf(IVotingDetail**) noexcept { return IID_IVotingDetail; }
