// The names of the contract: the session types a module registers, the properties a host sets,
// and the host events a module subscribes to or raises. Declared once here for the module and
// for hosts.
#pragma once

#include <quenlo/platform.h>

namespace quenlo {

// Session types, registered with this version.
inline constexpr const OLECHAR* kVotingSessionType = OLESTR("quenlo.voting.session");
inline constexpr const OLECHAR* kAgendaSessionType = OLESTR("quenlo.agenda.session");
inline constexpr const OLECHAR* kSessionTypeVersion = OLESTR("1");

// Session properties. "multiselsect" is spelled as hosts spell it; it must not be corrected.
inline constexpr const OLECHAR* kVotingRoomNameProperty = OLESTR("voting.room_name");
inline constexpr const OLECHAR* kVotingMultipleChoiceProperty = OLESTR("voting.multiselsect");
inline constexpr const OLECHAR* kVotingRegisteredProperty = OLESTR("voting.registered");
inline constexpr const OLECHAR* kVotingTimeoutProperty = OLESTR("voting.timeout");
inline constexpr const OLECHAR* kAgendaRoomNameProperty = OLESTR("agenda.room_name");

// The host event through which every arriving packet is delivered to subscribed sessions.
inline constexpr const OLECHAR* kPacketEvent = OLESTR("/packet");

// The events a voting session raises: one per reply type, and one for error replies.
inline constexpr const OLECHAR* kVotingApplyEvent = OLESTR("/voting/apply/ok");
inline constexpr const OLECHAR* kVotingShowAllEvent = OLESTR("/voting/showall/ok");
inline constexpr const OLECHAR* kVotingVotingEvent = OLESTR("/voting/voting/ok");
inline constexpr const OLECHAR* kVotingDeleteEvent = OLESTR("/voting/delete/ok");
inline constexpr const OLECHAR* kVotingUploadEvent = OLESTR("/voting/upload/ok");
inline constexpr const OLECHAR* kVotingGetVotingEvent = OLESTR("/voting/getvoting/ok");
inline constexpr const OLECHAR* kVotingStartEvent = OLESTR("/voting/start/ok");
inline constexpr const OLECHAR* kVotingEndEvent = OLESTR("/voting/end/ok");
inline constexpr const OLECHAR* kVotingKitheEvent = OLESTR("/voting/kithe/ok");
inline constexpr const OLECHAR* kVotingLookEvent = OLESTR("/voting/look/ok");
inline constexpr const OLECHAR* kVotingErrorEvent = OLESTR("/voting/error");

// The events an agenda session raises.
inline constexpr const OLECHAR* kAgendaRequestEvent = OLESTR("/agenda/request/ok");
inline constexpr const OLECHAR* kAgendaCreateEvent = OLESTR("/agenda/create/ok");
inline constexpr const OLECHAR* kAgendaDeleteEvent = OLESTR("/agenda/delete/ok");
inline constexpr const OLECHAR* kAgendaModifyEvent = OLESTR("/agenda/modify/ok");
inline constexpr const OLECHAR* kAgendaShowAllEvent = OLESTR("/agenda/showall/ok");
inline constexpr const OLECHAR* kAgendaSyncEvent = OLESTR("/agenda/sync/ok");
inline constexpr const OLECHAR* kAgendaErrorEvent = OLESTR("/agenda/error");

}  // namespace quenlo
