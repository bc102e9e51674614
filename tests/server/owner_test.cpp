#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "server/address.h"
#include "server/namespaces.h"
#include "server/request_error.h"
#include "server/sqlite_store.h"
#include "server_fixture.h"

namespace quenlo::server::testing {
namespace {

int Code(ErrorCode code) { return static_cast<int>(code); }

std::string Qid(const std::string& qid) { return "<qid>" + qid + "</qid>"; }

class OwnerTest : public ServerTest {
 protected:
  std::vector<Packet> HandOver(const std::string& from, const std::string& successor) {
    return Send(from, kAdminNamespace, "owner", "<owner>" + successor + "</owner>");
  }

  // What anybody can see of the room's votes and agenda, to show that a refusal changed nothing.
  std::string Snapshot() {
    std::ostringstream seen;
    To(Voting(kCid, "showall"), kCid).query().print(seen);
    To(Agenda(kCid, "browse"), kCid).query().print(seen);
    return seen.str();
  }
};

TEST_F(OwnerTest, OnlyTheOwnerRunsTheMeeting) {
  const std::string ready = ReferVote(false, false);
  const std::string running = ReferVote(false, false);
  Voting(kAnn, "start", Qid(running));
  Agenda(kAnn, "create",
         "<subject><qid>a</qid><text>Welcome</text><time/><type/><value/></subject>");
  const std::string before = Snapshot();

  const std::string item = "<subject><qid>a</qid><text>Taken over</text></subject>";
  const std::vector<std::pair<const char*, std::pair<std::string, std::string>>> refused = {
      {kVotingNamespace, {"apply", ""}},
      {kVotingNamespace,
       {"refer", Qid(ready) + "<caption>x</caption><subjects>"
                              "<subject index=\"1\">a</subject></subjects>"}},
      {kVotingNamespace, {"start", Qid(ready)}},
      {kVotingNamespace, {"end", Qid(running)}},
      {kVotingNamespace, {"delete", Qid(ready)}},
      {kAgendaNamespace, {"create", "<subject><qid>b</qid></subject>"}},
      {kAgendaNamespace, {"modify", item}},
      {kAgendaNamespace, {"delete", Qid("a")}},
      {kAgendaNamespace, {"sync", Qid("a")}},
  };
  for (const auto& [service, request] : refused) {
    const auto packets = Send(kBob, service, request.first, request.second);
    ASSERT_EQ(packets.size(), 1u) << request.first << ": nobody else may hear of it";
    EXPECT_EQ(packets[0].ErrorCode(), Code(ErrorCode::kNotAllowed)) << request.first;
  }
  EXPECT_EQ(Snapshot(), before);
  EXPECT_FALSE(To(Agenda(kBob, "request"), kBob).query().first_child());

  // Everything a member does besides running the meeting stays open to all.
  for (const auto& [type, body] : std::vector<std::pair<std::string, std::string>>{
           {"showall", ""}, {"content", Qid(ready)}, {"kithe", Qid(running)}}) {
    EXPECT_EQ(To(Voting(kBob, type, body), kBob).type(), "result") << type;
  }
  EXPECT_EQ(To(Ballot(kBob, running, {"1"}), kBob).type(), "result");
  EXPECT_EQ(To(Agenda(kCid, "browse"), kCid).type(), "result");
  EXPECT_EQ(To(Voting(kAnn, "end", Qid(running)), kAnn).type(), "result");
  EXPECT_EQ(To(Voting(kCid, "result", Qid(running)), kCid).text("count"), "1");
}

TEST_F(OwnerTest, OwnershipGoesOnlyFromTheOwnerToSomebodyInTheRoom) {
  EXPECT_EQ(server_->OwnerOf(kRoom), "ann@example.org");
  EXPECT_EQ(To(HandOver(kBob, "bob@example.org"), kBob).ErrorCode(), Code(ErrorCode::kNotAllowed));
  EXPECT_EQ(To(HandOver(kAnn, "eve@example.org"), kAnn).ErrorCode(),
            Code(ErrorCode::kOwnerNotPresent));
  EXPECT_EQ(To(Send(kAnn, kAdminNamespace, "abdicate"), kAnn).ErrorCode(),
            Code(ErrorCode::kUnknownRequestType));
  EXPECT_EQ(server_->OwnerOf(kRoom), "ann@example.org");

  // Any of Cid's addresses names Cid the person.
  const Packet& handed = To(HandOver(kAnn, "cid@example.org/elsewhere"), kAnn);
  EXPECT_EQ(handed.type(), "result");
  EXPECT_EQ(handed.text("owner"), "cid@example.org");
  EXPECT_EQ(server_->OwnerOf(kRoom), "cid@example.org");
  EXPECT_EQ(To(Voting(kAnn, "apply"), kAnn).ErrorCode(), Code(ErrorCode::kNotAllowed));
  EXPECT_EQ(To(Voting(kCid, "apply"), kCid).type(), "result");

  // Leaving does not give the room away: the owner is the person, present or not.
  ASSERT_TRUE(server_->Leave(kRoom, kCid));
  ASSERT_TRUE(server_->Join(kRoom, "cid@example.org/phone", "Cid"));
  EXPECT_EQ(To(Voting("cid@example.org/phone", "apply"), "cid@example.org/phone").type(), "result");
}

TEST_F(OwnerTest, AnOwnerNamedInAdvanceOwnsTheRoomWhoeverJoinsFirst) {
  constexpr char kBoard[] = "board@conference.example";
  ASSERT_TRUE(server_->SetOwner(kBoard, "bob@example.org"));
  ASSERT_TRUE(server_->Join(kBoard, kAnn, "Ann"));
  ASSERT_TRUE(server_->Join(kBoard, kBob, "Bob"));
  EXPECT_EQ(server_->OwnerOf(kBoard), "bob@example.org");
  const auto apply = [&](const std::string& from) {
    return To(ParseAll(server_->Receive(
                  from, std::string("<iq type='set' to='") + kBoard +
                            "' id='a'><query type='apply' xmlns='quenlo:conf:voting'/></iq>")),
              from);
  };
  EXPECT_EQ(apply(kAnn).ErrorCode(), Code(ErrorCode::kNotAllowed));
  EXPECT_EQ(apply(kBob).type(), "result");
  // The other room keeps the owner who joined it first.
  EXPECT_EQ(server_->OwnerOf(kRoom), "ann@example.org");
}

TEST_F(OwnerTest, OnePersonOnTwoDevicesCastsOneBallotUnderTheNameTheyJoinedWith) {
  constexpr char kBobPhone[] = "bob@example.org/phone";
  ASSERT_TRUE(server_->Join(kRoom, kBobPhone, "Bob"));
  const std::string qid = ReferVote(false, true);
  // Ann's second device runs the meeting as well as her first.
  constexpr char kAnnTablet[] = "ann@example.org/tablet";
  ASSERT_TRUE(server_->Join(kRoom, kAnnTablet, "Ann"));
  EXPECT_EQ(To(Voting(kAnnTablet, "start", Qid(qid)), kAnnTablet).type(), "result");

  EXPECT_EQ(To(Ballot(kBob, qid, {"1"}), kBob).type(), "result");
  EXPECT_EQ(To(Ballot(kBobPhone, qid, {"2"}), kBobPhone).ErrorCode(),
            Code(ErrorCode::kAlreadyVoted));
  const Packet& tally = To(Voting(kCid, "kithe", Qid(qid)), kCid);
  EXPECT_EQ(tally.text("count"), "1");
  const pugi::xml_node yes = tally.query().child("subjects").child("subject");
  EXPECT_STREQ(yes.child("user").text().get(), "Bob");
  EXPECT_FALSE(yes.child("user").next_sibling("user"));
}

TEST_F(OwnerTest, AnAddressWrittenInsideTheRequestIsNotBelieved) {
  const std::string qid = ReferVote(false, true);
  const auto forged = [&](const std::string& from, const std::string& claimed,
                          const std::string& type, const std::string& body) {
    return ParseAll(server_->Receive(from, std::string("<iq type='set' from='") + claimed +
                                               "' to='" + kRoom + "' id='f'><query type='" + type +
                                               "' xmlns='quenlo:conf:voting'>" + body +
                                               "</query></iq>"));
  };
  const auto start = forged(kBob, kAnn, "start", Qid(qid));
  ASSERT_EQ(start.size(), 1u);
  EXPECT_EQ(start[0].to, kBob);
  EXPECT_EQ(start[0].ErrorCode(), Code(ErrorCode::kNotAllowed));

  Voting(kAnn, "start", Qid(qid));
  const auto ballot =
      forged(kBob, kCid, "voting", Qid(qid) + "<subjects><subject>2</subject></subjects>");
  EXPECT_EQ(To(ballot, kBob).type(), "result");
  EXPECT_EQ(To(Ballot(kCid, qid, {"1"}), kCid).type(), "result");
  const Packet& tally = To(Voting(kAnn, "kithe", Qid(qid)), kAnn);
  const pugi::xml_node no = tally.query().child("subjects").find_child_by_attribute("index", "2");
  EXPECT_STREQ(no.child("user").text().get(), "Bob");
  EXPECT_EQ(tally.text("count"), "2");

  // A stranger claiming a member's address is still a stranger.
  const auto stranger = forged("eve@example.org", kAnn, "apply", "");
  EXPECT_EQ(To(stranger, "eve@example.org").ErrorCode(), Code(ErrorCode::kNotMember));
}

// People write addresses in any letter case and in any script; XMPP servers stamp them in the
// form of XMPP's stringprep profiles. Compared as written, an owner named "Bob@localhost" would
// never be the Bob whose requests arrive.
TEST(AddressFaultTest, WrittenAddressesTakeTheFormXmppServersStamp) {
  const std::pair<const char*, std::optional<std::string>> rows[] = {
      {"ann@example.org", "ann@example.org"},
      {"Ann@EXAMPLE.org", "ann@example.org"},
      {"ANN@example.org/Desk", "ann@example.org/Desk"},      // a resource keeps its case
      {"\xC3\x85SA@example.org", "\xC3\xA5sa@example.org"},  // ÅSA: åsa
      {"Stra\xC3\x9F"
       "e@example.org",
       "strasse@example.org"},                         // Straße: case folded
      {"\xEF\xAC\x80@example.org", "ff@example.org"},  // the ligature ﬀ: NFKC
      {"ann@B\xC3\x9C"
       "CHER.example",
       "ann@b\xC3\xBC"
       "cher.example"},  // BÜCHER: bücher
      {"ann@example.org.", "ann@example.org"},
      {"ann smith@example.org", std::nullopt},  // a space is prohibited in a node
      {"ann\"s@example.org", std::nullopt},
      {"@example.org", std::nullopt},
      {"ann@", std::nullopt},
      {"ann@example.org/", std::nullopt},
      {"ann@exa mple.org", std::nullopt},  // no host name
      {"\xC3@example.org", std::nullopt},  // not UTF-8
  };
  for (const auto& [written, normalized] : rows) {
    EXPECT_EQ(NormalizedAddress(written), normalized) << written;
  }
  EXPECT_FALSE(NormalizedAddress(std::string(1024, 'a') + "@example.org"));
  EXPECT_TRUE(NormalizedAddress(std::string(1023, 'a') + "@example.org"));
}

TEST_F(OwnerTest, AnOwnerWrittenInAnyCaseOrScriptIsThePersonTheServerStampsFault) {
  constexpr char kAsa[] = "\xC3\xA5sa@example.org/desk";  // as the XMPP server stamps Åsa
  struct Row {
    bool hand_over;  // otherwise named in advance, as confserver --owner does
    const char* written;
    const char* member;  // who then owns the room
  };
  const Row rows[] = {
      {false, "Bob@EXAMPLE.org", kBob},
      {false, "\xC3\x85SA@Example.org", kAsa},
      {true, "BOB@example.ORG/elsewhere", kBob},
      {true, "\xC3\x85sa@example.org", kAsa},
  };
  int number = 0;
  for (const Row& row : rows) {
    const std::string room = "room" + std::to_string(++number) + "@conference.example";
    const auto ask = [&](const std::string& from, const std::string& xml_namespace,
                         const std::string& type, const std::string& body) {
      return To(ParseAll(server_->Receive(from, "<iq type='set' to='" + room +
                                                    "' id='o'><query type='" + type + "' xmlns='" +
                                                    xml_namespace + "'>" + body + "</query></iq>")),
                from);
    };
    if (row.hand_over) {
      ASSERT_TRUE(server_->OpenRoom(room));
    } else {
      ASSERT_TRUE(server_->SetOwner(room, row.written)) << row.written;
    }
    for (const char* member : {kAnn, kBob, kAsa}) ASSERT_TRUE(server_->Join(room, member, "M"));
    if (row.hand_over) {
      EXPECT_EQ(
          ask(kAnn, kAdminNamespace, "owner", std::string("<owner>") + row.written + "</owner>")
              .type(),
          "result")
          << row.written;
    }
    EXPECT_EQ(server_->OwnerOf(room), BareAddress(row.member)) << row.written;
    EXPECT_EQ(ask(row.member, kVotingNamespace, "apply", "").type(), "result") << row.written;
    EXPECT_EQ(ask(kAnn, kVotingNamespace, "apply", "").ErrorCode(), Code(ErrorCode::kNotAllowed))
        << row.written;
  }

  // What is no address at all is refused, and nothing changes.
  EXPECT_FALSE(server_->SetOwner(kRoom, "bob smith@example.org"));
  EXPECT_EQ(To(HandOver(kAnn, "bob smith@example.org"), kAnn).ErrorCode(),
            Code(ErrorCode::kMalformedRequest));
  EXPECT_EQ(server_->OwnerOf(kRoom), "ann@example.org");

  // An owner an earlier version stored as it was written is compared in the same form.
  auto store = std::make_unique<SqliteStore>(":memory:");
  store->Begin();
  store->SaveRoom(kRoom, "Bob@Example.ORG");
  store->Commit();
  Restart(std::move(store));
  JoinAll();
  EXPECT_EQ(To(Voting(kBob, "apply"), kBob).type(), "result");
}

}  // namespace
}  // namespace quenlo::server::testing
