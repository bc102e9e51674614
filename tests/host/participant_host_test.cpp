// The SessionHost of one participant: subscriptions, packet delivery, events and sending.
#include "host/participant_host.h"

#include <gmock/gmock.h>

#include "host_fakes.h"

namespace quenlo::host {
namespace {

using ::testing::ElementsAre;
using testing::FakeResult;
using testing::FakeSink;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using testing::RecordingTransport;

class ParticipantHostTest : public ::testing::Test {
 protected:
  ULONG Subscribe(FakeSink& sink, const char16_t* path = u"/packet") {
    ULONG cookie = 0;
    EXPECT_EQ(host_.Subscribe(path, &sink, &cookie), S_OK);
    return cookie;
  }

  // Declared before the host, which releases what is still subscribed when it goes.
  FakeSink first_;
  FakeSink second_;
  FakeSink elsewhere_;
  RecordingTransport transport_;
  ParticipantHost host_{"alice@example.net", transport_};
};

TEST_F(ParticipantHostTest, CookiesAreNonZeroAndDistinct) {
  const ULONG first = Subscribe(first_);
  const ULONG second = Subscribe(first_);
  EXPECT_NE(first, 0u);
  EXPECT_NE(second, 0u);
  EXPECT_NE(first, second);
  ULONG cookie = 0;
  EXPECT_EQ(host_.Subscribe(u"/packet", nullptr, &cookie), E_POINTER);
  EXPECT_EQ(host_.Subscribe(u"/packet", &first_, nullptr), E_POINTER);
  EXPECT_EQ(host_.SubscriptionCount(), 2u);
}

TEST_F(ParticipantHostTest, PacketsReachEveryPacketSubscriberAndNoOtherPath) {
  Subscribe(first_);
  Subscribe(second_);
  Subscribe(elsewhere_, u"/voting/apply/ok");

  EXPECT_EQ(host_.Deliver(R"(<iq type="result"><query/></iq>)").status, XmlParseStatus::Ok);
  EXPECT_THAT(first_.tags, ElementsAre(u"iq"));
  EXPECT_THAT(second_.tags, ElementsAre(u"iq"));
  EXPECT_THAT(elsewhere_.tags, IsEmpty());
}

TEST_F(ParticipantHostTest, SubscriptionHoldsOneReferenceUntilCancelled) {
  const ULONG cookie = Subscribe(first_);
  EXPECT_EQ(ReferencesOf(&first_), 1u);
  EXPECT_EQ(host_.Unsubscribe(cookie), S_OK);
  EXPECT_EQ(ReferencesOf(&first_), 0u);
  EXPECT_EQ(host_.Unsubscribe(cookie), S_FALSE);

  host_.Deliver("<iq/>");
  EXPECT_THAT(first_.tags, IsEmpty());
}

TEST_F(ParticipantHostTest, SinkCancelledDuringDeliveryIsNotCalledAfterwards) {
  Subscribe(first_);
  const ULONG second_cookie = Subscribe(second_);
  first_.on_packet = [&] { host_.Unsubscribe(second_cookie); };

  host_.Deliver("<iq/>");
  EXPECT_THAT(first_.tags, ElementsAre(u"iq"));
  EXPECT_THAT(second_.tags, IsEmpty());
  EXPECT_EQ(ReferencesOf(&second_), 0u);
}

TEST_F(ParticipantHostTest, TextTheParserRefusesReachesNobody) {
  Subscribe(first_);
  EXPECT_EQ(host_.Deliver("<iq>").status, XmlParseStatus::Malformed);
  EXPECT_NE(host_.Deliver(R"(<!DOCTYPE iq [<!ENTITY a "b">]><iq>&a;</iq>)").status,
            XmlParseStatus::Ok);
  host_.Receive("not xml");
  EXPECT_THAT(first_.tags, IsEmpty());
  EXPECT_EQ(host_.RefusedPackets(), 1u);
}

TEST_F(ParticipantHostTest, ListenersKeepTheirOwnPathAndReference) {
  FakeResult result;
  std::vector<HostEvent> kept;
  host_.AddListener([&](const HostEvent& event) { kept.push_back(event); });

  BSTR path = SysAllocString(u"/voting/apply/ok");
  host_.RaiseEvent(path, 0, &result);
  SysFreeString(path);  // as the module does right after the call

  ASSERT_EQ(kept.size(), 1u);
  EXPECT_EQ(kept[0].path, u"/voting/apply/ok");
  EXPECT_EQ(kept[0].result.Get(), &result);
  EXPECT_EQ(ReferencesOf(&result), 1u);
  kept.clear();
  EXPECT_EQ(ReferencesOf(&result), 0u);
}

TEST_F(ParticipantHostTest, RemovedListenerHearsNothingAndNullObjectsArePassedOn) {
  int removed_calls = 0;
  std::vector<bool> had_object;
  const std::size_t removed = host_.AddListener([&](const HostEvent&) { ++removed_calls; });
  host_.AddListener([&](const HostEvent& event) { had_object.push_back(bool(event.result)); });
  host_.RemoveListener(removed);

  host_.RaiseEvent(nullptr, 0, nullptr);
  EXPECT_EQ(removed_calls, 0);
  EXPECT_THAT(had_object, ElementsAre(false));
}

TEST_F(ParticipantHostTest, SendPacketHandsTheElementToTheTransportAsUtf8) {
  ComPtr<IXMLDOMElement> request;
  ASSERT_EQ(
      XmlParseElement("<iq to=\"r\">Caf\xC3\xA9 &amp; \xF0\x9F\x98\x80</iq>", request.Put()).status,
      XmlParseStatus::Ok);
  EXPECT_EQ(host_.SendPacket(request.Get()), S_OK);
  ASSERT_EQ(transport_.sent.size(), 1u);
  EXPECT_EQ(transport_.sent[0].first, "alice@example.net");
  EXPECT_THAT(transport_.sent[0].second, HasSubstr("Caf\xC3\xA9 &amp; \xF0\x9F\x98\x80</iq>"));

  EXPECT_EQ(host_.SendPacket(nullptr), E_POINTER);
  EXPECT_EQ(transport_.sent.size(), 1u);
}

}  // namespace
}  // namespace quenlo::host
