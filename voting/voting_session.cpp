#include "voting/voting_session.h"

#include <new>

#include "voting/voting_detail.h"
#include "voting/voting_reply.h"
#include "voting/voting_subject_list.h"
#include "xml/element_lookup.h"
#include "xml/packet_builder.h"
#include "xml/xml_text.h"

namespace {

constexpr const OLECHAR* kVotingNamespace = OLESTR("quenlo:conf:voting");

}  // namespace

VotingSession::VotingSession() : CommandSession("voting.room_name", kVotingNamespace) {
  // "multiselsect" is the key hosts use; it must not be corrected.
  DeclareProperty("voting.multiselsect", "0");
  DeclareProperty("voting.registered", "0");
  DeclareProperty("voting.timeout", "");
}

HRESULT STDMETHODCALLTYPE VotingSession::Apply(const OLECHAR* id) {
  return SendEmpty(id, OLESTR("apply"));
}

HRESULT STDMETHODCALLTYPE VotingSession::Delete(const OLECHAR* id, const OLECHAR* qid) {
  return SendQid(id, OLESTR("delete"), qid);
}

HRESULT STDMETHODCALLTYPE VotingSession::AddReferSubject(const OLECHAR* id, const OLECHAR* index,
                                                         const OLECHAR* text) {
  if (ViewOf(id).empty() || ViewOf(text).empty()) return S_FALSE;
  try {
    const std::lock_guard guard(subjectsLock_);
    referSubjects_.try_emplace(OleString(ViewOf(index)), ViewOf(text));
  } catch (const std::bad_alloc&) {
    throw _com_error(E_OUTOFMEMORY);  // the platform's out-of-memory error, as for every copy
  }
  return S_OK;
}

HRESULT STDMETHODCALLTYPE VotingSession::Start(const OLECHAR* id, const OLECHAR* qid) {
  return SendQid(id, OLESTR("start"), qid);
}

HRESULT STDMETHODCALLTYPE VotingSession::Refer(const OLECHAR* id, const OLECHAR* qid,
                                               const OLECHAR* caption) {
  auto request = BeginRequest(id, OLESTR("refer"));
  if (!request) return S_FALSE;
  IXMLDOMElement* query = request->query.Get();
  const WideString timeout = WideString::FromAnsi(GetPropertyText("voting.timeout").value_or(""));
  if (!AddChild(query, OLESTR("qid"), qid) || !AddChild(query, OLESTR("caption"), caption) ||
      !AddChild(query, OLESTR("multi"), FlagText("voting.multiselsect")) ||
      !AddChild(query, OLESTR("reg"), FlagText("voting.registered")) ||
      !AddChild(query, OLESTR("timeout"), timeout.View())) {
    return S_FALSE;
  }
  const ComPtr<IXMLDOMElement> subjects = AddChild(query, OLESTR("subjects"), nullptr);
  if (!subjects) return S_FALSE;
  {
    const std::lock_guard guard(subjectsLock_);
    for (const auto& [index, text] : referSubjects_) {
      const ComPtr<IXMLDOMElement> subject =
          AddChild(subjects.Get(), OLESTR("subject"), OleStringView(text));
      if (!subject || !SetAttributeText(subject.Get(), OLESTR("index"), OleStringView(index))) {
        return S_FALSE;
      }
    }
    referSubjects_.clear();
  }
  return Send(*request);
}

HRESULT STDMETHODCALLTYPE VotingSession::ClearReferSubjects(const OLECHAR* /*id*/) {
  const std::lock_guard guard(subjectsLock_);
  referSubjects_.clear();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE VotingSession::Content(const OLECHAR* id, const OLECHAR* qid) {
  return SendQid(id, OLESTR("content"), qid);
}

HRESULT STDMETHODCALLTYPE VotingSession::ShowAll(const OLECHAR* id) {
  return SendEmpty(id, OLESTR("showall"));
}

HRESULT STDMETHODCALLTYPE VotingSession::End(const OLECHAR* id, const OLECHAR* qid) {
  return SendQid(id, OLESTR("end"), qid);
}

HRESULT STDMETHODCALLTYPE VotingSession::Kithe(const OLECHAR* id, const OLECHAR* qid) {
  return SendQid(id, OLESTR("kithe"), qid);
}

HRESULT STDMETHODCALLTYPE VotingSession::Result(const OLECHAR* id, const OLECHAR* qid) {
  return SendQid(id, OLESTR("result"), qid);
}

HRESULT STDMETHODCALLTYPE VotingSession::AddVotingSubject(const OLECHAR* text) {
  // Checked here rather than at Voting: a stored text XML cannot carry would make every later
  // Voting refuse, and a refused Voting keeps its subjects.
  if (!IsXmlText(ViewOf(text))) return S_FALSE;
  try {
    const std::lock_guard guard(subjectsLock_);
    ballotSubjects_.emplace_back(ViewOf(text));
  } catch (const std::bad_alloc&) {
    throw _com_error(E_OUTOFMEMORY);
  }
  return S_OK;
}

// The server finds the ballot's voting by the qid text that stands inside "subjects", ahead of
// the subjects themselves, so it is repeated there.
HRESULT STDMETHODCALLTYPE VotingSession::Voting(const OLECHAR* id, const OLECHAR* qid) {
  auto request = BeginRequest(id, OLESTR("voting"));
  if (!request) return S_FALSE;
  IXMLDOMElement* query = request->query.Get();
  if (!AddChild(query, OLESTR("qid"), qid)) return S_FALSE;
  const ComPtr<IXMLDOMElement> subjects = AddChild(query, OLESTR("subjects"), qid);
  if (!subjects) return S_FALSE;
  {
    const std::lock_guard guard(subjectsLock_);
    for (const OleString& text : ballotSubjects_) {
      if (!AddChild(subjects.Get(), OLESTR("subject"), OleStringView(text))) return S_FALSE;
    }
    ballotSubjects_.clear();
  }
  return Send(*request);
}

HRESULT VotingSession::SendEmpty(const OLECHAR* id, const OLECHAR* queryType) {
  auto request = BeginRequest(id, queryType);
  if (!request) return S_FALSE;
  return Send(*request);
}

HRESULT VotingSession::SendQid(const OLECHAR* id, const OLECHAR* queryType, const OLECHAR* qid) {
  auto request = BeginRequest(id, queryType);
  if (!request) return S_FALSE;
  if (!AddChild(request->query.Get(), OLESTR("qid"), qid)) return S_FALSE;
  return Send(*request);
}

const OLECHAR* VotingSession::FlagText(const char* property) const {
  return GetPropertyInt(property) == 1 ? OLESTR("true") : OLESTR("false");
}

void VotingSession::HandleReply(IXMLDOMElement* /*iq*/, IXMLDOMElement* query,
                                const WideString& /*queryNamespace*/) {
  DispatchReply(*this, query, kReplyRoutes);
}

void VotingSession::HandleErrorReply(IXMLDOMElement* iq) {
  const ComPtr<IXMLDOMElement> error = FindElement(iq, OLESTR("error"));
  if (error) AnnounceReply(OLESTR("/voting/error"), error.Get());
}

void VotingSession::AnnounceReply(const OLECHAR* eventPath, IXMLDOMElement* element) {
  Announce<VotingReply>(eventPath, element);
}

void VotingSession::AnnounceSubjectList(const OLECHAR* eventPath, IXMLDOMElement* element) {
  Announce<VotingSubjectList>(eventPath, element);
}

void VotingSession::AnnounceDetail(const OLECHAR* eventPath, IXMLDOMElement* element) {
  Announce<VotingDetail>(eventPath, element);
}

// Hosts listen for "upload", "getvoting" and "look" where the query types are "refer",
// "content" and "result".
const std::array<ReplyRoute<VotingSession>, 10> VotingSession::kReplyRoutes = {{
    {OLESTR("apply"), OLESTR("/voting/apply/ok"), &VotingSession::AnnounceReply},
    {OLESTR("showall"), OLESTR("/voting/showall/ok"), &VotingSession::AnnounceSubjectList},
    {OLESTR("voting"), OLESTR("/voting/voting/ok"), &VotingSession::AnnounceReply},
    {OLESTR("delete"), OLESTR("/voting/delete/ok"), &VotingSession::AnnounceReply},
    {OLESTR("refer"), OLESTR("/voting/upload/ok"), &VotingSession::AnnounceReply},
    {OLESTR("content"), OLESTR("/voting/getvoting/ok"), &VotingSession::AnnounceReply},
    {OLESTR("start"), OLESTR("/voting/start/ok"), &VotingSession::AnnounceReply},
    {OLESTR("end"), OLESTR("/voting/end/ok"), &VotingSession::AnnounceReply},
    {OLESTR("kithe"), OLESTR("/voting/kithe/ok"), &VotingSession::AnnounceDetail},
    {OLESTR("result"), OLESTR("/voting/look/ok"), &VotingSession::AnnounceDetail},
}};
