// Two threads, each driving its own voting session and host for a while: commands, replies and
// room-name changes (which release the process-wide document the other thread is building from).
// Run under ThreadSanitizer in CI, and under Wine against msxml, whose document is not
// free-threaded: the commands take turns on it.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "voting/voting_reply.h"
#include "voting_fixture.h"
#include "xml/element_handle.h"
#include "xml/element_lookup.h"
#include "xml/shared_document.h"

namespace quenlo::confext {

namespace {

struct Outcome {
  int rounds = 0;
  int failures = 0;
};

// One round: a session in its own room sends every kind of request and receives a reply of
// each kind; the counts of what the host saw must match exactly.
void PlayRound(const std::string& room, int round, Outcome& outcome) {
  RecordingHost host;
  const ComPtr<IUnknown> session((new VotingSession())->Primary());
  const ComPtr<IConferenceSession> config = session.As<IConferenceSession>();
  const ComPtr<IVotingCommands> commands = session.As<IVotingCommands>();
  const ComPtr<IPacketSink> sink = session.As<IPacketSink>();
  const OleString wideRoom(room.begin(), room.end());
  int failures = 0;
  failures += config->SetProperty(OLESTR("voting.room_name"), wideRoom.c_str()) != S_OK;
  failures += config->Attach(&host) != S_OK;

  const std::string id = std::to_string(round);
  const OleString wideId(id.begin(), id.end());
  failures += commands->Apply(wideId.c_str()) != S_OK;
  failures += commands->AddReferSubject(OLESTR("x"), OLESTR("2"), OLESTR("two")) != S_OK;
  failures += commands->AddReferSubject(OLESTR("x"), OLESTR("1"), OLESTR("one")) != S_OK;
  failures += commands->Refer(wideId.c_str(), OLESTR("Q"), OLESTR("C")) != S_OK;
  failures += commands->AddVotingSubject(OLESTR("one")) != S_OK;
  failures += commands->Voting(wideId.c_str(), OLESTR("Q")) != S_OK;
  // Releases the shared document while the other thread may be creating elements from it.
  failures += config->SetProperty(OLESTR("voting.room_name"), OLESTR("")) != S_OK;
  failures += commands->Kithe(wideId.c_str(), OLESTR("Q")) != S_FALSE;
  failures += config->SetProperty(OLESTR("voting.room_name"), wideRoom.c_str()) != S_OK;
  failures += commands->Result(wideId.c_str(), OLESTR("Q")) != S_OK;

  const std::string voting =
      "<iq type='set' to='" + room + "' id='" + id +
      "'><query type='voting' xmlns='quenlo:conf:voting'><qid>Q</qid><subjects>Q<subject>one"
      "</subject></subjects></query></iq>";
  failures += host.Sent().size() != 4u || !XmlEquivalent(host.Sent()[2].Get(), voting.c_str());
  {
    // The requests come from the document the other thread is building from; a host that keeps
    // them lets them go while no request is being built.
    const SharedDocument::Lease lease = SharedDocument::Lock();
    host.ForgetSent();
  }

  const std::string from = "<iq type='result' from='" + room + "'>";
  const std::string replies[] = {
      from +
          "<query xmlns='quenlo:conf:voting' type='content'><subject index='2'>b</subject>"
          "<subject index='1'>a</subject></query></iq>",
      from +
          "<query xmlns='quenlo:conf:voting' type='result'><subject name='a' index='1'>"
          "<user>u</user></subject><subject name='b' index='2' count='4'/></query></iq>",
      from +
          "<query xmlns='quenlo:conf:voting' type='showall'><subject id='1' type='2'>s"
          "</subject></query></iq>",
      "<iq type='error'><query xmlns='quenlo:conf:voting'/><error code='5'/></iq>",
  };
  for (const std::string& reply : replies) {
    const ComPtr<IXMLDOMElement> packet = ParseXml(reply.c_str());
    failures += !packet || sink->OnPacket(nullptr, packet.Get(), 0) != S_OK;
  }
  failures += host.Events().size() != 4u;
  if (host.Events().size() == 4u) {
    const ComPtr<IVotingReply> content = host.Events()[0].result.As<IVotingReply>();
    const OLECHAR* first = nullptr;
    failures += !content || content->GetSubject(0, &first) != S_OK || ToUtf8(first) != "a";
    const ComPtr<IVotingDetail> detail = host.Events()[1].result.As<IVotingDetail>();
    LONG votes = 0;
    const OLECHAR* name = nullptr;
    failures += !detail || detail->GetSubjectResult(1, &votes, &name) != S_FALSE || votes != 4;
  }
  config->Detach();
  outcome.failures += failures;
  ++outcome.rounds;
}

TEST(VotingConcurrencyTest, TwoThreadsDriveTheirOwnSessions) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::seconds(2);
  Outcome outcomes[2];
  std::thread players[2];
  for (int player = 0; player < 2; ++player) {
    players[player] = std::thread([player, deadline, &outcomes] {
      const std::string room = "room" + std::to_string(player) + "@conference.example";
      for (int round = 0; Clock::now() < deadline; ++round) {
        PlayRound(room, round, outcomes[player]);
      }
    });
  }
  for (std::thread& player : players) player.join();
  for (const Outcome& outcome : outcomes) {
    EXPECT_GT(outcome.rounds, 0);
    EXPECT_EQ(outcome.failures, 0);
  }
}

// Two threads of a host fill and send the subject collections of one session at once. Every
// command must answer as it would alone, and every ballot subject added must go out in exactly
// one Voting, whichever thread's Voting takes it.
TEST(VotingConcurrencyTest, TwoThreadsShareTheSubjectCollectionsOfOneSession) {
  RecordingHost host;
  const ComPtr<IUnknown> session((new VotingSession())->Primary());
  const ComPtr<IConferenceSession> config = session.As<IConferenceSession>();
  const ComPtr<IVotingCommands> commands = session.As<IVotingCommands>();
  ASSERT_EQ(config->SetProperty(OLESTR("voting.room_name"), kRoom), S_OK);
  ASSERT_EQ(config->Attach(&host), S_OK);
  constexpr int kRounds = 300;
  std::atomic<int> ready{0};
  int failures[2] = {0, 0};
  std::thread players[2];
  for (int player = 0; player < 2; ++player) {
    players[player] = std::thread([player, &ready, &failures, &commands] {
      const OleString text(1, static_cast<OLECHAR>(u'a' + player));
      ready.fetch_add(1);
      while (ready.load() < 2) {
      }
      int& failed = failures[player];
      for (int round = 0; round < kRounds; ++round) {
        failed += commands->AddReferSubject(OLESTR("x"), text.c_str(), text.c_str()) != S_OK;
        failed += commands->AddVotingSubject(text.c_str()) != S_OK;
        failed += commands->AddVotingSubject(text.c_str()) != S_OK;
        failed += commands->Refer(OLESTR("refer"), OLESTR("q"), OLESTR("c")) != S_OK;
        failed += commands->Voting(OLESTR("voting"), OLESTR("q")) != S_OK;
        failed += commands->ClearReferSubjects(text.c_str()) != S_OK;
      }
    });
  }
  for (std::thread& player : players) player.join();
  EXPECT_EQ(failures[0], 0);
  EXPECT_EQ(failures[1], 0);
  ASSERT_EQ(host.Sent().size(), 4u * kRounds);
  std::size_t ballots = 0;
  for (const ComPtr<IXMLDOMElement>& packet : host.Sent()) {
    const AttributeValue id = ElementHandle(packet).Attribute(OLESTR("id"));
    ASSERT_TRUE(id.Present());
    if (ToUtf8(OleString(id.Text())) != "voting") continue;
    std::vector<ComPtr<IXMLDOMElement>> subjects;
    FindElements(packet.Get(), OLESTR("subject"), subjects);
    ballots += subjects.size();
  }
  EXPECT_EQ(ballots, 2u * 2u * kRounds);
  config->Detach();
}

// A host thread may drop its reference to an announced object while the module drops its own
// after RaiseEvent. Two threads here release the last two references of many objects at the same
// moment: neither Release may touch an object the other one has just destroyed (the sanitizers
// see such a read), and exactly one of them sees the count reach zero.
TEST(VotingConcurrencyTest, TwoThreadsDropTheLastReferencesOfSharedResults) {
  constexpr int kObjects = 2000;
  std::vector<IVotingReply*> results;
  results.reserve(kObjects);
  for (int made = 0; made < kObjects; ++made) {
    ComPtr<IVotingReply> result = VotingReply::Create(nullptr);
    ASSERT_TRUE(result);
    result->AddRef();
    results.push_back(result.Detach());
  }
  std::atomic<int> ready{0};
  int zeros[2] = {0, 0};
  std::thread droppers[2];
  for (int dropper = 0; dropper < 2; ++dropper) {
    droppers[dropper] = std::thread([dropper, &ready, &results, &zeros] {
      ready.fetch_add(1);
      while (ready.load() < 2) {
      }
      for (IVotingReply* result : results) zeros[dropper] += result->Release() == 0;
    });
  }
  for (std::thread& dropper : droppers) dropper.join();
  EXPECT_EQ(zeros[0] + zeros[1], kObjects);
}

}  // namespace

}  // namespace quenlo::confext
