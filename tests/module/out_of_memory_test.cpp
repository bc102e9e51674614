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

// The property calls raise one error type when memory runs out: the platform's, carrying
// E_OUTOFMEMORY, whatever allocation it was (the code-page conversions, the stored copy, the
// change callback's).
TEST(OutOfMemoryTest, PropertyCallsRaiseOnlyTheOutOfMemoryError) {
  const OLECHAR* const longValue =
      OLESTR("a value well beyond any short-string buffer, 0123456789");
  for (const OLECHAR* name : {OLESTR("voting.timeout"), OLESTR("voting.room_name")}) {
    long allowed = 0;
    for (; allowed < kMaximumAllocations; ++allowed) {
      const ComPtr<IUnknown> session((new VotingSession())->Primary());
      const ComPtr<IConferenceSession> config = session.As<IConferenceSession>();
      const FailingAllocation failing(allowed);
      try {
        config->SetProperty(name, longValue);
        Bstr value;
        config->GetProperty(name, value.Put());
      } catch (const _com_error& error) {
        EXPECT_EQ(error.Error(), E_OUTOFMEMORY) << ToUtf8(name) << " allocation " << allowed;
      } catch (...) {
        ADD_FAILURE() << ToUtf8(name) << ": another exception at allocation " << allowed;
      }
      if (!failing.Refused()) break;
    }
    EXPECT_GT(allowed, 0) << ToUtf8(name);
    EXPECT_LT(allowed, kMaximumAllocations) << ToUtf8(name);
  }
}

// A tally whose users cannot be looked up must not be read as one without users: its "count"
// would then stand for votes the reply gave names to, and the voters would read as unnamed.
TEST(OutOfMemoryTest, ATallyWhoseUsersCannotBeReadIsNotReadAsUnnamedVotes) {
  const ComPtr<IXMLDOMElement> reply = ParseXml(
      "<iq type='result' from='room7@conference.example'><query xmlns='quenlo:conf:voting' "
      "type='kithe'><subject name='A' index='1' count='50'><user>x</user><user>y</user>"
      "</subject></query></iq>");
  ASSERT_TRUE(reply);
  long allowed = 0;
  for (; allowed < kMaximumAllocations; ++allowed) {
    RecordingHost host;
    const ComPtr<IUnknown> session((new VotingSession())->Primary());
    const ComPtr<IConferenceSession> config = session.As<IConferenceSession>();
    ASSERT_EQ(config->SetProperty(OLESTR("voting.room_name"), kRoom), S_OK);
    ASSERT_EQ(config->Attach(&host), S_OK);
    bool refused = false;
    {
      const FailingAllocation failing(allowed);
      session.As<IPacketSink>()->OnPacket(nullptr, reply.Get(), 0);
      refused = failing.Refused();
    }
    if (!host.Events().empty()) {
      const ComPtr<IVotingDetail> detail = host.Events().back().result.As<IVotingDetail>();
      LONG votes = 0;
      const OLECHAR* name = nullptr;
      if (detail && detail->GetSubjectResult(0, &votes, &name) == S_FALSE && name != nullptr) {
        EXPECT_EQ(votes, 2) << "allocation " << allowed << " failed";
        const OLECHAR* voter = nullptr;
        EXPECT_EQ(detail->GetVoter(name, 1, &voter), S_OK) << allowed;
        EXPECT_EQ(ToUtf8(voter), "y") << allowed;
      }
    }
    config->Detach();
    if (!refused) break;
  }
  EXPECT_GT(allowed, 0);
  EXPECT_LT(allowed, kMaximumAllocations);
}

}  // namespace
