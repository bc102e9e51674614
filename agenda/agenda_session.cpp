#include "agenda/agenda_session.h"

#include <quenlo/names.h>

#include "agenda/agenda_list.h"
#include "agenda/agenda_reply.h"
#include "component/boundary_guard.h"
#include "xml/packet_builder.h"

namespace quenlo::confext {

namespace {

constexpr const OLECHAR* kAgendaNamespace = OLESTR("quenlo:conf:agenda");

// Records for the single-record replies, lists for the rest. The reply to "browse" is announced
// as "showall", the name hosts listen for.
constexpr ReplyRoute kReplyRoutes[] = {
    {OLESTR("request"), kAgendaRequestEvent, &AgendaReply::Make},
    {OLESTR("create"), kAgendaCreateEvent, &AgendaList::Make},
    {OLESTR("delete"), kAgendaDeleteEvent, &AgendaList::Make},
    {OLESTR("modify"), kAgendaModifyEvent, &AgendaList::Make},
    {OLESTR("browse"), kAgendaShowAllEvent, &AgendaList::Make},
    {OLESTR("sync"), kAgendaSyncEvent, &AgendaReply::Make},
};

constexpr ReplyRoutes kRoutes = {kReplyRoutes, kAgendaErrorEvent, &AgendaReply::Make};

}  // namespace

AgendaSession::AgendaSession()
    : CommandSession(kAgendaRoomNameProperty, kAgendaNamespace, kRoutes) {}

HRESULT STDMETHODCALLTYPE AgendaSession::Create(const OLECHAR* id, const OLECHAR* qid,
                                                const OLECHAR* text, const OLECHAR* time,
                                                const OLECHAR* type, const OLECHAR* value) {
  return GuardBoundary([&] {
    return SendRecord(id, OLESTR("create"), {qid, text, time, type, value});
  });
}

HRESULT STDMETHODCALLTYPE AgendaSession::Delete(const OLECHAR* id, const OLECHAR* qid) {
  return GuardBoundary([&] { return SendQid(id, OLESTR("delete"), qid); });
}

HRESULT STDMETHODCALLTYPE AgendaSession::Modify(const OLECHAR* id, const OLECHAR* qid,
                                                const OLECHAR* text, const OLECHAR* time,
                                                const OLECHAR* type, const OLECHAR* value) {
  return GuardBoundary([&] {
    return SendRecord(id, OLESTR("modify"), {qid, text, time, type, value});
  });
}

HRESULT STDMETHODCALLTYPE AgendaSession::Sync(const OLECHAR* id, const OLECHAR* qid) {
  return GuardBoundary([&] { return SendQid(id, OLESTR("sync"), qid); });
}

HRESULT STDMETHODCALLTYPE AgendaSession::Browse(const OLECHAR* id) {
  return GuardBoundary([&] { return SendEmpty(id, OLESTR("browse")); });
}

HRESULT STDMETHODCALLTYPE AgendaSession::Request(const OLECHAR* id) {
  return GuardBoundary([&] { return SendEmpty(id, OLESTR("request")); });
}

// Every field is sent, empty ones included: the server reads the record by position.
HRESULT AgendaSession::SendRecord(const OLECHAR* id, const OLECHAR* queryType,
                                  const RecordFields& fields) {
  auto request = BeginRequest(id, queryType);
  if (!request) return S_FALSE;
  request->query.Open(OLESTR("subject"))
      .Add(OLESTR("qid"), fields.qid)
      .Add(OLESTR("text"), fields.text)
      .Add(OLESTR("time"), fields.time)
      .Add(OLESTR("type"), fields.type)
      .Add(OLESTR("value"), fields.value);
  return Send(*request);
}

}  // namespace quenlo::confext
