// A voting session attached to a recording host in room7@conference.example.
#pragma once

#include "support/session_fixture.h"
#include "voting/voting_session.h"

namespace quenlo::confext {

inline constexpr const OLECHAR* kRoom = OLESTR("room7@conference.example");

struct VotingProduct {
  using Session = VotingSession;
  using Commands = IVotingCommands;
  static constexpr const OLECHAR* kRoomProperty = OLESTR("voting.room_name");
  static constexpr const OLECHAR* kRoom = confext::kRoom;
  static constexpr const char* kRoomUtf8 = "room7@conference.example";
  static constexpr const char* kNamespace = "quenlo:conf:voting";
};

using VotingTest = SessionFixture<VotingProduct>;
using AttachedVotingTest = AttachedSessionFixture<VotingProduct>;

}  // namespace quenlo::confext
