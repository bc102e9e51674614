// The voting feature: commands and the result objects announced to the host.
#pragma once

#include <quenlo/session.h>

namespace quenlo {

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
// leaving the output alone; a null output pointer gives E_POINTER. An accessor that cannot read
// a value because memory ran out (in the module or in the XML DOM) returns E_OUTOFMEMORY with
// the output untouched, never 1: 1 tells the host the reply has no such value, which it would
// then act on. It never raises. BSTR outputs belong to the caller, who frees them with
// SysFreeString; const OLECHAR* outputs belong to the object and stay valid while the caller
// holds a reference. GetMulti and GetReg write 1 for "true" and 0 for "false" (any letter case)
// and leave the output alone for any other text, still returning 0, so a host initialises it.
// Numbers are read as C's atoi reads them, held to the 32-bit range.
struct IVotingReply : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetQid(BSTR* qid) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetCaption(BSTR* caption) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetMulti(LONG* multi) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetReg(LONG* reg) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetSubjectCount(LONG* count) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetTimeout(LONG* timeout) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetSubject(LONG position, const OLECHAR** text) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetCode(BSTR* code) = 0;

#ifndef _WIN32
  // The same for outputs declared long, as host code written for Windows may declare them
  // (platform/long_output.h).
  template <class Long, platform::IfLong<Long> = 0>
  HRESULT GetMulti(Long* multi) {
    return platform::ReadIntoLong<platform::LongWritten::kChanged>(
        multi, [this](LONG* value) { return GetMulti(value); });
  }
  template <class Long, platform::IfLong<Long> = 0>
  HRESULT GetReg(Long* reg) {
    return platform::ReadIntoLong<platform::LongWritten::kChanged>(
        reg, [this](LONG* value) { return GetReg(value); });
  }
  template <class Long, platform::IfLong<Long> = 0>
  HRESULT GetSubjectCount(Long* count) {
    return platform::ReadIntoLong<platform::LongWritten::kOnSuccess>(
        count, [this](LONG* value) { return GetSubjectCount(value); });
  }
  template <class Long, platform::IfLong<Long> = 0>
  HRESULT GetTimeout(Long* timeout) {
    return platform::ReadIntoLong<platform::LongWritten::kOnSuccess>(
        timeout, [this](LONG* value) { return GetTimeout(value); });
  }
#endif

 protected:
  ~IVotingReply() = default;
};
inline const IID& InterfaceIdOf(IVotingReply**) noexcept { return IID_IVotingReply; }

struct IVotingSubjectList : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetCount(LONG* count) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetItem(LONG position, BSTR* text, BSTR* id, LONG* type) = 0;

#ifndef _WIN32
  // The same for outputs declared long (platform/long_output.h).
  template <class Long, platform::IfLong<Long> = 0>
  HRESULT GetCount(Long* count) {
    return platform::ReadIntoLong<platform::LongWritten::kOnSuccess>(
        count, [this](LONG* value) { return GetCount(value); });
  }
  template <class Long, platform::IfLong<Long> = 0>
  HRESULT GetItem(LONG position, BSTR* text, BSTR* id, Long* type) {
    return platform::ReadIntoLong<platform::LongWritten::kOnSuccess>(
        type, [&](LONG* value) { return GetItem(position, text, id, value); });
  }
#endif

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
  // Hosts test this status the other way round from every other accessor:
  // - 1 (S_FALSE) with both outputs written: the subject's number of votes and its name (the
  //   object's string) for the subject at that position in the order of the subjects' indexes;
  // - 1 with nothing written: the votes of the position's subject could not be read when the
  //   reply was loaded (the DOM failed there), and no other subject of its name was read;
  // - 0 (S_OK) with nothing written: the position is negative or past the last subject;
  // - E_POINTER for a null output.
  virtual HRESULT STDMETHODCALLTYPE GetSubjectResult(LONG position, LONG* votes,
                                                     const OLECHAR** name) = 0;
  // 0 and the voter at that position of the named subject (the object's string; null for a vote
  // the reply counted without a name); 1 with the output set to an empty string (not to be freed)
  // when no subject of the reply names its voters; 1 with nothing written for an unknown name
  // or a position outside its votes; E_POINTER for a null output.
  virtual HRESULT STDMETHODCALLTYPE GetVoter(const OLECHAR* name, LONG position,
                                             const OLECHAR** voter) = 0;

#ifndef _WIN32
  // The same for outputs declared long (platform/long_output.h).
  template <class Long, platform::IfLong<Long> = 0>
  HRESULT GetMulti(Long* multi) {
    return platform::ReadIntoLong<platform::LongWritten::kChanged>(
        multi, [this](LONG* value) { return GetMulti(value); });
  }
  template <class Long, platform::IfLong<Long> = 0>
  HRESULT GetReg(Long* reg) {
    return platform::ReadIntoLong<platform::LongWritten::kChanged>(
        reg, [this](LONG* value) { return GetReg(value); });
  }
  template <class Long, platform::IfLong<Long> = 0>
  HRESULT GetCount(Long* count) {
    return platform::ReadIntoLong<platform::LongWritten::kOnSuccess>(
        count, [this](LONG* value) { return GetCount(value); });
  }
  template <class Long, platform::IfLong<Long> = 0>
  HRESULT GetSubjectCount(Long* count) {
    return platform::ReadIntoLong<platform::LongWritten::kOnSuccess>(
        count, [this](LONG* value) { return GetSubjectCount(value); });
  }
  template <class Long, platform::IfLong<Long> = 0>
  HRESULT GetSubjectResult(LONG position, Long* votes, const OLECHAR** name) {
    return platform::ReadIntoLong<platform::LongWritten::kChanged>(
        votes, [&](LONG* value) { return GetSubjectResult(position, value, name); });
  }
#endif

 protected:
  ~IVotingDetail() = default;
};
inline const IID& InterfaceIdOf(IVotingDetail**) noexcept { return IID_IVotingDetail; }

}  // namespace quenlo
