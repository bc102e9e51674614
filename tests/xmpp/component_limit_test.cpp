// No participant can make the service send a stanza its XMPP server refuses: against a Prosody
// with its default limits (256 KiB from a client, 512 KiB from a component), each way of making
// an answer too large is refused where it comes in or answered with code 7. The component stays
// on its first connection throughout, and another room is served after every attempt.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/xmpp/component_fixture.h"
#include "tests/xmpp/prosody_server.h"

namespace quenlo::xmpp_test {
namespace {

using ::testing::HasSubstr;

constexpr char kOtherRoom[] = "other@conference.example.net";

std::size_t Occurrences(const std::string& text, const std::string& word) {
  std::size_t count = 0;
  for (auto at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) ++count;
  return count;
}

class ComponentLimitTest : public ComponentFixture {
 protected:
  std::unique_ptr<XmppServer> MakeServer() override {
    return std::make_unique<ProsodyServer>(Users(), ProsodyServer::ClientStanzas::kDefaultLimit);
  }

  void SetUp() override {
    ComponentFixture::SetUp();
    StartComponent();
    alice_ = &Client("alice");
    alice_->Join(kRoom, "Alice");  // the first in, so the owner
    carol_ = &Client("carol");
    carol_->Join(kOtherRoom, "Carol");
  }

  // Sends `query` from `client` to `room` without waiting; gives the request's id.
  std::string Post(TestClient& client, const std::string& room, const std::string& query) {
    const std::string id = "l" + std::to_string(++requests_);
    client.Send("<iq type='set' id='" + id + "' to='" + room + "'>" + query + "</iq>");
    return id;
  }

  // Waits for the answers to `ids`; gives them in order.
  std::vector<ReceivedStanza> Answers(TestClient& client, const std::vector<std::string>& ids) {
    const bool all = RunUntil(
        context_,
        [&] {
          return std::all_of(ids.begin(), ids.end(),
                             [&](const std::string& id) { return client.AnswerTo(id); });
        },
        30s);
    EXPECT_TRUE(all) << "unanswered requests\n" << ComponentLog();
    std::vector<ReceivedStanza> answers;
    for (const std::string& id : ids) {
      answers.push_back(client.AnswerTo(id) ? *client.AnswerTo(id) : ReceivedStanza{});
    }
    return answers;
  }

  ReceivedStanza Ask(TestClient& client, const std::string& room, const std::string& query) {
    return Answers(client, {Post(client, room, query)})[0];
  }

  // The component never lost its connection, and the other room is served.
  void ExpectStillServing(const std::string& after) {
    EXPECT_EQ(Ask(*carol_, kOtherRoom, "<query type='browse' xmlns='quenlo:conf:agenda'/>").type,
              "result")
        << after;
    const std::string log = ComponentLog();
    EXPECT_EQ(Occurrences(log, "confserver: connected to"), 1u) << after << "\n" << log;
    EXPECT_EQ(log.find("disconnected"), std::string::npos) << after << "\n" << log;
  }

  TestClient* alice_ = nullptr;
  TestClient* carol_ = nullptr;
  int requests_ = 0;
};

TEST_F(ComponentLimitTest, ALongNameIsTurnedAwayAtTheDoor) {
  TestClient& bob = Client("bob");
  const std::string occupant = std::string(kRoom) + "/Bob";
  // Well under what Prosody takes from a client; repeated under every subject of a tally it
  // would be more than Prosody takes from the component.
  bob.Send("<presence to='" + occupant + "'><nick xmlns='http://jabber.org/protocol/nick'>" +
           std::string(200000, 'n') + "</nick></presence>");
  ASSERT_TRUE(RunUntil(context_, [&] {
    return std::any_of(bob.received().begin(), bob.received().end(), [&](const auto& stanza) {
      return stanza.name == "presence" && stanza.from == occupant;
    });
  }));
  const auto answer = std::find_if(bob.received().begin(), bob.received().end(),
                                   [&](const auto& stanza) { return stanza.from == occupant; });
  EXPECT_EQ(answer->type, "error");
  EXPECT_THAT(answer->text, HasSubstr("<not-acceptable"));
  EXPECT_THAT(Ask(bob, kRoom, "<query type='showall' xmlns='quenlo:conf:voting'/>").text,
              HasSubstr("<code>4</code>"))
      << "nothing of the refused join is kept";
  ExpectStillServing("a long name");

  bob.Join(kRoom, "Bob");
  EXPECT_EQ(Ask(bob, kRoom, "<query type='showall' xmlns='quenlo:conf:voting'/>").type, "result");
}

TEST_F(ComponentLimitTest, LongTextsAreRefusedWhereTheyComeIn) {
  const std::string text(60000, 't');  // each request under 64 KiB
  std::vector<std::string> ids;
  for (int i = 0; i < 9; ++i) {
    ids.push_back(Post(*alice_, kRoom,
                       "<query type='create' xmlns='quenlo:conf:agenda'><subject><qid>a" +
                           std::to_string(i) + "</qid><text>" + text +
                           "</text></subject></query>"));
  }
  ids.push_back(Post(*alice_, kRoom, "<query type='apply' xmlns='quenlo:conf:voting'/>"));
  ids.push_back(Post(*alice_, kRoom,
                     "<query type='refer' xmlns='quenlo:conf:voting'><qid>1</qid><caption>" + text +
                         "</caption><subjects><subject index='1'>a</subject></subjects>"
                         "</query>"));
  const std::vector<ReceivedStanza> answers = Answers(*alice_, ids);
  for (std::size_t i = 0; i < answers.size(); ++i) {
    if (i == 9) continue;  // the apply
    EXPECT_EQ(answers[i].type, "error") << i;
    EXPECT_THAT(answers[i].text, HasSubstr("<code>8</code>")) << i;
  }
  const ReceivedStanza browse =
      Ask(*alice_, kRoom, "<query type='browse' xmlns='quenlo:conf:agenda'/>");
  EXPECT_EQ(browse.type, "result");
  EXPECT_THAT(browse.text, ::testing::Not(HasSubstr("<subject")));
  ExpectStillServing("long texts");
}

TEST_F(ComponentLimitTest, ManyLongCaptionsAreAnsweredWithTheTooLargeError) {
  // Each caption at its bound of markup characters, four bytes each once escaped: 130 of them
  // list to over the default limit of 448 KiB, and over Prosody's 512 KiB.
  constexpr int kVotes = 130;
  const std::string caption(1024, '>');
  std::vector<std::string> ids;
  for (int i = 0; i < kVotes; ++i) {
    ids.push_back(Post(*alice_, kRoom, "<query type='apply' xmlns='quenlo:conf:voting'/>"));
  }
  Answers(*alice_, ids);
  ids.clear();
  for (int qid = 1; qid <= kVotes; ++qid) {
    ids.push_back(Post(*alice_, kRoom,
                       "<query type='refer' xmlns='quenlo:conf:voting'><qid>" +
                           std::to_string(qid) + "</qid><caption>" + caption +
                           "</caption><subjects><subject index='1'>a</subject></subjects>"
                           "</query>"));
  }
  for (const ReceivedStanza& answer : Answers(*alice_, ids)) ASSERT_EQ(answer.type, "result");

  const ReceivedStanza listing =
      Ask(*alice_, kRoom, "<query type='showall' xmlns='quenlo:conf:voting'/>");
  EXPECT_EQ(listing.type, "error");
  EXPECT_THAT(listing.text, HasSubstr("<code>7</code>"));
  EXPECT_THAT(listing.text, HasSubstr("<resource-constraint"));
  ExpectStillServing("a listing too large");
  // Each vote is still read on its own.
  EXPECT_EQ(
      Ask(*alice_, kRoom, "<query type='content' xmlns='quenlo:conf:voting'><qid>1</qid></query>")
          .type,
      "result");
}

}  // namespace
}  // namespace quenlo::xmpp_test
