// The session behind "quenlo.agenda.session": one property, "agenda.room_name", the six agenda
// requests to the room, and the dispatch of agenda replies into records and lists. Caching the
// room address, filtering packets and announcing results are the shared session layer's.
#pragma once

#include <quenlo/agenda.h>

#include <array>

#include "session/command_session.h"
#include "session/reply_dispatch.h"

class AgendaSession final : public CommandSession<IAgendaCommands> {
 public:
  AgendaSession();

  // Each returns 0 once the request was handed to the host; 1 and nothing sent when the session
  // has no room address or no host, or the packet cannot be built (a text XML cannot carry).
  // Running out of memory while copying a text leaves as _com_error.
  HRESULT STDMETHODCALLTYPE Create(const OLECHAR* id, const OLECHAR* qid, const OLECHAR* text,
                                   const OLECHAR* time, const OLECHAR* type,
                                   const OLECHAR* value) override;
  HRESULT STDMETHODCALLTYPE Delete(const OLECHAR* id, const OLECHAR* qid) override;
  HRESULT STDMETHODCALLTYPE Modify(const OLECHAR* id, const OLECHAR* qid, const OLECHAR* text,
                                   const OLECHAR* time, const OLECHAR* type,
                                   const OLECHAR* value) override;
  HRESULT STDMETHODCALLTYPE Sync(const OLECHAR* id, const OLECHAR* qid) override;
  HRESULT STDMETHODCALLTYPE Browse(const OLECHAR* id) override;
  HRESULT STDMETHODCALLTYPE Request(const OLECHAR* id) override;

 private:
  ~AgendaSession() override = default;

  void HandleReply(IXMLDOMElement* iq, IXMLDOMElement* query,
                   const WideString& queryNamespace) override;
  void HandleErrorReply(IXMLDOMElement* iq) override;

  // The fields of one record, in the order they stand inside "subject".
  struct RecordFields {
    const OLECHAR* qid;
    const OLECHAR* text;
    const OLECHAR* time;
    const OLECHAR* type;
    const OLECHAR* value;
  };
  // The three request bodies: a whole record, one qid, or nothing.
  HRESULT SendRecord(const OLECHAR* id, const OLECHAR* queryType, const RecordFields& fields);
  HRESULT SendQid(const OLECHAR* id, const OLECHAR* queryType, const OLECHAR* qid);
  HRESULT SendEmpty(const OLECHAR* id, const OLECHAR* queryType);

  // Query type, event path and result object of every agenda reply, in matching order.
  static const std::array<ReplyRoute<AgendaSession>, 6> kReplyRoutes;

  // The two kinds of announcement a dispatch route can make.
  void AnnounceRecord(const OLECHAR* eventPath, IXMLDOMElement* element);
  void AnnounceList(const OLECHAR* eventPath, IXMLDOMElement* element);
};
