#include "meeting_fixture.h"

namespace quenlo::host {

MeetingTest::MeetingTest()
    : conference_(ConferenceModule::Load(QUENLO_MODULE_PATH)),
      alice_(conference_.Join("alice", "Alice Martin")),
      bob_(conference_.Join("bob", "Bob")),
      carol_(conference_.Join("carol", "Carol")) {
  conference_.SetEventObserver([this](const std::string& who, const HostEvent& event) {
    events_.push_back({who, ToUtf8(event.path), ReadResult(event.result.Get())});
  });
}

std::vector<SeenEvent> MeetingTest::Settle() {
  conference_.Settle();
  return std::exchange(events_, {});
}

SeenEvent MeetingTest::SettleOne() {
  std::vector<SeenEvent> events = Settle();
  EXPECT_EQ(events.size(), 1u);
  return events.empty() ? SeenEvent{} : events.front();
}

void MeetingTest::SetProperty(IConferenceSession& session, std::u16string_view name,
                              std::u16string_view value) {
  const std::u16string name_text(name);
  const std::u16string value_text(value);
  ASSERT_EQ(session.SetProperty(name_text.c_str(), value_text.c_str()), S_OK);
}

std::u16string MeetingTest::UploadLunchVote(std::u16string_view registered,
                                            std::u16string_view timeout) {
  SetProperty(alice_.VotingSession(), u"voting.registered", registered);
  SetProperty(alice_.VotingSession(), u"voting.timeout", timeout);
  EXPECT_EQ(alice_.voting().Apply(u"apply-1"), S_OK);
  const SeenEvent applied = SettleOne();
  const std::string* qid = applied.result.Find("qid");
  if (qid == nullptr) {
    ADD_FAILURE() << "apply answered without a qid";
    return {};
  }
  const std::u16string vote = FromUtf8(*qid);
  EXPECT_EQ(alice_.voting().AddReferSubject(u"refer-1", u"1", u"Pizza"), S_OK);
  EXPECT_EQ(alice_.voting().AddReferSubject(u"refer-1", u"2", u"Sushi"), S_OK);
  EXPECT_EQ(alice_.voting().Refer(u"refer-1", vote.c_str(), u"Lunch"), S_OK);
  EXPECT_EQ(SettleOne().path, "/voting/upload/ok");
  return vote;
}

std::vector<std::string> EntryValues(const ResultSnapshot& snapshot, std::string_view field) {
  std::vector<std::string> values;
  for (const ResultSnapshot& entry : snapshot.entries) {
    if (const std::string* value = entry.Find(field)) values.push_back(*value);
  }
  return values;
}

}  // namespace quenlo::host
