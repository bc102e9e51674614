// The XMPP transport against a room played by the test itself (a bare component on the spare
// domain), so that what the transport owes the room can be seen: it joins by presence and waits
// for the room's answer, answers every push and ping, refuses requests from elsewhere, hands the
// module only what comes from its room, joins again when the room has forgotten it, and reports
// the requests the service did not answer.
#include "host/xmpp_transport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "host/host_error.h"
#include "host/login_trace.h"
#include "tests/xmpp/test_client.h"
#include "tests/xmpp/xmpp_server.h"
#include "xmpp/connection.h"
#include "xmpp/stanza.h"

namespace quenlo::xmpp_test {
namespace {

using ::testing::AnyOf;
using ::testing::ElementsAre;
using ::testing::Eq;
using ::testing::HasSubstr;
using ::testing::StartsWith;

constexpr char kRoom[] = "board@echo.example.net";

struct RecordingReceiver final : host::PacketReceiver {
  void Receive(std::string_view xml) override { packets.emplace_back(xml); }
  std::vector<std::string> packets;
};

// Quick to retry and to give up waiting, so that the tests see each step within a second.
constexpr host::XmppTimings kBriskTimings{500ms, 300ms, 50ms, 200ms, 100ms};

std::vector<host::TransportNotice::Kind> KindsOf(
    const std::vector<host::TransportNotice>& notices) {
  std::vector<host::TransportNotice::Kind> kinds;
  for (const host::TransportNotice& notice : notices) kinds.push_back(notice.kind);
  return kinds;
}

class XmppTransportTest : public ::testing::Test {
 protected:
  XmppTransportTest() : server_(StartXmppServer({"alice", "dave"})), roomConnection_(roomContext_) {
    roomConnection_.OnStanza("presence", [this](xmpp_stanza_t* presence) {
      const std::string to(xmpp::AttributeOf(presence, "to"));
      const std::string from(xmpp::AttributeOf(presence, "from"));
      member_ = from;
      presences_.push_back(xmpp::ToText(presence));
      if (refuseJoins_) {
        roomConnection_.Send(
            xmpp::MakeErrorAnswer(roomContext_.get(), presence, "cancel", "forbidden").get());
        return;
      }
      roomConnection_.SendText(
          "<presence from='" + to + "' to='" + from + "'" +
          (xmpp::AttributeOf(presence, "type") == "unavailable" ? " type='unavailable'" : "") +
          "/>");
    });
    roomConnection_.OnStanza("iq", [this](xmpp_stanza_t* iq) {
      roomIqs_.push_back({std::string(xmpp::AttributeOf(iq, "type")),
                          std::string(xmpp::AttributeOf(iq, "id")), xmpp::ToText(iq)});
    });
    roomConnection_.ConnectComponent("127.0.0.1", server_->ComponentPort(),
                                     XmppServer::kSpareComponentDomain, XmppServer::kSecret);
    RunUntil(roomContext_, [this] { return roomConnection_.connected(); });
  }

  host::XmppAccount Account(const std::string& user, const std::string& password) const {
    return {"127.0.0.1", server_->ClientPort(), user + "@example.net/desk", password};
  }

  // Lets the room and the transport exchange what is on its way until `done` holds.
  bool Exchange(host::XmppTransport& transport, const std::function<bool()>& done,
                std::chrono::milliseconds limit = 10s) {
    const auto until = std::chrono::steady_clock::now() + limit;
    while (!done() && std::chrono::steady_clock::now() < until) {
      roomContext_.RunOnce(1ms);
      transport.Pump(1ms);
    }
    return done();
  }

  // Connect waits for the room's answer, so the room must run meanwhile.
  void ConnectWithRoomRunning(host::XmppTransport& transport, RecordingReceiver& receiver) {
    std::atomic<bool> joined = false;
    std::thread room([&] {
      while (!joined) roomContext_.RunOnce(1ms);
    });
    try {
      transport.Connect({"alice", kRoom, "Alice"}, receiver);
    } catch (...) {
      joined = true;
      room.join();
      throw;
    }
    joined = true;
    room.join();
  }

  struct RoomIq {
    std::string type;
    std::string id;
    std::string text;
  };

  std::unique_ptr<XmppServer> server_;
  xmpp::Context roomContext_;
  xmpp::Connection roomConnection_;
  bool refuseJoins_ = false;
  std::string member_;
  std::vector<std::string> presences_;
  std::vector<RoomIq> roomIqs_;
};

TEST_F(XmppTransportTest, JoinsByPresenceWithItsNickAndAnswersEveryPush) {
  host::XmppTransport transport(Account("alice", XmppServer::PasswordOf("alice")));
  RecordingReceiver receiver;
  ConnectWithRoomRunning(transport, receiver);
  ASSERT_EQ(presences_.size(), 1u);
  EXPECT_THAT(presences_[0], HasSubstr("to=\"board@echo.example.net/Alice\""));
  EXPECT_THAT(presences_[0], HasSubstr("<nick xmlns=\"http://jabber.org/protocol/nick\">Alice"));

  roomConnection_.SendText("<iq type='set' id='push-1' from='" + std::string(kRoom) + "' to='" +
                           member_ + "'><query type='sync' xmlns='quenlo:conf:agenda'/></iq>");
  ASSERT_TRUE(Exchange(transport, [&] { return !roomIqs_.empty(); }));
  EXPECT_EQ(roomIqs_[0].type, "result");
  EXPECT_EQ(roomIqs_[0].id, "push-1");
  ASSERT_EQ(receiver.packets.size(), 1u);
  EXPECT_THAT(receiver.packets[0], HasSubstr("type=\"sync\""));

  // The module's requests go out as they are; the answer settles them.
  transport.Send("alice", "<iq type='get' id='r1' to='" + std::string(kRoom) +
                              "'><query type='browse' xmlns='quenlo:conf:agenda'/></iq>");
  EXPECT_EQ(transport.unanswered(), 1u);
  ASSERT_TRUE(Exchange(transport, [&] { return roomIqs_.size() == 2; }));
  EXPECT_EQ(roomIqs_[1].id, "r1");
  roomConnection_.SendText("<iq type='result' id='r1' from='" + std::string(kRoom) + "' to='" +
                           member_ + "'/>");
  ASSERT_TRUE(Exchange(transport, [&] { return transport.unanswered() == 0; }));
  EXPECT_EQ(receiver.packets.size(), 2u);

  transport.Disconnect("alice");
  ASSERT_TRUE(RunUntil(roomContext_, [&] { return presences_.size() == 2; }));
  EXPECT_THAT(presences_[1], HasSubstr("type=\"unavailable\""));
}

TEST_F(XmppTransportTest, PacketsFromOutsideTheRoomReachNobodyAndRequestsAreRefused) {
  host::XmppTransport transport(Account("alice", XmppServer::PasswordOf("alice")));
  RecordingReceiver receiver;
  ConnectWithRoomRunning(transport, receiver);
  roomConnection_.SendText("<iq type='get' id='x1' from='other@echo.example.net' to='" + member_ +
                           "'><query type='browse' xmlns='quenlo:conf:agenda'/></iq>");
  ASSERT_TRUE(Exchange(transport, [&] { return !roomIqs_.empty(); }));
  EXPECT_EQ(roomIqs_[0].type, "error");
  EXPECT_THAT(roomIqs_[0].text, HasSubstr("<service-unavailable"));
  EXPECT_TRUE(receiver.packets.empty());
}

// Answering an answer would let two parties bounce errors at each other for ever: an iq result
// or error, from the room or from anywhere else, is never answered, while the request after it
// is.
TEST_F(XmppTransportTest, AnAnswerIsNeverAnsweredWhoeverSendsItFault) {
  host::XmppTransport transport(Account("alice", XmppServer::PasswordOf("alice")));
  RecordingReceiver receiver;
  ConnectWithRoomRunning(transport, receiver);
  const std::pair<const char*, std::string> rows[] = {
      {"result", kRoom},
      {"error", kRoom},
      {"result", "other@echo.example.net"},
      {"error", "other@echo.example.net"},
  };
  int row_number = 0;
  for (const auto& [type, from] : rows) {
    const std::string id = "answer-" + std::to_string(++row_number);
    roomConnection_.SendText("<iq type='" + std::string(type) + "' id='" + id + "' from='" + from +
                             "' to='" + member_ + "'>" +
                             (std::string(type) == "error"
                                  ? "<error type='cancel'><item-not-found "
                                    "xmlns='urn:ietf:params:xml:ns:xmpp-stanzas'/></error>"
                                  : "") +
                             "</iq>");
    // A request behind it shows when the transport has read both.
    const std::string marker = "after-" + id;
    roomConnection_.SendText("<iq type='get' id='" + marker + "' from='" + std::string(kRoom) +
                             "' to='" + member_ +
                             "'><query type='request' "
                             "xmlns='quenlo:conf:agenda'/></iq>");
    ASSERT_TRUE(Exchange(transport,
                         [&] {
                           return std::any_of(roomIqs_.begin(), roomIqs_.end(),
                                              [&](const RoomIq& iq) { return iq.id == marker; });
                         }))
        << type << " from " << from;
    EXPECT_FALSE(std::any_of(roomIqs_.begin(), roomIqs_.end(),
                             [&](const RoomIq& iq) { return iq.id == id; }))
        << "the " << type << " from " << from << " was answered";
  }
  EXPECT_EQ(roomIqs_.size(), std::size(rows));
}

TEST_F(XmppTransportTest, PacketsWithoutAConnectionAreCountedNotThrownNorAwaited) {
  host::XmppTransport transport(Account("alice", XmppServer::PasswordOf("alice")));
  RecordingReceiver receiver;
  ConnectWithRoomRunning(transport, receiver);
  std::vector<host::TransportNotice> notices;
  transport.SetNoticeListener(
      [&](const host::TransportNotice& notice) { notices.push_back(notice); });
  transport.Send("alice", "not one element");
  EXPECT_EQ(transport.unsent(), 1u);
  transport.Send("alice", "<iq type='get' id='on-its-way' to='" + std::string(kRoom) +
                              "'><query type='browse' xmlns='quenlo:conf:agenda'/></iq>");

  server_->Stop();
  for (int i = 0; i < 500 && transport.connected(); ++i) transport.Pump(10ms);
  EXPECT_FALSE(transport.connected());
  // Prosody says why before it closes; on a loaded machine the close can overtake the reason
  // (a reset, when the client had sent something Prosody had not read yet).
  EXPECT_THAT(transport.failure(),
              AnyOf(Eq("the XMPP server is shutting down"), StartsWith("connection failed: ")));
  transport.Send("alice", "<iq type='get' id='late' to='" + std::string(kRoom) + "'/>");
  EXPECT_EQ(transport.unsent(), 2u);
  EXPECT_EQ(transport.unanswered(), 0u);
  // The request on its way and the one that could not go are each reported, never sent again.
  ASSERT_EQ(notices.size(), 3u);
  EXPECT_EQ(notices[0].request_id, "on-its-way");
  EXPECT_EQ(notices[0].request, "agenda browse");
  EXPECT_EQ(notices[0].condition, "connection-lost");
  EXPECT_EQ(notices[1].kind, host::TransportNotice::Kind::kLost);
  EXPECT_EQ(notices[2].request_id, "late");
  EXPECT_EQ(notices[2].condition, "not-connected");
}

TEST_F(XmppTransportTest, ConnectFailsWithTheReasonWhenTheLoginOrTheJoinIsRefused) {
  RecordingReceiver receiver;
  host::XmppTransport wrong_password(Account("alice", "not-the-password"));
  try {
    ConnectWithRoomRunning(wrong_password, receiver);
    ADD_FAILURE() << "a wrong password was let in";
  } catch (const host::HostError& error) {
    EXPECT_THAT(error.what(), HasSubstr("alice@example.net/desk cannot log in"));
    EXPECT_THAT(error.what(), HasSubstr("the XMPP server refused the password (not-authorized"));
  }
  host::XmppTransport nobody_there(
      {"127.0.0.1", FreeLoopbackPort(), "alice@example.net/desk", "alice-secret"});
  try {
    ConnectWithRoomRunning(nobody_there, receiver);
    ADD_FAILURE() << "a port without a server was taken for one";
  } catch (const host::HostError& error) {
    EXPECT_THAT(error.what(), HasSubstr("the XMPP server is unreachable (Connection refused)"));
  }

  refuseJoins_ = true;
  host::XmppTransport refused(Account("dave", XmppServer::PasswordOf("dave")));
  try {
    ConnectWithRoomRunning(refused, receiver);
    ADD_FAILURE() << "a refused join was taken for a join";
  } catch (const host::HostError& error) {
    EXPECT_STREQ(error.what(), "cannot join board@echo.example.net: the room refused the join");
  }
}

TEST_F(XmppTransportTest, AnswersEveryPingAndNoAnswer) {
  host::XmppTransport transport(Account("alice", XmppServer::PasswordOf("alice")));
  RecordingReceiver receiver;
  ConnectWithRoomRunning(transport, receiver);
  const std::string to = " to='" + member_ + "'";
  for (const std::string& iq :
       {"<iq type='get' id='ping-1' from='" + std::string(kRoom) + "'" + to +
            "><ping xmlns='urn:xmpp:ping'/></iq>",
        "<iq type='result' id='stray' from='" + std::string(kRoom) + "'" + to + "/>",
        "<iq type='error' id='stray-error' from='" + std::string(kRoom) + "'" + to +
            "><error type='cancel'><item-not-found "
            "xmlns='urn:ietf:params:xml:ns:xmpp-stanzas'/></error></iq>",
        "<iq type='get' id='ping-2' from='other@echo.example.net'" + to +
            "><ping xmlns='urn:xmpp:ping'/></iq>"}) {
    roomConnection_.SendText(iq);
  }
  ASSERT_TRUE(Exchange(transport, [&] { return roomIqs_.size() >= 2; }));
  Exchange(
      transport, [] { return false; }, 300ms);
  ASSERT_EQ(roomIqs_.size(), 2u);
  EXPECT_EQ(roomIqs_[0].type + " " + roomIqs_[0].id, "result ping-1");
  EXPECT_EQ(roomIqs_[1].type + " " + roomIqs_[1].id, "result ping-2");
  EXPECT_EQ(receiver.packets.size(), 2u) << "the room's answers reach the module, pings do not";
}

TEST_F(XmppTransportTest, ReportsEachRequestTheServiceDidNotAnswer) {
  struct Case {
    const char* name;
    std::string answer;  // what comes back for the request ID, empty: nothing does
    std::vector<std::string> conditions;
  };
  const std::string from = "<iq type='error' id='ID' from='" + std::string(kRoom) + "' to='";
  const std::vector<Case> cases = {
      {"bounced by the XMPP server",
       from + "MEMBER'><error type='wait'><remote-server-timeout "
              "xmlns='urn:ietf:params:xml:ns:xmpp-stanzas'/><text>Component unavailable</text>"
              "</error></iq>",
       {"remote-server-timeout"}},
      {"refused by the service",
       from + "MEMBER'><query type='browse' xmlns='quenlo:conf:agenda'/><error code='5' "
              "type='auth'><forbidden xmlns='urn:ietf:params:xml:ns:xmpp-stanzas'/><code>5</code>"
              "</error></iq>",
       {}},
      {"answered by nobody", "", {"timeout"}},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.name);
    host::XmppTransport transport(Account("alice", XmppServer::PasswordOf("alice")), kBriskTimings);
    RecordingReceiver receiver;
    ConnectWithRoomRunning(transport, receiver);
    std::vector<std::string> conditions;
    transport.SetNoticeListener([&](const host::TransportNotice& notice) {
      EXPECT_EQ(notice.request_id, "r1");
      conditions.push_back(notice.condition);
    });
    roomIqs_.clear();
    transport.Send("alice", "<iq type='get' id='r1' to='" + std::string(kRoom) +
                                "'><query type='browse' xmlns='quenlo:conf:agenda'/></iq>");
    ASSERT_TRUE(Exchange(transport, [&] { return !roomIqs_.empty(); }));
    if (!test.answer.empty()) {
      std::string answer = test.answer;
      answer.replace(answer.find("ID"), 2, "r1");
      answer.replace(answer.find("MEMBER"), 6, member_);
      roomConnection_.SendText(answer);
    }
    // The room's answer must leave the room before the transport settles.
    Exchange(
        transport, [] { return false; }, 100ms);
    EXPECT_TRUE(transport.Settle(100ms, 2s));
    EXPECT_EQ(conditions, test.conditions);
    transport.Disconnect("alice");
  }
}

TEST_F(XmppTransportTest, JoinsAgainWhenTheRoomNoLongerCountsIt) {
  struct Case {
    const char* name;
    std::string trigger;  // what the room sends once the transport is in (empty: wait for a ping)
    std::string self_ping_answer;
  };
  const std::string room_iq = "<iq type='error' from='" + std::string(kRoom) + "' to='MEMBER'";
  const std::vector<Case> cases = {
      {"a self-ping refused", "",
       "<error type='cancel'><not-acceptable "
       "xmlns='urn:ietf:params:xml:ns:xmpp-stanzas'/></error>"},
      {"the service going away",
       "<presence type='unavailable' from='board@echo.example.net/Alice' to='MEMBER'><x "
       "xmlns='http://jabber.org/protocol/muc#user'><status code='332'/></x></presence>",
       ""},
      {"a reply saying it is no member",
       room_iq +
           " id='r1'><query type='browse' xmlns='quenlo:conf:agenda'/><error code='4' "
           "type='auth'><forbidden xmlns='urn:ietf:params:xml:ns:xmpp-stanzas'/></error></iq>",
       ""},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.name);
    host::XmppTransport transport(Account("alice", XmppServer::PasswordOf("alice")), kBriskTimings);
    RecordingReceiver receiver;
    presences_.clear();
    ConnectWithRoomRunning(transport, receiver);
    std::vector<host::TransportNotice> notices;
    transport.SetNoticeListener(
        [&](const host::TransportNotice& notice) { notices.push_back(notice); });
    roomIqs_.clear();
    if (test.trigger.empty()) {
      ASSERT_TRUE(Exchange(transport, [&] { return !roomIqs_.empty(); }));
      EXPECT_THAT(roomIqs_[0].text, HasSubstr("<ping xmlns=\"urn:xmpp:ping\""));
      roomConnection_.SendText("<iq type='error' id='" + roomIqs_[0].id + "' from='" +
                               std::string(kRoom) + "/Alice' to='" + member_ + "'>" +
                               test.self_ping_answer + "</iq>");
    } else {
      if (test.trigger.find("id='r1'") != std::string::npos) {
        transport.Send("alice", "<iq type='get' id='r1' to='" + std::string(kRoom) +
                                    "'><query type='browse' xmlns='quenlo:conf:agenda'/></iq>");
      }
      std::string trigger = test.trigger;
      trigger.replace(trigger.find("MEMBER"), 6, member_);
      roomConnection_.SendText(trigger);
    }
    ASSERT_TRUE(Exchange(transport, [&] { return notices.size() >= 2; }));
    EXPECT_THAT(KindsOf(notices), ElementsAre(host::TransportNotice::Kind::kLost,
                                              host::TransportNotice::Kind::kBack));
    EXPECT_EQ(notices[1].text, "back in board@echo.example.net as Alice");
    ASSERT_EQ(presences_.size(), 2u) << "one join, then one more";
    EXPECT_THAT(presences_[1], HasSubstr("to=\"board@echo.example.net/Alice\""));
    EXPECT_TRUE(transport.joined());
    transport.Disconnect("alice");
    // The leave reaches the room before the next case counts its presences.
    ASSERT_TRUE(RunUntil(roomContext_, [&] { return presences_.size() == 3; }));
  }
}

// libstrophe reports a failed login as a bare disconnect; the reason comes from its log.
TEST(LoginTraceTest, SaysWhyTheLoginFailed) {
  struct Case {
    std::vector<std::string> log;  // libstrophe's log lines
    std::string link_reason;
    std::string certificate_problem;
    std::string expected;
  };
  const std::string features =
      "RECV: <features xmlns='http://etherx.jabber.org/streams'><mechanisms "
      "xmlns='urn:ietf:params:xml:ns:xmpp-sasl'><mechanism>SCRAM-SHA-1</mechanism><mechanism>"
      "PLAIN</mechanism></mechanisms></features>";
  const std::vector<Case> cases = {
      {{features,
        "RECV: <failure xmlns='urn:ietf:params:xml:ns:xmpp-sasl'><not-authorized/><text>Bad "
        "password</text></failure>"},
       "",
       "",
       "the XMPP server refused the password (not-authorized: Bad password)"},
      {{features,
        "RECV: <failure xmlns='urn:ietf:params:xml:ns:xmpp-sasl'><account-disabled/></failure>"},
       "",
       "",
       "the XMPP server refused the login (account-disabled)"},
      {{"RECV: <features xmlns='http://etherx.jabber.org/streams'><bind "
        "xmlns='urn:ietf:params:xml:ns:xmpp-bind'/></features>"},
       "",
       "",
       "the XMPP server offers no way to log in (no SASL mechanism)"},
      {{"RECV: <features xmlns='http://etherx.jabber.org/streams'><mechanisms "
        "xmlns='urn:ietf:params:xml:ns:xmpp-sasl'><mechanism>GSSAPI</mechanism></mechanisms>"
        "</features>"},
       "",
       "",
       "the XMPP server offers no way to log in that this client knows (it offers GSSAPI)"},
      {{"Attempting to connect to 127.0.0.1", "connection failed, error 111"},
       "",
       "",
       "the XMPP server is unreachable (Connection refused)"},
      {{},
       "connection failed: Connection timed out",
       "",
       "the XMPP server is unreachable (Connection timed out)"},
      {{},
       "",
       "self-signed certificate",
       "the XMPP server's certificate is not trusted (self-signed certificate)"},
      {{}, "the XMPP server is shutting down", "", "the XMPP server is shutting down"},
      {{}, "", "", "the XMPP server ended the login without saying why"},
  };
  xmpp::Context context;
  for (const Case& test : cases) {
    host::LoginTrace trace(context.get());
    for (const std::string& line : test.log) trace.Observe("xmpp", line);
    // What the client itself sends is not the server's word.
    trace.Observe("conn", "SENT: <failure xmlns='urn:ietf:params:xml:ns:xmpp-sasl'><aborted/>");
    EXPECT_EQ(trace.Describe(test.link_reason, test.certificate_problem), test.expected);
  }
}

}  // namespace
}  // namespace quenlo::xmpp_test
