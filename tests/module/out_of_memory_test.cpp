// What the sessions leave behind when memory runs out inside a call: every allocation point of
// the call is failed in turn, and the session must answer as promised and stay usable.
#include <gtest/gtest.h>

#include "failing_allocation.h"
#include "voting_fixture.h"

namespace {

constexpr long kMaximumAllocations = 1000;  // far more than any call below makes

// A room-name change whose callback fails part-way must not leave the session without an address
// for good: setting the same name again repairs it.
TEST(OutOfMemoryTest, ARoomNameChangeThatFailsIsRepairedBySettingItAgain) {
  long allowed = 0;
  for (; allowed < kMaximumAllocations; ++allowed) {
    RecordingHost host;
    const ComPtr<IUnknown> session((new VotingSession())->Primary());
    const ComPtr<IConferenceSession> config = session.As<IConferenceSession>();
    const ComPtr<IVotingCommands> commands = session.As<IVotingCommands>();
    ASSERT_EQ(config->Attach(&host), S_OK);
    bool refused = false;
    try {
      const FailingAllocation failing(allowed);
      config->SetProperty(OLESTR("voting.room_name"), kRoom);
      refused = failing.Refused();
    } catch (...) {
      refused = true;
    }
    if (!refused) break;
    EXPECT_EQ(config->SetProperty(OLESTR("voting.room_name"), kRoom), S_OK) << allowed;
    EXPECT_EQ(commands->Apply(OLESTR("1")), S_OK) << "allocation " << allowed << " failed";
    EXPECT_EQ(host.Sent().size(), 1u) << allowed;
    config->Detach();
  }
  EXPECT_GT(allowed, 0);
  EXPECT_LT(allowed, kMaximumAllocations);
}

}  // namespace
