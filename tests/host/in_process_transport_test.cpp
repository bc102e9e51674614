// The in-process transport: text to the simulator, answers queued until delivered.
#include "host/in_process_transport.h"

#include <gmock/gmock.h>

#include "server/sqlite_store.h"

namespace quenlo::host {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

constexpr char kRoom[] = "room@example.net";
constexpr char kApply[] =
    R"(<iq type="set" to="room@example.net" id="a1"><query type="apply" xmlns="quenlo:conf:voting"/></iq>)";
constexpr char kCreate[] =
    R"(<iq type="set" to="room@example.net" id="c1"><query type="create" xmlns="quenlo:conf:agenda"><subject><qid>q</qid></subject></query></iq>)";

struct RecordingReceiver final : PacketReceiver {
  void Receive(std::string_view xml) override { packets.emplace_back(xml); }
  std::vector<std::string> packets;
};

class InProcessTransportTest : public ::testing::Test {
 protected:
  InProcessTransportTest() {
    transport_.Connect({"alice@example.net", kRoom, "Alice"}, alice_);
    transport_.Connect({"bob@example.net", kRoom, "Bob"}, bob_);
  }

  server::ConferenceServer server_{std::make_unique<server::SqliteStore>(":memory:")};
  InProcessTransport transport_{server_};
  RecordingReceiver alice_;
  RecordingReceiver bob_;
};

TEST_F(InProcessTransportTest, AnswersWaitUntilDeliveredAndComeFromTheRoom) {
  transport_.Send("alice@example.net", kApply);
  EXPECT_THAT(alice_.packets, IsEmpty());
  EXPECT_EQ(transport_.DeliverPending(), 1u);
  ASSERT_EQ(alice_.packets.size(), 1u);
  EXPECT_THAT(alice_.packets[0], HasSubstr(R"(from="room@example.net")"));
  EXPECT_THAT(alice_.packets[0], HasSubstr(R"(type="result")"));
  EXPECT_THAT(bob_.packets, IsEmpty());
  EXPECT_EQ(transport_.DeliverPending(), 0u);
}

TEST_F(InProcessTransportTest, ChangesArePushedToTheOthers) {
  transport_.Send("alice@example.net", kCreate);
  transport_.DeliverPending();
  EXPECT_EQ(alice_.packets.size(), 1u);
  ASSERT_EQ(bob_.packets.size(), 1u);
  EXPECT_THAT(bob_.packets[0], HasSubstr(R"(type="set")"));
}

TEST_F(InProcessTransportTest, PacketsForSomeoneWhoLeftAreLost) {
  transport_.Send("alice@example.net", kApply);
  transport_.Disconnect("alice@example.net");
  EXPECT_EQ(transport_.DeliverPending(), 0u);
  EXPECT_THAT(alice_.packets, IsEmpty());
}

TEST_F(InProcessTransportTest, ObserverSeesEveryPacketWithItsEnds) {
  std::vector<std::string> seen;
  transport_.SetWireObserver(
      [&](const WirePacket& packet) { seen.push_back(packet.from + " -> " + packet.to); });
  transport_.Send("alice@example.net", kCreate);
  transport_.DeliverPending();
  EXPECT_THAT(seen, ElementsAre("alice@example.net -> room@example.net",
                                "room@example.net -> alice@example.net",
                                "room@example.net -> bob@example.net"));
}

}  // namespace
}  // namespace quenlo::host
