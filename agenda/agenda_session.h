// The session behind "quenlo.agenda.session": one property, "agenda.room_name", the six agenda
// requests to the room, and the route table of agenda replies into records and lists. Caching the
// room address, filtering packets, dispatching replies and announcing results are the shared
// session layer's.
#pragma once

#include <quenlo/agenda.h>

#include "session/command_session.h"

namespace quenlo::confext {

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

  // The fields of one record, in the order they stand inside "subject".
  struct RecordFields {
    const OLECHAR* qid;
    const OLECHAR* text;
    const OLECHAR* time;
    const OLECHAR* type;
    const OLECHAR* value;
  };
  // A whole record (the qid and the empty bodies are the shared session layer's).
  HRESULT SendRecord(const OLECHAR* id, const OLECHAR* queryType, const RecordFields& fields);
};

}  // namespace quenlo::confext
