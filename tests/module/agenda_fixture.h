// An agenda session attached to a recording host in hall3@conference.example.
#pragma once

#include "agenda/agenda_session.h"
#include "support/session_fixture.h"

namespace quenlo::confext {

inline constexpr const OLECHAR* kAgendaRoom = OLESTR("hall3@conference.example");

struct AgendaProduct {
  using Session = AgendaSession;
  using Commands = IAgendaCommands;
  static constexpr const OLECHAR* kRoomProperty = OLESTR("agenda.room_name");
  static constexpr const OLECHAR* kRoom = kAgendaRoom;
  static constexpr const char* kRoomUtf8 = "hall3@conference.example";
  static constexpr const char* kNamespace = "quenlo:conf:agenda";
};

using AgendaTest = SessionFixture<AgendaProduct>;
using AttachedAgendaTest = AttachedSessionFixture<AgendaProduct>;

}  // namespace quenlo::confext
