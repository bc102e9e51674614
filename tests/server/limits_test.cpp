// Bounds on what the service keeps and sends. A text over its bound is refused where it comes in,
// and no answer or push is larger than the stanza limit: a stanza over what the XMPP server
// accepts would cost the service its connection, for every room.
#include "server/limits.h"

#include <functional>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "server/namespaces.h"
#include "server/request_error.h"
#include "server/sqlite_store.h"
#include "server_fixture.h"
#include "temp_folder.h"

namespace quenlo::server::testing {
namespace {

using namespace std::chrono_literals;

int Code(ErrorCode code) { return static_cast<int>(code); }

std::string Qid(const std::string& qid) { return "<qid>" + qid + "</qid>"; }

// `bytes` bytes of two-byte characters (one ASCII letter first when odd), so that a bound
// counted in characters rather than bytes lets the text through.
std::string Text(std::size_t bytes) {
  std::string text(bytes % 2, 'x');
  while (text.size() < bytes) text += "\xC3\xA9";  // é
  return text;
}

// Characters escaped as four bytes or more: small requests that make large answers.
std::string Markup(std::size_t bytes) { return std::string(bytes, '>'); }

std::string Item(const std::string& qid, const std::string& text) {
  return "<subject><qid>" + qid + "</qid><text>" + text + "</text></subject>";
}

std::string Subjects(int count, const std::string& text) {
  std::string subjects = "<subjects>";
  for (int i = 1; i <= count; ++i) {
    subjects += "<subject index=\"" + std::to_string(i) + "\">" + text + "</subject>";
  }
  return subjects + "</subjects>";
}

class ServiceLimitTest : public ServerTest {
 protected:
  static constexpr std::size_t kLimit = ConferenceServer::kLeastMaxStanzaBytes;

  // What anybody can see of the room's votes and agenda.
  std::string Snapshot() {
    std::ostringstream seen;
    To(Voting(kCid, "showall"), kCid).query().print(seen);
    To(Agenda(kCid, "browse"), kCid).query().print(seen);
    return seen.str();
  }

  // The deliveries of one request, unparsed, to see their sizes.
  std::vector<Delivery> Raw(const std::string& from, const char* xml_namespace,
                            const std::string& type, const std::string& body = "") {
    return server_->Receive(from, std::string("<iq type=\"set\" to=\"") + kRoom +
                                      "\" id=\"big\"><query type=\"" + type + "\" xmlns=\"" +
                                      xml_namespace + "\">" + body + "</query></iq>");
  }

  // That the request was answered, alone, by an error reply of code 7 within the limit.
  void ExpectTooLarge(const std::vector<Delivery>& deliveries, const std::string& what) {
    ASSERT_EQ(deliveries.size(), 1u) << what;
    EXPECT_EQ(deliveries[0].refusal, ErrorCode::kAnswerTooLarge) << what;
    EXPECT_LE(deliveries[0].xml.size(), server_->max_stanza_bytes()) << what;
    EXPECT_EQ(ParseAll(deliveries)[0].ErrorCode(), Code(ErrorCode::kAnswerTooLarge)) << what;
  }
};

TEST_F(ServiceLimitTest, TextsOverTheirBoundAreRefusedWhereTheyComeInAndNothingIsKept) {
  const std::string qid = To(Voting(kAnn, "apply"), kAnn).text("qid");
  const auto vote = [&](const std::string& caption, const std::string& index,
                        const std::string& text) {
    return Qid(qid) + "<caption>" + caption + "</caption><subjects><subject index=\"" + index +
           "\">" + text + "</subject></subjects>";
  };
  const auto item = [](const std::string& field, const std::string& key, const std::string& text) {
    return "<subject><qid>" + key + "</qid><" + field + ">" + text + "</" + field + "></subject>";
  };
  struct Row {
    const char* what;
    std::size_t bound;
    const char* xml_namespace;
    const char* type;
    std::function<std::string(const std::string&)> body;
  };
  const Row rows[] = {
      {"caption", kMaxCaptionBytes, kVotingNamespace, "refer",
       [&](const std::string& text) { return vote(text, "1", "a"); }},
      {"subject index", kMaxSubjectIndexBytes, kVotingNamespace, "refer",
       [&](const std::string& text) { return vote("c", text, "a"); }},
      {"subject text", kMaxSubjectTextBytes, kVotingNamespace, "refer",
       [&](const std::string& text) { return vote("c", "1", text); }},
      {"agenda qid", kMaxAgendaQidBytes, kAgendaNamespace, "create",
       [&](const std::string& text) { return item("text", text, ""); }},
      {"agenda text", kMaxAgendaTextBytes, kAgendaNamespace, "create",
       [&](const std::string& text) { return item("text", "t", text); }},
      {"agenda time", kMaxAgendaFieldBytes, kAgendaNamespace, "create",
       [&](const std::string& text) { return item("time", "m", text); }},
      {"agenda type", kMaxAgendaFieldBytes, kAgendaNamespace, "create",
       [&](const std::string& text) { return item("type", "y", text); }},
      {"agenda value", kMaxAgendaFieldBytes, kAgendaNamespace, "create",
       [&](const std::string& text) { return item("value", "v", text); }},
  };
  for (const Row& row : rows) {
    const std::string before = Snapshot();
    const auto refused = Send(kAnn, row.xml_namespace, row.type, row.body(Text(row.bound + 1)));
    ASSERT_EQ(refused.size(), 1u) << row.what << ": nobody else may hear of it";
    EXPECT_EQ(refused[0].ErrorCode(), Code(ErrorCode::kTextTooLong)) << row.what;
    EXPECT_EQ(Snapshot(), before) << row.what;
    EXPECT_EQ(To(Send(kAnn, row.xml_namespace, row.type, row.body(Text(row.bound))), kAnn).type(),
              "result")
        << row.what;
  }
}

TEST_F(ServiceLimitTest, AJoinWithANameOverXmppsBoundIsTurnedAwayWithNothingKept) {
  constexpr char kDan[] = "dan@example.org/x";
  constexpr char kFresh[] = "fresh@conference.example";
  ASSERT_TRUE(server_->OpenRoom(kFresh));
  auto refusal = ConferenceServer::JoinRefusal::kNone;
  EXPECT_FALSE(server_->Join(kFresh, kDan, Text(kMaxVoterNameBytes + 1), "", &refusal));
  EXPECT_EQ(refusal, ConferenceServer::JoinRefusal::kNameTooLong);
  EXPECT_FALSE(server_->OwnerOf(kFresh)) << "the first to join owns a room; Dan did not join";
  EXPECT_FALSE(server_->Join(kRoom, kDan, Text(kMaxVoterNameBytes + 1)));
  EXPECT_EQ(To(Voting(kDan, "showall"), kDan).ErrorCode(), Code(ErrorCode::kNotMember));

  const std::string name = Text(kMaxVoterNameBytes);
  ASSERT_TRUE(server_->Join(kRoom, kDan, name));
  const std::string qid = ReferVote(false, true);
  Voting(kAnn, "start", Qid(qid));
  EXPECT_EQ(To(Ballot(kDan, qid, {"2"}), kDan).type(), "result");
  const Packet tally = To(Voting(kDan, "kithe", Qid(qid)), kDan);
  EXPECT_EQ(tally.query()
                .child("subjects")
                .find_child_by_attribute("index", "2")
                .child("user")
                .text()
                .get(),
            name);
}

// Answers that only read grow with the room; over the limit they become an error reply, and the
// service goes on.
TEST_F(ServiceLimitTest, ReadAnswersOverTheStanzaLimitBecomeErrorsWithinIt) {
  Restart(nullptr, kLimit);
  server_->OpenRoom(kRoom);
  JoinAll();
  constexpr int kEntries = 20;  // each about 4 KiB escaped: 80 KiB in all

  for (int i = 0; i < kEntries; ++i) {
    Agenda(kAnn, "create", Item("a" + std::to_string(i), Markup(kMaxAgendaTextBytes)));
  }
  ExpectTooLarge(Raw(kBob, kAgendaNamespace, "browse"), "browse");

  for (int i = 0; i < kEntries; ++i) {
    const std::string qid = To(Voting(kAnn, "apply"), kAnn).text("qid");
    Voting(kAnn, "refer",
           Qid(qid) + "<caption>" + Markup(kMaxCaptionBytes) + "</caption>" + Subjects(1, "a"));
  }
  ExpectTooLarge(Raw(kBob, kVotingNamespace, "showall"), "showall");

  // Names of voters, each repeated under the three subjects they chose.
  const std::string qid = To(Voting(kAnn, "apply"), kAnn).text("qid");
  Voting(kAnn, "refer",
         Qid(qid) + "<caption>c</caption><multi>true</multi><reg>true</reg>" + Subjects(3, "s"));
  Voting(kAnn, "start", Qid(qid));
  for (int i = 0; i < kEntries / 3; ++i) {
    const std::string voter = "voter" + std::to_string(i) + "@example.org/x";
    ASSERT_TRUE(server_->Join(kRoom, voter, Markup(kMaxVoterNameBytes)));
    ASSERT_EQ(To(Ballot(voter, qid, {"1", "2", "3"}), voter).type(), "result");
  }
  ExpectTooLarge(Raw(kBob, kVotingNamespace, "kithe", Qid(qid)), "kithe");
  EXPECT_EQ(To(Voting(kBob, "content", Qid(qid)), kBob).text("caption"), "c");
}

// A change whose answer would be too large is refused like any other: undone, and nobody is told.
TEST_F(ServiceLimitTest, AChangeWhoseAnswerWouldBeTooLargeIsUndone) {
  Restart(nullptr, kLimit);
  server_->OpenRoom(kRoom);
  JoinAll();
  const std::string qid = To(Voting(kAnn, "apply"), kAnn).text("qid");
  const std::string before = Snapshot();
  ExpectTooLarge(Raw(kAnn, kVotingNamespace, "refer",
                     Qid(qid) + "<caption>c</caption>" + Subjects(20, Markup(1000))),
                 "refer");
  EXPECT_EQ(Snapshot(), before);
  EXPECT_EQ(To(Voting(kAnn, "start", Qid(qid)), kAnn).ErrorCode(), Code(ErrorCode::kWrongState))
      << "the vote is not ready: its content was not kept";
  // The room goes on with everybody in it.
  EXPECT_EQ(
      To(Voting(kAnn, "refer", Qid(qid) + "<caption>c</caption>" + Subjects(2, "s")), kAnn).type(),
      "result");
  EXPECT_EQ(Voting(kAnn, "start", Qid(qid)).size(), 3u);
  EXPECT_EQ(To(Ballot(kBob, qid, {"1"}), kBob).type(), "result");
}

// A vote's end cannot be refused: when its description no longer fits (the limit was lowered),
// everybody still learns which vote ended.
TEST_F(ServiceLimitTest, AnEndTooLargeToPushGoesOutAsANoticeNamingTheVote) {
  TempFolder folder;
  const std::string path = folder.File("rooms.db");
  Restart(std::make_unique<SqliteStore>(path));
  server_->OpenRoom(kRoom);
  JoinAll();
  const std::string qid = To(Voting(kAnn, "apply"), kAnn).text("qid");
  Voting(kAnn, "refer",
         Qid(qid) + "<caption>c</caption><timeout>60</timeout>" + Subjects(20, Markup(1000)));
  ASSERT_EQ(Voting(kAnn, "start", Qid(qid)).size(), 3u);

  server_.reset();  // lets go of the file
  Restart(std::make_unique<SqliteStore>(path), kLimit);
  JoinAll();
  now_ += 60s;
  const std::vector<Delivery> ends = server_->Tick();
  ASSERT_EQ(ends.size(), 3u);
  for (const Delivery& end : ends) EXPECT_LE(end.xml.size(), kLimit);
  const Packet notice = To(ParseAll(ends), kBob);
  EXPECT_STREQ(notice.query().attribute("type").value(), "end");
  EXPECT_EQ(notice.text("qid"), qid);
  EXPECT_FALSE(notice.query().child("subjects"));
  EXPECT_EQ(To(Voting(kBob, "content", Qid(qid)), kBob).ErrorCode(),
            Code(ErrorCode::kAnswerTooLarge));
}

// The largest answer a real meeting asks for: the tally of a registered vote in a room of
// 10,000 people, each named. It must fit under the default limit.
TEST_F(ServiceLimitTest, ARegisteredVoteOfTenThousandNamedBallotsIsAnswered) {
  static const char* const kFirst[] = {"Anna",   "Bernhard", "Chiara",     "Dmitri", "Elisabeth",
                                       "Farid",  "Gunilla",  "Hiroshi",    "Ines",   "Jean-Luc",
                                       "Katrin", "Lars",     "Malgorzata", "Nils",   "Olufemi",
                                       "Priya",  "Quentin",  "Rosalind",   "Sven",   "Thi Thu"};
  static const char* const kLast[] = {"Andersson", "Bianchi",   "Chowdhury",  "Dubois",
                                      "Eriksen",   "Fernandez", "Gallagher",  "Hoffmann",
                                      "Ivanova",   "Jankowski", "Kowalczyk",  "Lindqvist",
                                      "Müller",    "Nakamura",  "O'Sullivan", "Papadopoulos",
                                      "Quispe",    "Rasmussen", "Schneider",  "Van der Berg"};
  constexpr int kVoters = 10000;
  const std::string qid = ReferVote(false, true);
  Voting(kAnn, "start", Qid(qid));
  std::size_t name_bytes = 0;
  for (int i = 0; i < kVoters; ++i) {
    const std::string voter = "voter" + std::to_string(i) + "@example.org/desk";
    const std::string name = std::string(kFirst[i % 20]) + " " + kLast[(i / 20) % 20];
    name_bytes += name.size();
    ASSERT_TRUE(server_->Join(kRoom, voter, name));
    ASSERT_EQ(To(Ballot(voter, qid, {std::to_string(i % 3 + 1)}), voter).type(), "result");
  }
  const std::vector<Delivery> tally = Raw(kBob, kVotingNamespace, "kithe", Qid(qid));
  ASSERT_EQ(tally.size(), 1u);
  ASSERT_FALSE(tally[0].refusal) << tally[0].xml.substr(0, 500);
  EXPECT_EQ(ParseAll(tally)[0].text("count"), std::to_string(kVoters));
  EXPECT_LE(tally[0].xml.size(), ConferenceServer::kDefaultMaxStanzaBytes);
  std::cout << "tally of " << kVoters << " named ballots (names " << name_bytes / kVoters
            << " bytes on average): " << tally[0].xml.size() << " bytes, limit "
            << ConferenceServer::kDefaultMaxStanzaBytes << "\n";
  RecordProperty("tally_bytes", static_cast<int>(tally[0].xml.size()));
}

}  // namespace
}  // namespace quenlo::server::testing
