// What the sessions leave behind when memory runs out inside a call: every allocation point of
// the call is failed in turn, and the session must answer as promised and stay usable.
#include <gtest/gtest.h>

#include "component/boundary_guard.h"
#include "support/failing_new.h"
#include "voting_fixture.h"

namespace quenlo::confext {

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
      const testing::FailingAllocation failing(allowed);
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

// What a call answers when memory runs out, as the build's boundary policy says: the status
// E_OUTOFMEMORY raised as _com_error where the host shares the module's C++ runtime, returned
// where it cannot catch the module's exceptions (the Windows DLL). Anything else thrown is a
// failure, reported as E_FAIL here.
template <class Call>
HRESULT OutOfMemoryOutcome(Call&& call) {
  try {
    const HRESULT status = call();
    return kBoundaryFailure == BoundaryFailure::kRaise && status == E_OUTOFMEMORY ? E_FAIL : status;
  } catch (const _com_error& error) {
    return kBoundaryFailure == BoundaryFailure::kRaise ? error.Error() : E_FAIL;
  } catch (...) {
    return E_FAIL;
  }
}

// The property calls report running out of memory in one way, whatever allocation it was (the
// code-page conversions, the stored copy, the change callback's).
TEST(OutOfMemoryTest, PropertyCallsReportOnlyTheOutOfMemoryError) {
  const OLECHAR* const longValue =
      OLESTR("a value well beyond any short-string buffer, 0123456789");
  for (const OLECHAR* name : {OLESTR("voting.timeout"), OLESTR("voting.room_name")}) {
    long allowed = 0;
    for (; allowed < kMaximumAllocations; ++allowed) {
      const ComPtr<IUnknown> session((new VotingSession())->Primary());
      const ComPtr<IConferenceSession> config = session.As<IConferenceSession>();
      const testing::FailingAllocation failing(allowed);
      const HRESULT set = OutOfMemoryOutcome([&] { return config->SetProperty(name, longValue); });
      Bstr value;
      const HRESULT get =
          OutOfMemoryOutcome([&] { return config->GetProperty(name, value.Put()); });
      EXPECT_TRUE(set == S_OK || set == E_OUTOFMEMORY) << ToUtf8(name) << " allocation " << allowed;
      EXPECT_TRUE(get == S_OK || get == E_OUTOFMEMORY) << ToUtf8(name) << " allocation " << allowed;
      if (!failing.Refused()) break;
    }
    EXPECT_GT(allowed, 0) << ToUtf8(name);
    EXPECT_LT(allowed, kMaximumAllocations) << ToUtf8(name);
  }
}

// Every command, its allocations failed one at a time: it sends its packet and answers 0, or
// sends nothing and answers 1 or the out-of-memory error, never anything else.
TEST(OutOfMemoryTest, CommandsSendAllOrNothingAndReportOnlyTheOutOfMemoryError) {
  using Command = HRESULT (*)(IVotingCommands*);
  const Command commands[] = {
      [](IVotingCommands* voting) { return voting->Apply(OLESTR("1")); },
      [](IVotingCommands* voting) { return voting->Kithe(OLESTR("1"), OLESTR("qid")); },
      [](IVotingCommands* voting) {
        return voting->AddReferSubject(OLESTR("1"), OLESTR("1"), OLESTR("a subject of length"));
      },
      [](IVotingCommands* voting) {
        return voting->Refer(OLESTR("1"), OLESTR("qid"), OLESTR("a caption long enough"));
      },
      [](IVotingCommands* voting) { return voting->AddVotingSubject(OLESTR("a ballot subject")); },
      [](IVotingCommands* voting) { return voting->Voting(OLESTR("1"), OLESTR("qid")); },
  };
  for (std::size_t which = 0; which < std::size(commands); ++which) {
    long allowed = 0;
    for (; allowed < kMaximumAllocations; ++allowed) {
      RecordingHost host;
      const ComPtr<IUnknown> session((new VotingSession())->Primary());
      const ComPtr<IConferenceSession> config = session.As<IConferenceSession>();
      const ComPtr<IVotingCommands> voting = session.As<IVotingCommands>();
      ASSERT_EQ(config->SetProperty(OLESTR("voting.room_name"), kRoom), S_OK);
      ASSERT_EQ(config->Attach(&host), S_OK);
      ASSERT_EQ(voting->AddReferSubject(OLESTR("1"), OLESTR("2"), OLESTR("kept subject")), S_OK);
      HRESULT status = S_OK;
      bool refused = false;
      {
        const testing::FailingAllocation failing(allowed);
        status = OutOfMemoryOutcome([&] { return commands[which](voting.Get()); });
        refused = failing.Refused();
      }
      const std::size_t sent = host.Sent().size();
      EXPECT_TRUE(status == S_OK || status == S_FALSE || status == E_OUTOFMEMORY)
          << "command " << which << " allocation " << allowed << " status " << status;
      EXPECT_EQ(sent, status == S_OK && which != 2 && which != 4 ? 1u : 0u)
          << "command " << which << " allocation " << allowed;
      config->Detach();
      if (!refused) break;
    }
    EXPECT_LT(allowed, kMaximumAllocations) << "command " << which;
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
      const testing::FailingAllocation failing(allowed);
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

}  // namespace quenlo::confext
