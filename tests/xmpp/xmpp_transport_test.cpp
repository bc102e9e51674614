// The XMPP transport against a room played by the test itself (a bare component on the spare
// domain), so that what the transport owes the room can be seen: it joins by presence and waits
// for the room's answer, answers every push, refuses requests from elsewhere and hands the
// module only what comes from its room.
#include "host/xmpp_transport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "host/host_error.h"
#include "tests/xmpp/prosody_server.h"
#include "tests/xmpp/test_client.h"
#include "xmpp/connection.h"
#include "xmpp/stanza.h"

namespace quenlo::xmpp_test {
namespace {

using ::testing::AnyOf;
using ::testing::Eq;
using ::testing::HasSubstr;
using ::testing::StartsWith;

constexpr char kRoom[] = "board@echo.example.net";

struct RecordingReceiver final : host::PacketReceiver {
  void Receive(std::string_view xml) override { packets.emplace_back(xml); }
  std::vector<std::string> packets;
};

class XmppTransportTest : public ::testing::Test {
 protected:
  XmppTransportTest() : server_({"alice", "dave"}), roomConnection_(roomContext_) {
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
    roomConnection_.ConnectComponent("127.0.0.1", server_.ComponentPort(),
                                     ProsodyServer::kSpareComponentDomain, ProsodyServer::kSecret);
    RunUntil(roomContext_, [this] { return roomConnection_.connected(); });
  }

  host::XmppAccount Account(const std::string& user, const std::string& password) const {
    return {"127.0.0.1", server_.ClientPort(), user + "@example.net/desk", password};
  }

  // Lets the room and the transport exchange what is on its way until `done` holds.
  bool Exchange(host::XmppTransport& transport, const std::function<bool()>& done) {
    const auto until = std::chrono::steady_clock::now() + 10s;
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

  ProsodyServer server_;
  xmpp::Context roomContext_;
  xmpp::Connection roomConnection_;
  bool refuseJoins_ = false;
  std::string member_;
  std::vector<std::string> presences_;
  std::vector<RoomIq> roomIqs_;
};

TEST_F(XmppTransportTest, JoinsByPresenceWithItsNickAndAnswersEveryPush) {
  host::XmppTransport transport(Account("alice", ProsodyServer::PasswordOf("alice")));
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
  host::XmppTransport transport(Account("alice", ProsodyServer::PasswordOf("alice")));
  RecordingReceiver receiver;
  ConnectWithRoomRunning(transport, receiver);
  roomConnection_.SendText("<iq type='get' id='x1' from='other@echo.example.net' to='" + member_ +
                           "'><query type='browse' xmlns='quenlo:conf:agenda'/></iq>");
  ASSERT_TRUE(Exchange(transport, [&] { return !roomIqs_.empty(); }));
  EXPECT_EQ(roomIqs_[0].type, "error");
  EXPECT_THAT(roomIqs_[0].text, HasSubstr("<service-unavailable"));
  EXPECT_TRUE(receiver.packets.empty());
}

TEST_F(XmppTransportTest, PacketsWithoutAConnectionAreCountedNotThrownNorAwaited) {
  host::XmppTransport transport(Account("alice", ProsodyServer::PasswordOf("alice")));
  RecordingReceiver receiver;
  ConnectWithRoomRunning(transport, receiver);
  transport.Send("alice", "not one element");
  EXPECT_EQ(transport.unsent(), 1u);

  server_.Stop();
  for (int i = 0; i < 500 && transport.connected(); ++i) transport.Pump(10ms);
  EXPECT_FALSE(transport.connected());
  // Prosody says why before it closes; on a loaded machine the close can overtake the reason
  // (a reset, when the client had sent something Prosody had not read yet).
  EXPECT_THAT(transport.failure(), AnyOf(Eq("the XMPP server is shutting down"),
                                         StartsWith("connection failed: ")));
  transport.Send("alice", "<iq type='get' id='late' to='" + std::string(kRoom) + "'/>");
  EXPECT_EQ(transport.unsent(), 2u);
  EXPECT_EQ(transport.unanswered(), 0u);
}

TEST_F(XmppTransportTest, ConnectFailsWithTheReasonWhenTheLoginOrTheJoinIsRefused) {
  RecordingReceiver receiver;
  host::XmppTransport wrong_password(Account("alice", "not-the-password"));
  try {
    ConnectWithRoomRunning(wrong_password, receiver);
    ADD_FAILURE() << "a wrong password was let in";
  } catch (const host::HostError& error) {
    EXPECT_THAT(error.what(), HasSubstr("alice@example.net/desk cannot log in"));
  }

  refuseJoins_ = true;
  host::XmppTransport refused(Account("dave", ProsodyServer::PasswordOf("dave")));
  try {
    ConnectWithRoomRunning(refused, receiver);
    ADD_FAILURE() << "a refused join was taken for a join";
  } catch (const host::HostError& error) {
    EXPECT_STREQ(error.what(), "cannot join board@echo.example.net: the room refused the join");
  }
}

}  // namespace
}  // namespace quenlo::xmpp_test
