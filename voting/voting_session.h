// The session behind "quenlo.voting.session": four properties, the thirteen voting commands and
// the route table of voting replies. Caching the room address, filtering packets, dispatching
// replies and announcing results are the shared session layer's.
#pragma once

#include <quenlo/voting.h>

#include <mutex>
#include <string>
#include <vector>

#include "session/command_session.h"
#include "voting/refer_subject_map.h"

namespace quenlo::confext {

class VotingSession final : public CommandSession<IVotingCommands> {
 public:
  VotingSession();

  // The sending commands return 0 once the request was handed to the host; 1 and nothing sent
  // when the session has no room address or no host, or the packet cannot be built (a text XML
  // cannot carry). Running out of memory while copying a text leaves as _com_error.
  HRESULT STDMETHODCALLTYPE Apply(const OLECHAR* id) override;
  HRESULT STDMETHODCALLTYPE Delete(const OLECHAR* id, const OLECHAR* qid) override;
  // Stores index -> text for the next Refer (an index already stored keeps its first text).
  // 1 and nothing stored when id or text is empty; the room plays no part.
  HRESULT STDMETHODCALLTYPE AddReferSubject(const OLECHAR* id, const OLECHAR* index,
                                            const OLECHAR* text) override;
  HRESULT STDMETHODCALLTYPE Start(const OLECHAR* id, const OLECHAR* qid) override;
  // Sends the stored refer subjects in index order and forgets them; a refused Refer keeps them.
  HRESULT STDMETHODCALLTYPE Refer(const OLECHAR* id, const OLECHAR* qid,
                                  const OLECHAR* caption) override;
  HRESULT STDMETHODCALLTYPE ClearReferSubjects(const OLECHAR* id) override;
  HRESULT STDMETHODCALLTYPE Content(const OLECHAR* id, const OLECHAR* qid) override;
  HRESULT STDMETHODCALLTYPE ShowAll(const OLECHAR* id) override;
  HRESULT STDMETHODCALLTYPE End(const OLECHAR* id, const OLECHAR* qid) override;
  HRESULT STDMETHODCALLTYPE Kithe(const OLECHAR* id, const OLECHAR* qid) override;
  HRESULT STDMETHODCALLTYPE Result(const OLECHAR* id, const OLECHAR* qid) override;
  // Appends a ballot subject for the next Voting; repeats and empty texts too. 1 and nothing
  // stored for a text XML cannot carry.
  HRESULT STDMETHODCALLTYPE AddVotingSubject(const OLECHAR* text) override;
  // Sends the ballot subjects in the order added and forgets them; a refused Voting keeps them.
  HRESULT STDMETHODCALLTYPE Voting(const OLECHAR* id, const OLECHAR* qid) override;

 private:
  ~VotingSession() override = default;

  // "true" when the property reads as the integer 1, else "false".
  const OLECHAR* FlagText(const std::string& property) const;

  // The names of the vote's properties as the property table keys them, converted once rather
  // than for every Refer.
  const std::string multipleChoiceName_;
  const std::string registeredName_;
  const std::string timeoutName_;

  // Hosts may fill and send the subject collections from several threads, so they alone are
  // guarded; the lock is never held while the host is called.
  std::mutex subjectsLock_;
  ReferSubjectMap referSubjects_;  // the subjects of the next Refer
  // Subjects of the next Voting, in the order added.
  std::vector<OleString> ballotSubjects_;
};

}  // namespace quenlo::confext
