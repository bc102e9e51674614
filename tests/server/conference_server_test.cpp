#include <set>
#include <string>
#include <thread>
#include <vector>

#include "server/namespaces.h"
#include "server/packet_writer.h"
#include "server/request_error.h"
#include "server_fixture.h"

namespace quenlo::server::testing {
namespace {

int Code(ErrorCode code) { return static_cast<int>(code); }

using ConferenceServerTest = ServerTest;

TEST_F(ConferenceServerTest, ReplyComesFromTheRoomWithTheRequestId) {
  const auto packets = Send(kAnn, kVotingNamespace, "apply", "", "req-42");
  ASSERT_EQ(packets.size(), 1u);
  const pugi::xml_node iq = packets[0].iq();
  EXPECT_STREQ(iq.attribute("type").value(), "result");
  EXPECT_STREQ(iq.attribute("from").value(), kRoom);
  EXPECT_STREQ(iq.attribute("to").value(), kAnn);
  EXPECT_STREQ(iq.attribute("id").value(), "req-42");
  EXPECT_STREQ(packets[0].query().attribute("type").value(), "apply");
  EXPECT_STREQ(packets[0].query().attribute("xmlns").value(), kVotingNamespace);
}

TEST_F(ConferenceServerTest, ErrorReplyCarriesQueryCodeQidAndText) {
  const auto packets = Send(kAnn, kVotingNamespace, "start", "<qid>77</qid>", "req-7");
  const Packet& error = To(packets, kAnn);
  EXPECT_EQ(error.type(), "error");
  EXPECT_STREQ(error.iq().attribute("from").value(), kRoom);
  EXPECT_STREQ(error.iq().attribute("id").value(), "req-7");
  EXPECT_STREQ(error.query().attribute("type").value(), "start");
  EXPECT_STREQ(error.query().attribute("xmlns").value(), kVotingNamespace);
  EXPECT_FALSE(error.query().first_child());
  EXPECT_EQ(error.ErrorCode(), Code(ErrorCode::kUnknownVote));
  EXPECT_STREQ(error.iq().child("error").child("qid").text().get(), "77");
  EXPECT_STRNE(error.iq().child("error").child("text").text().get(), "");
}

// An error reply names the vote or item concerned: the first qid anywhere in the request's query,
// wherever the request keeps it.
TEST_F(ConferenceServerTest, ErrorReplyQuotesTheFirstQidAnywhereInTheQueryFault) {
  struct Row {
    const char* xml_namespace;
    const char* type;
    const char* body;
    const char* qid;
  };
  const Row rows[] = {
      {kVotingNamespace, "end", "<qid>77</qid>", "77"},
      {kVotingNamespace, "voting", "<subjects><subject>1</subject></subjects><qid>78</qid>", "78"},
      {kAgendaNamespace, "modify", "<subject><qid>zz</qid><text>t</text></subject>", "zz"},
      {kAgendaNamespace, "create", "<subject><text>no qid</text></subject>", ""},
  };
  for (const Row& row : rows) {
    const Packet error = To(Send(kAnn, row.xml_namespace, row.type, row.body), kAnn);
    EXPECT_EQ(error.type(), "error") << row.body;
    EXPECT_STREQ(error.iq().child("error").child("qid").text().get(), row.qid) << row.body;
  }
}

// XMPP software that does not know the service's codes reads the kind of refusal from the stanza
// error, so each code's condition is part of the protocol; the delivery also carries the code
// itself, so that nothing downstream reads the text to learn it.
TEST(ErrorReplyTest, EachCodeCarriesItsStanzaErrorAndTheDeliveryItsCode) {
  struct Row {
    ErrorCode code;
    const char* type;
    const char* condition;
  };
  const Row rows[] = {
      {ErrorCode::kMalformedRequest, "modify", "bad-request"},
      {ErrorCode::kUnknownRequestType, "cancel", "service-unavailable"},
      {ErrorCode::kUnknownRoom, "cancel", "item-not-found"},
      {ErrorCode::kNotMember, "auth", "forbidden"},
      {ErrorCode::kNotAllowed, "auth", "forbidden"},
      {ErrorCode::kNotStored, "wait", "internal-server-error"},
      {ErrorCode::kAnswerTooLarge, "cancel", "resource-constraint"},
      {ErrorCode::kTextTooLong, "modify", "not-acceptable"},
      {ErrorCode::kUnknownVote, "cancel", "item-not-found"},
      {ErrorCode::kWrongState, "cancel", "not-allowed"},
      {ErrorCode::kAlreadyVoted, "cancel", "conflict"},
      {ErrorCode::kNotSingleChoice, "modify", "bad-request"},
      {ErrorCode::kUnknownSubject, "modify", "bad-request"},
      {ErrorCode::kEmptyBallot, "modify", "bad-request"},
      {ErrorCode::kUnknownAgendaItem, "cancel", "item-not-found"},
      {ErrorCode::kDuplicateAgendaItem, "cancel", "conflict"},
      {ErrorCode::kOwnerNotPresent, "cancel", "item-not-found"},
  };
  pugi::xml_document request;
  request.load_string(
      "<iq type='set' id='r1'><query type='start' xmlns='quenlo:conf:voting'/></iq>");
  for (const Row& row : rows) {
    const Delivery delivery = MakeErrorReply("room@conference.example", "ann@example.org/desk",
                                             request.child("iq"), RequestError(row.code, "why"));
    EXPECT_EQ(delivery.refusal, row.code);
    pugi::xml_document reply;
    ASSERT_TRUE(reply.load_string(delivery.xml.c_str()));
    const pugi::xml_node error = reply.child("iq").child("error");
    EXPECT_STREQ(error.attribute("type").value(), row.type) << Code(row.code);
    EXPECT_STREQ(error.first_child().name(), row.condition) << Code(row.code);
    EXPECT_STREQ(error.first_child().attribute("xmlns").value(),
                 "urn:ietf:params:xml:ns:xmpp-stanzas");
    EXPECT_EQ(error.child("code").text().as_int(), Code(row.code));
  }
}

// An answer carries the request's id back exactly: an empty one stays, a missing one stays missing.
TEST_F(ConferenceServerTest, AnswersKeepAnEmptyIdAndLeaveOutAMissingOne) {
  const auto answer = [this](const std::string& id_attribute, const char* type) {
    return ParseAll(server_->Receive(kAnn, "<iq type='set' to='" + std::string(kRoom) + "'" +
                                               id_attribute + "><query type='" + type +
                                               "' xmlns='quenlo:conf:voting'/></iq>"));
  };
  for (const char* type : {"apply", "start"}) {  // a result, and an error (no qid)
    SCOPED_TRACE(type);
    const Packet empty = To(answer(" id=''", type), kAnn);
    ASSERT_TRUE(empty.iq().attribute("id"));
    EXPECT_STREQ(empty.iq().attribute("id").value(), "");
    EXPECT_FALSE(To(answer("", type), kAnn).iq().attribute("id"));
  }
  const Packet unknownRoom =
      To(ParseAll(server_->Receive(kAnn,
                                   "<iq type='set' to='other@conf' id=''><query "
                                   "type='apply' xmlns='quenlo:conf:voting'/></iq>")),
         kAnn);
  EXPECT_TRUE(unknownRoom.iq().attribute("id"));
}

TEST_F(ConferenceServerTest, UnknownTypesAndServicesAreRefused) {
  EXPECT_EQ(To(Voting(kAnn, "vote"), kAnn).ErrorCode(), Code(ErrorCode::kUnknownRequestType));
  EXPECT_EQ(To(Agenda(kAnn, "showall"), kAnn).ErrorCode(), Code(ErrorCode::kUnknownRequestType));
  EXPECT_EQ(To(Send(kAnn, "quenlo:conf:chat", "apply"), kAnn).ErrorCode(),
            Code(ErrorCode::kUnknownRequestType));
}

TEST_F(ConferenceServerTest, StrangersAndUnknownRoomsAreRefused) {
  const Packet& stranger = To(Voting("eve@example.org", "apply"), "eve@example.org");
  EXPECT_EQ(stranger.ErrorCode(), Code(ErrorCode::kNotMember));

  ASSERT_TRUE(server_->Leave(kRoom, kCid));
  EXPECT_EQ(To(Voting(kCid, "apply"), kCid).ErrorCode(), Code(ErrorCode::kNotMember));
  const std::string qid = ReferVote(false, false);
  const auto started = Voting(kAnn, "start", "<qid>" + qid + "</qid>");
  EXPECT_EQ(started.size(), 2u);  // the reply and Bob's push: none to those who left

  const auto packets = ParseAll(server_->Receive(kAnn,
                                                 "<iq type='set' to='other@conf' id='x'><query "
                                                 "type='apply' xmlns='quenlo:conf:voting'/></iq>"));
  ASSERT_EQ(packets.size(), 1u);
  EXPECT_EQ(packets[0].ErrorCode(), Code(ErrorCode::kUnknownRoom));
  EXPECT_STREQ(packets[0].iq().attribute("from").value(), "other@conf");
}

TEST_F(ConferenceServerTest, RoomsKeepTheirOwnVotes) {
  ASSERT_TRUE(server_->OpenRoom("second@conf"));
  ASSERT_FALSE(server_->OpenRoom("second@conf"));
  ASSERT_TRUE(server_->Join("second@conf", kAnn, "Ann"));
  EXPECT_FALSE(server_->Join("missing@conf", kAnn, "Ann"));
  const std::string qid = ReferVote(false, false);
  const auto packets =
      ParseAll(server_->Receive(kAnn,
                                "<iq type='set' to='second@conf' id='x'><query type='content' "
                                "xmlns='quenlo:conf:voting'><qid>" +
                                    qid + "</qid></query></iq>"));
  ASSERT_EQ(packets.size(), 1u);
  EXPECT_EQ(packets[0].ErrorCode(), Code(ErrorCode::kUnknownVote));
}

TEST_F(ConferenceServerTest, RequestWithoutQueryIsAnsweredAsMalformed) {
  const auto packets =
      ParseAll(server_->Receive(kAnn, std::string("<iq type='get' to='") + kRoom + "' id='q'/>"));
  ASSERT_EQ(packets.size(), 1u);
  EXPECT_EQ(packets[0].ErrorCode(), Code(ErrorCode::kMalformedRequest));
  EXPECT_STREQ(packets[0].iq().attribute("id").value(), "q");
}

TEST_F(ConferenceServerTest, UnreadableInputIsDroppedAndTheServerCarriesOn) {
  const std::string query = "<query type='apply' xmlns='quenlo:conf:voting'/>";
  const std::string head = std::string("<iq type='set' to='") + kRoom + "'>";
  const std::vector<std::string> inputs = {
      "",
      "not xml at all",
      head,
      head + query + "</iq><iq/>",
      std::string("<iq type='result' to='") + kRoom + "'>" + query + "</iq>",
      std::string("<iq type='error' to='") + kRoom + "'>" + query + "</iq>",
      std::string("<message to='") + kRoom + "'>" + query + "</message>",
      "<!DOCTYPE iq [<!ENTITY a 'aaaaaaaaaa'><!ENTITY b '&a;&a;&a;&a;&a;&a;'>]>" + head + query +
          "&b;</iq>",
      head +
          "<query type='refer' xmlns='quenlo:conf:voting'><caption>\xC3\x28</caption></query></iq>",
      head + "<query type='refer' xmlns='quenlo:conf:voting'><caption>&#1;</caption></query></iq>",
      head +
          "<query type='refer' "
          "xmlns='quenlo:conf:voting'><caption>\xED\xA0\x80</caption></query></iq>",
      head + query.substr(0, query.size() - 2) + ">" + '\0' + "</query></iq>",
      head + query + std::string(ConferenceServer::kMaxRequestBytes, ' ') + "</iq>",
      // Not well-formed either: text outside the root element.
      "type='error'" + head + query + "</iq>",
      head + query + "</iq> and after",
      head + query + "</iq><![CDATA[x]]>",
  };
  for (const std::string& input : inputs) {
    EXPECT_TRUE(server_->Receive(kAnn, input).empty()) << input.substr(0, 200);
  }
  std::string deep = head + "<query type='apply' xmlns='quenlo:conf:voting'>";
  for (int i = 0; i < 5000; ++i) deep += "<x>";
  for (int i = 0; i < 5000; ++i) deep += "</x>";
  EXPECT_EQ(ParseAll(server_->Receive(kAnn, deep + "</query></iq>")).size(), 1u);

  EXPECT_EQ(To(Voting(kAnn, "apply"), kAnn).type(), "result");
}

TEST_F(ConferenceServerTest, ConcurrentRequestsGetDistinctVotes) {
  constexpr int kThreads = 4;
  constexpr int kRequestsEach = 50;
  const std::string apply = std::string("<iq type='set' to='") + kRoom +
                            "' id='a'><query type='apply' xmlns='quenlo:conf:voting'/></iq>";
  std::vector<std::vector<Delivery>> replies(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kRequestsEach; ++i) {
        for (Delivery& delivery : server_->Receive(kAnn, apply)) replies[t].push_back(delivery);
      }
    });
  }
  for (std::thread& thread : threads) thread.join();

  std::set<std::string> qids;
  for (const auto& delivered : replies) {
    for (const Packet& packet : ParseAll(delivered)) qids.insert(packet.text("qid"));
  }
  EXPECT_EQ(qids.size(), static_cast<std::size_t>(kThreads * kRequestsEach));
}

}  // namespace
}  // namespace quenlo::server::testing
