#include "agenda/agenda_session.h"

#include <utility>

#include "agenda/agenda_list.h"
#include "agenda/agenda_reply.h"
#include "xml/element_lookup.h"
#include "xml/packet_builder.h"

namespace {

constexpr const OLECHAR* kAgendaNamespace = OLESTR("quenlo:conf:agenda");

}  // namespace

AgendaSession::AgendaSession() : CommandSession("agenda.room_name", kAgendaNamespace) {}

HRESULT STDMETHODCALLTYPE AgendaSession::Create(const OLECHAR* id, const OLECHAR* qid,
                                                const OLECHAR* text, const OLECHAR* time,
                                                const OLECHAR* type, const OLECHAR* value) {
  return SendRecord(id, OLESTR("create"), {qid, text, time, type, value});
}

HRESULT STDMETHODCALLTYPE AgendaSession::Delete(const OLECHAR* id, const OLECHAR* qid) {
  return SendQid(id, OLESTR("delete"), qid);
}

HRESULT STDMETHODCALLTYPE AgendaSession::Modify(const OLECHAR* id, const OLECHAR* qid,
                                                const OLECHAR* text, const OLECHAR* time,
                                                const OLECHAR* type, const OLECHAR* value) {
  return SendRecord(id, OLESTR("modify"), {qid, text, time, type, value});
}

HRESULT STDMETHODCALLTYPE AgendaSession::Sync(const OLECHAR* id, const OLECHAR* qid) {
  return SendQid(id, OLESTR("sync"), qid);
}

HRESULT STDMETHODCALLTYPE AgendaSession::Browse(const OLECHAR* id) {
  return SendEmpty(id, OLESTR("browse"));
}

HRESULT STDMETHODCALLTYPE AgendaSession::Request(const OLECHAR* id) {
  return SendEmpty(id, OLESTR("request"));
}

// Every field is sent, empty ones included: the server reads the record by position.
HRESULT AgendaSession::SendRecord(const OLECHAR* id, const OLECHAR* queryType,
                                  const RecordFields& fields) {
  auto request = BeginRequest(id, queryType);
  if (!request) return S_FALSE;
  const ComPtr<IXMLDOMElement> subject = AddChild(request->query.Get(), OLESTR("subject"), nullptr);
  if (!subject) return S_FALSE;
  const std::pair<const OLECHAR*, const OLECHAR*> children[] = {
      {OLESTR("qid"), fields.qid},   {OLESTR("text"), fields.text},   {OLESTR("time"), fields.time},
      {OLESTR("type"), fields.type}, {OLESTR("value"), fields.value},
  };
  for (const auto& [tag, text] : children) {
    if (!AddChild(subject.Get(), tag, text)) return S_FALSE;
  }
  return Send(*request);
}

HRESULT AgendaSession::SendQid(const OLECHAR* id, const OLECHAR* queryType, const OLECHAR* qid) {
  auto request = BeginRequest(id, queryType);
  if (!request) return S_FALSE;
  if (!AddChild(request->query.Get(), OLESTR("qid"), qid)) return S_FALSE;
  return Send(*request);
}

HRESULT AgendaSession::SendEmpty(const OLECHAR* id, const OLECHAR* queryType) {
  auto request = BeginRequest(id, queryType);
  if (!request) return S_FALSE;
  return Send(*request);
}

void AgendaSession::HandleReply(IXMLDOMElement* /*iq*/, IXMLDOMElement* query,
                                const WideString& /*queryNamespace*/) {
  DispatchReply(*this, query, kReplyRoutes);
}

void AgendaSession::HandleErrorReply(IXMLDOMElement* iq) {
  const ComPtr<IXMLDOMElement> error = FindElement(iq, OLESTR("error"));
  if (error) AnnounceRecord(OLESTR("/agenda/error"), error.Get());
}

void AgendaSession::AnnounceRecord(const OLECHAR* eventPath, IXMLDOMElement* element) {
  Announce<AgendaReply>(eventPath, element);
}

void AgendaSession::AnnounceList(const OLECHAR* eventPath, IXMLDOMElement* element) {
  Announce<AgendaList>(eventPath, element);
}

// Records for the single-record replies, lists for the rest. The reply to "browse" is announced
// as "showall", the name hosts listen for.
const std::array<ReplyRoute<AgendaSession>, 6> AgendaSession::kReplyRoutes = {{
    {OLESTR("request"), OLESTR("/agenda/request/ok"), &AgendaSession::AnnounceRecord},
    {OLESTR("create"), OLESTR("/agenda/create/ok"), &AgendaSession::AnnounceList},
    {OLESTR("delete"), OLESTR("/agenda/delete/ok"), &AgendaSession::AnnounceList},
    {OLESTR("modify"), OLESTR("/agenda/modify/ok"), &AgendaSession::AnnounceList},
    {OLESTR("browse"), OLESTR("/agenda/showall/ok"), &AgendaSession::AnnounceList},
    {OLESTR("sync"), OLESTR("/agenda/sync/ok"), &AgendaSession::AnnounceRecord},
}};
