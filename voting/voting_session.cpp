#include "voting/voting_session.h"

#include <quenlo/names.h>

#include <new>

#include "component/boundary_guard.h"
#include "session/ansi_text.h"
#include "voting/voting_detail.h"
#include "voting/voting_reply.h"
#include "voting/voting_subject_list.h"
#include "xml/packet_builder.h"
#include "xml/xml_text.h"

namespace quenlo::confext {

namespace {

constexpr const OLECHAR* kVotingNamespace = OLESTR("quenlo:conf:voting");

// Hosts listen for "upload", "getvoting" and "look" where the query types are "refer",
// "content" and "result".
constexpr ReplyRoute kReplyRoutes[] = {
    {OLESTR("apply"), kVotingApplyEvent, &VotingReply::Make},
    {OLESTR("showall"), kVotingShowAllEvent, &VotingSubjectList::Make},
    {OLESTR("voting"), kVotingVotingEvent, &VotingReply::Make},
    {OLESTR("delete"), kVotingDeleteEvent, &VotingReply::Make},
    {OLESTR("refer"), kVotingUploadEvent, &VotingReply::Make},
    {OLESTR("content"), kVotingGetVotingEvent, &VotingReply::Make},
    {OLESTR("start"), kVotingStartEvent, &VotingReply::Make},
    {OLESTR("end"), kVotingEndEvent, &VotingReply::Make},
    {OLESTR("kithe"), kVotingKitheEvent, &VotingDetail::Make},
    {OLESTR("result"), kVotingLookEvent, &VotingDetail::Make},
};

constexpr ReplyRoutes kRoutes = {kReplyRoutes, kVotingErrorEvent, &VotingReply::Make};

}  // namespace

VotingSession::VotingSession()
    : CommandSession(kVotingRoomNameProperty, kVotingNamespace, kRoutes),
      multipleChoiceName_(ToAnsi(kVotingMultipleChoiceProperty)),
      registeredName_(ToAnsi(kVotingRegisteredProperty)),
      timeoutName_(ToAnsi(kVotingTimeoutProperty)) {
  DeclareProperty(multipleChoiceName_, "0");
  DeclareProperty(registeredName_, "0");
  DeclareProperty(timeoutName_, "");
}

HRESULT STDMETHODCALLTYPE VotingSession::Apply(const OLECHAR* id) {
  return GuardBoundary([&] { return SendEmpty(id, OLESTR("apply")); });
}

HRESULT STDMETHODCALLTYPE VotingSession::Delete(const OLECHAR* id, const OLECHAR* qid) {
  return GuardBoundary([&] { return SendQid(id, OLESTR("delete"), qid); });
}

HRESULT STDMETHODCALLTYPE VotingSession::AddReferSubject(const OLECHAR* id, const OLECHAR* index,
                                                         const OLECHAR* text) {
  return GuardBoundary([&] {
    if (ViewOf(id).empty() || ViewOf(text).empty()) return S_FALSE;
    const std::lock_guard guard(subjectsLock_);
    referSubjects_.Add(ViewOf(index), ViewOf(text));
    return S_OK;
  });
}

HRESULT STDMETHODCALLTYPE VotingSession::Start(const OLECHAR* id, const OLECHAR* qid) {
  return GuardBoundary([&] { return SendQid(id, OLESTR("start"), qid); });
}

HRESULT STDMETHODCALLTYPE VotingSession::Refer(const OLECHAR* id, const OLECHAR* qid,
                                               const OLECHAR* caption) {
  return GuardBoundary([&] {
    auto request = BeginRequest(id, OLESTR("refer"));
    if (!request) return S_FALSE;
    const Bstr timeout = AnsiToBstr(GetPropertyText(timeoutName_).value_or(""));
    ElementWriter& query = request->query;
    query.Add(OLESTR("qid"), qid)
        .Add(OLESTR("caption"), caption)
        .Add(OLESTR("multi"), FlagText(multipleChoiceName_))
        .Add(OLESTR("reg"), FlagText(registeredName_))
        .Add(OLESTR("timeout"), timeout.View());
    ElementWriter subjects = query.Open(OLESTR("subjects"));
    {
      const std::lock_guard guard(subjectsLock_);
      referSubjects_.ForEach([&subjects](OleStringView index, OleStringView text) {
        subjects.Open(OLESTR("subject"), text).Set(OLESTR("index"), index);
      });
      if (!query.Ok()) return S_FALSE;
      referSubjects_.Clear();
    }
    return Send(*request);
  });
}

HRESULT STDMETHODCALLTYPE VotingSession::ClearReferSubjects(const OLECHAR* /*id*/) {
  return GuardBoundary([&] {
    const std::lock_guard guard(subjectsLock_);
    referSubjects_.Clear();
    return S_OK;
  });
}

HRESULT STDMETHODCALLTYPE VotingSession::Content(const OLECHAR* id, const OLECHAR* qid) {
  return GuardBoundary([&] { return SendQid(id, OLESTR("content"), qid); });
}

HRESULT STDMETHODCALLTYPE VotingSession::ShowAll(const OLECHAR* id) {
  return GuardBoundary([&] { return SendEmpty(id, OLESTR("showall")); });
}

HRESULT STDMETHODCALLTYPE VotingSession::End(const OLECHAR* id, const OLECHAR* qid) {
  return GuardBoundary([&] { return SendQid(id, OLESTR("end"), qid); });
}

HRESULT STDMETHODCALLTYPE VotingSession::Kithe(const OLECHAR* id, const OLECHAR* qid) {
  return GuardBoundary([&] { return SendQid(id, OLESTR("kithe"), qid); });
}

HRESULT STDMETHODCALLTYPE VotingSession::Result(const OLECHAR* id, const OLECHAR* qid) {
  return GuardBoundary([&] { return SendQid(id, OLESTR("result"), qid); });
}

HRESULT STDMETHODCALLTYPE VotingSession::AddVotingSubject(const OLECHAR* text) {
  return GuardBoundary([&] {
    // Checked here rather than at Voting: a stored text XML cannot carry would make every later
    // Voting refuse, and a refused Voting keeps its subjects.
    if (!IsXmlText(ViewOf(text))) return S_FALSE;
    const std::lock_guard guard(subjectsLock_);
    ballotSubjects_.emplace_back(ViewOf(text));
    return S_OK;
  });
}

// The server finds the ballot's voting by the qid text that stands inside "subjects", ahead of
// the subjects themselves, so it is repeated there.
HRESULT STDMETHODCALLTYPE VotingSession::Voting(const OLECHAR* id, const OLECHAR* qid) {
  return GuardBoundary([&] {
    auto request = BeginRequest(id, OLESTR("voting"));
    if (!request) return S_FALSE;
    ElementWriter& query = request->query;
    query.Add(OLESTR("qid"), qid);
    ElementWriter subjects = query.Open(OLESTR("subjects"), qid);
    {
      const std::lock_guard guard(subjectsLock_);
      for (const OleString& text : ballotSubjects_) {
        subjects.Add(OLESTR("subject"), OleStringView(text));
      }
      if (!query.Ok()) return S_FALSE;
      ballotSubjects_.clear();
    }
    return Send(*request);
  });
}

const OLECHAR* VotingSession::FlagText(const std::string& property) const {
  return GetPropertyInt(property) == 1 ? OLESTR("true") : OLESTR("false");
}

}  // namespace quenlo::confext
