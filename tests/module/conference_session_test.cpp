// ConferenceSession and the shared session layer, through a minimal concrete session: properties,
// attachment, the packet filter, requests and announcements.
#include <gtest/gtest.h>
#include <quenlo/voting.h>

#include <limits>
#include <thread>

#include "component/reference_count.h"
#include "support/xml_equivalence.h"
#include "test_session.h"
#include "xml/shared_document.h"

namespace quenlo::confext {

namespace {

class SessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TestResult::constructed = 0;
    TestResult::destroyed = 0;
    TestResult::loads = 0;
    session_ = new TestSession();
    unknown_ = ComPtr<IUnknown>(session_->Primary());
    config_ = unknown_.As<IConferenceSession>();
    sink_ = unknown_.As<IPacketSink>();
    commands_ = unknown_.As<ITestCommands>();
  }

  std::string Property(const OLECHAR* name) {
    Bstr value;
    EXPECT_EQ(config_->GetProperty(name, value.Put()), S_OK);
    return ToUtf8(OleString(value.View()));
  }

  void AttachToRoom(const OLECHAR* room = OLESTR("room@conference")) {
    ASSERT_EQ(config_->SetProperty(OLESTR("test.room_name"), room), S_OK);
    ASSERT_EQ(config_->Attach(&host_), S_OK);
  }

  HRESULT Deliver(const char* xml) {
    const ComPtr<IXMLDOMElement> packet = ParseXml(xml);
    EXPECT_TRUE(packet) << xml;
    return sink_->OnPacket(nullptr, packet.Get(), 0);
  }

  RecordingHost host_;  // outlives the session references below
  TestSession* session_ = nullptr;
  ComPtr<IUnknown> unknown_;
  ComPtr<IConferenceSession> config_;
  ComPtr<IPacketSink> sink_;
  ComPtr<ITestCommands> commands_;
};

TEST_F(SessionTest, AnswersItsInterfacesAndNothingElse) {
  EXPECT_EQ(config_.Get(), static_cast<IConferenceSession*>(session_));
  EXPECT_EQ(sink_.Get(), static_cast<IPacketSink*>(session_));
  EXPECT_EQ(commands_.Get(), static_cast<ITestCommands*>(session_));
  EXPECT_EQ(sink_.As<IUnknown>().Get(), session_->Primary());
  EXPECT_FALSE(unknown_.As<IClassFactory>());
  EXPECT_FALSE(unknown_.As<IVotingCommands>());
}

TEST_F(SessionTest, UnknownPropertiesAreRefusedAndLeaveTheOutput) {
  EXPECT_EQ(config_->SetProperty(OLESTR("test.missing"), OLESTR("x")), S_FALSE);
  BSTR untouched = reinterpret_cast<BSTR>(&host_);
  EXPECT_EQ(config_->GetProperty(OLESTR("test.missing"), &untouched), S_FALSE);
  EXPECT_EQ(untouched, reinterpret_cast<BSTR>(&host_));
  EXPECT_EQ(config_->SetProperty(OLESTR("Test.Count"), OLESTR("1")), S_FALSE);
  EXPECT_EQ(config_->SetProperty(nullptr, OLESTR("1")), S_FALSE);
  EXPECT_EQ(config_->GetProperty(nullptr, &untouched), S_FALSE);
  EXPECT_EQ(config_->GetProperty(OLESTR("test.count"), nullptr), E_POINTER);
  EXPECT_EQ(Property(OLESTR("test.count")), "0");
}

TEST_F(SessionTest, DeclaredPropertiesReadBackWithAnAllocatedEmptyString) {
  BSTR value = nullptr;
  ASSERT_EQ(config_->GetProperty(OLESTR("test.plain"), &value), S_OK);
  ASSERT_NE(value, nullptr);
  EXPECT_EQ(SysStringLen(value), 0u);
  SysFreeString(value);
  EXPECT_EQ(config_->SetProperty(OLESTR("test.plain"), OLESTR("v")), S_OK);
  EXPECT_EQ(Property(OLESTR("test.plain")), "v");
  EXPECT_EQ(config_->SetProperty(OLESTR("test.plain"), nullptr), S_OK);
  EXPECT_EQ(Property(OLESTR("test.plain")), "");
}

TEST_F(SessionTest, ValuesPassThroughTheAnsiCodePage) {
  EXPECT_EQ(config_->SetProperty(OLESTR("test.plain"), OLESTR("\u20AC \u00E9 \u4E2D")), S_OK);
  EXPECT_EQ(Property(OLESTR("test.plain")), "\u20AC \u00E9 ?");
  EXPECT_EQ(session_->GetPropertyText("test.plain"), std::string("\x80 \xE9 ?"));
}

TEST_F(SessionTest, CallbackRunsOncePerChangeAndMayReenterSetProperty) {
  EXPECT_EQ(session_->echoChanges, 0);  // defaults are silent
  EXPECT_EQ(config_->SetProperty(OLESTR("test.echo"), OLESTR("initial")), S_OK);
  EXPECT_EQ(session_->echoChanges, 0);
  EXPECT_EQ(config_->SetProperty(OLESTR("test.echo"), OLESTR("next")), S_OK);
  EXPECT_EQ(session_->echoChanges, 1);
  EXPECT_EQ(Property(OLESTR("test.mirror")), "next");  // set from inside the callback
}

TEST_F(SessionTest, IntegerReadsOfProperties) {
  EXPECT_EQ(session_->GetPropertyInt("test.count"), 0);
  config_->SetProperty(OLESTR("test.count"), OLESTR("12ab"));
  EXPECT_EQ(session_->GetPropertyInt("test.count"), 12);
  config_->SetProperty(OLESTR("test.count"), OLESTR(""));
  EXPECT_EQ(session_->GetPropertyInt("test.count"), 0);
  config_->SetProperty(OLESTR("test.count"), OLESTR("-99999999999"));
  EXPECT_EQ(session_->GetPropertyInt("test.count"), std::numeric_limits<LONG>::min());
  EXPECT_EQ(session_->GetPropertyInt("test.unknown"), -1);
  EXPECT_FALSE(session_->GetPropertyText("test.unknown"));
}

TEST_F(SessionTest, ConcurrentPropertyCallsAreSerialised) {
  auto writer = [this](const OLECHAR* value) {
    for (int round = 0; round < 500; ++round) {
      config_->SetProperty(OLESTR("test.echo"), value);
      Bstr read;
      config_->GetProperty(OLESTR("test.mirror"), read.Put());
    }
  };
  std::thread first(writer, OLESTR("one"));
  std::thread second(writer, OLESTR("two"));
  first.join();
  second.join();
  EXPECT_EQ(Property(OLESTR("test.mirror")), Property(OLESTR("test.echo")));
}

TEST_F(SessionTest, AttachSubscribesOnceAndDetachCancelsWithTheSameCookie) {
  EXPECT_EQ(config_->Detach(), S_OK);  // never attached: nothing to cancel
  EXPECT_TRUE(host_.Unsubscribed().empty());
  const ULONG before = ReferencesOf(&host_);
  ASSERT_EQ(config_->Attach(&host_), S_OK);
  ASSERT_EQ(host_.Subscriptions().size(), 1u);
  EXPECT_EQ(host_.Subscriptions()[0].eventPath, ToOleString(OLESTR("/packet")));
  EXPECT_EQ(host_.Subscriptions()[0].sink.Get(), sink_.Get());
  EXPECT_EQ(ReferencesOf(&host_), before + 1);
  ASSERT_EQ(config_->Detach(), S_OK);
  ASSERT_EQ(host_.Unsubscribed().size(), 1u);
  EXPECT_EQ(host_.Unsubscribed()[0], host_.Subscriptions()[0].cookie);
  EXPECT_EQ(ReferencesOf(&host_), before);
  EXPECT_EQ(config_->Detach(), S_OK);  // already detached: nothing more
  EXPECT_EQ(host_.Unsubscribed().size(), 1u);
}

TEST_F(SessionTest, AttachingAgainMovesTheSubscription) {
  RecordingHost second;
  ASSERT_EQ(config_->Attach(&host_), S_OK);
  ASSERT_EQ(config_->Attach(&second), S_OK);
  EXPECT_EQ(host_.ActiveSubscriptions(), 0u);
  EXPECT_EQ(ReferencesOf(&host_), 1u);
  EXPECT_EQ(second.ActiveSubscriptions(), 1u);
  ASSERT_EQ(config_->Attach(&second), S_OK);  // the same host again stays alive and subscribed
  EXPECT_EQ(second.ActiveSubscriptions(), 1u);
  EXPECT_EQ(ReferencesOf(&second), 2u);
  config_->Detach();
  EXPECT_EQ(ReferencesOf(&second), 1u);
  EXPECT_EQ(config_->Attach(nullptr), E_POINTER);
}

TEST_F(SessionTest, DestroyedSessionReleasesAHostStillHeld) {
  ASSERT_EQ(config_->Attach(&host_), S_OK);
  host_.Unsubscribe(host_.Subscriptions()[0].cookie);  // the host lets go of the sink first
  TestSession::destroyed = 0;
  sink_.Reset();
  commands_.Reset();
  config_.Reset();
  unknown_.Reset();
  EXPECT_EQ(TestSession::destroyed, 1);
  EXPECT_EQ(ReferencesOf(&host_), 1u);
}

TEST_F(SessionTest, EmptyingTheRoomNameReleasesTheSharedDocument) {
  config_->SetProperty(OLESTR("test.room_name"), OLESTR("room"));
  const ComPtr<IXMLDOMDocument> first = SharedDocument::Acquire();
  ASSERT_TRUE(first);
  config_->SetProperty(OLESTR("test.room_name"), OLESTR("room"));
  EXPECT_EQ(SharedDocument::Acquire().Get(), first.Get());
  config_->SetProperty(OLESTR("test.room_name"), OLESTR(""));
  EXPECT_NE(SharedDocument::Acquire().Get(), first.Get());
}

TEST_F(SessionTest, RequestsGoToTheRoomInTheSessionNamespace) {
  AttachToRoom();
  ASSERT_EQ(commands_->Ping(OLESTR("7"), OLESTR("ping"), OLESTR("q1")), S_OK);
  ASSERT_EQ(host_.Sent().size(), 1u);
  EXPECT_TRUE(XmlEquivalent(host_.Sent()[0].Get(),
                            "<iq type='set' to='room@conference' id='7'>"
                            "<query type='ping' xmlns='quenlo:conf:test'><qid>q1</qid></query>"
                            "</iq>"));
  ASSERT_EQ(commands_->Ping(nullptr, nullptr, nullptr), S_OK);
  EXPECT_TRUE(XmlEquivalent(host_.Sent()[1].Get(),
                            "<iq type='set' to='room@conference' id=''>"
                            "<query xmlns='quenlo:conf:test'/></iq>"));
}

TEST_F(SessionTest, NoRequestWithoutARoomOrAHost) {
  ASSERT_EQ(config_->Attach(&host_), S_OK);
  EXPECT_EQ(commands_->Ping(OLESTR("1"), OLESTR("ping"), nullptr), S_FALSE);  // never named
  config_->SetProperty(OLESTR("test.room_name"), OLESTR("room"));
  config_->SetProperty(OLESTR("test.room_name"), OLESTR(""));
  EXPECT_EQ(commands_->Ping(OLESTR("2"), OLESTR("ping"), nullptr), S_FALSE);  // emptied
  config_->SetProperty(OLESTR("test.room_name"), OLESTR("room"));
  config_->Detach();
  EXPECT_EQ(commands_->Ping(OLESTR("3"), OLESTR("ping"), nullptr), S_FALSE);  // detached
  EXPECT_TRUE(host_.Sent().empty());
}

TEST_F(SessionTest, TextXmlCannotCarryIsNeverSent) {
  AttachToRoom();
  EXPECT_EQ(commands_->Ping(OLESTR("id\u0001"), OLESTR("ping"), nullptr), S_FALSE);
  EXPECT_EQ(commands_->Ping(OLESTR("1"), OLESTR("ping"), OLESTR("\uFFFF")), S_FALSE);
  EXPECT_TRUE(host_.Sent().empty());
}

TEST_F(SessionTest, PacketsThatAreNotElementsAreRefused) {
  AttachToRoom();
  EXPECT_EQ(sink_->OnPacket(nullptr, nullptr, 0), S_FALSE);
  EXPECT_EQ(sink_->OnPacket(nullptr, unknown_.Get(), 0), S_FALSE);
  // A text node of a packet is a DOM node, but not an element.
  const ComPtr<IXMLDOMElement> iq = ParseXml("<iq from='room@conference'>text</iq>");
  ComPtr<IXMLDOMNode> text;
  ASSERT_EQ(iq->get_firstChild(text.Put()), S_OK);
  EXPECT_EQ(sink_->OnPacket(nullptr, text.Get(), 0), S_FALSE);
  EXPECT_TRUE(host_.Events().empty());
}

TEST_F(SessionTest, RepliesFromTheRoomAreDispatchedAndAnnounced) {
  AttachToRoom();
  EXPECT_EQ(Deliver("<IQ from='room@conference'><query xmlns='QUENLO:CONF:TEST' type='x'/></IQ>"),
            S_OK);
  ASSERT_EQ(session_->replies.size(), 1u);
  EXPECT_EQ(session_->replies[0].queryNamespace, ToOleString(OLESTR("QUENLO:CONF:TEST")));
  ASSERT_EQ(host_.Events().size(), 1u);
  const RecordingHost::Event& event = host_.Events()[0];
  EXPECT_EQ(event.eventPath, ToOleString(OLESTR("/test/reply/ok")));
  EXPECT_EQ(event.reserved, 0);
  // The public interface is what the host receives, not the primary one.
  EXPECT_EQ(event.result.Get(), static_cast<IUnknown*>(event.result.As<ITestResult>().Get()));
  EXPECT_NE(event.result.Get(), event.result.As<IUnknown>().Get());
}

TEST_F(SessionTest, OnlyTheRoomAddressExactlyIsAccepted) {
  AttachToRoom();
  EXPECT_EQ(Deliver("<iq from='ROOM@conference'><query xmlns='quenlo:conf:test'/></iq>"), S_OK);
  EXPECT_EQ(Deliver("<iq from='room@conference '><query xmlns='quenlo:conf:test'/></iq>"), S_OK);
  EXPECT_EQ(Deliver("<iq><query xmlns='quenlo:conf:test'/></iq>"), S_OK);
  EXPECT_EQ(Deliver("<message from='room@conference'><query xmlns='quenlo:conf:test'/></message>"),
            S_OK);
  EXPECT_EQ(Deliver("<iq from='room@conference'/>"), S_OK);
  EXPECT_TRUE(session_->replies.empty());
  // Another feature's reply from the room is refused.
  EXPECT_EQ(Deliver("<iq from='room@conference'><query xmlns='quenlo:conf:agenda'/></iq>"),
            S_FALSE);
  EXPECT_TRUE(session_->replies.empty());
}

TEST_F(SessionTest, UnnamedSessionDispatchesNoOrdinaryReply) {
  ASSERT_EQ(config_->Attach(&host_), S_OK);
  EXPECT_EQ(Deliver("<iq from=''><query xmlns='quenlo:conf:test'/></iq>"), S_OK);
  EXPECT_TRUE(session_->replies.empty());
  // Once emptied, the address is the empty text and matches an empty "from".
  config_->SetProperty(OLESTR("test.room_name"), OLESTR("room"));
  config_->SetProperty(OLESTR("test.room_name"), OLESTR(""));
  EXPECT_EQ(Deliver("<iq from=''><query xmlns='quenlo:conf:test'/></iq>"), S_OK);
  EXPECT_EQ(session_->replies.size(), 1u);
}

TEST_F(SessionTest, TheFirstQueryAtAnyDepthIsUsed) {
  AttachToRoom();
  EXPECT_EQ(Deliver("<iq from='room@conference' type='result'><x><query xmlns='quenlo:conf:test' "
                    "type='first'/></x><query xmlns='quenlo:conf:test' type='second'/></iq>"),
            S_OK);
  ASSERT_EQ(session_->replies.size(), 1u);
  EXPECT_TRUE(XmlEquivalent(session_->replies[0].query.Get(),
                            "<query xmlns='quenlo:conf:test' type='first'/>"));
}

TEST_F(SessionTest, ErrorRepliesAreTakenFromAnySenderInTheSessionNamespace) {
  ASSERT_EQ(config_->Attach(&host_), S_OK);  // no room name at all
  EXPECT_EQ(Deliver("<iq type='ErRoR' from='elsewhere'><query xmlns='quenlo:conf:test'/>"
                    "<error code='404'/></iq>"),
            S_OK);
  ASSERT_EQ(session_->errors.size(), 1u);
  ASSERT_EQ(host_.Events().size(), 1u);
  EXPECT_EQ(host_.Events()[0].eventPath, ToOleString(OLESTR("/test/error")));
  EXPECT_EQ(Deliver("<iq type='error'><error code='1'/></iq>"), S_OK);  // no query
  EXPECT_EQ(Deliver("<iq type='error'><query xmlns='quenlo:conf:voting'/></iq>"), S_FALSE);
  EXPECT_EQ(session_->errors.size(), 1u);
}

TEST_F(SessionTest, ResultsTheHostDoesNotKeepDieWhenTheEventReturns) {
  AttachToRoom();
  host_.KeepResults(false);
  EXPECT_EQ(Deliver("<iq from='room@conference'><query xmlns='quenlo:conf:test'/></iq>"), S_OK);
  ASSERT_EQ(host_.Events().size(), 1u);
  EXPECT_TRUE(host_.Events()[0].hadResult);
  EXPECT_EQ(TestResult::constructed, 1);
  EXPECT_EQ(TestResult::destroyed, 1);
}

TEST_F(SessionTest, AResultThatFailsToLoadIsNotAnnounced) {
  AttachToRoom();
  EXPECT_EQ(Deliver("<iq from='room@conference'><query xmlns='quenlo:conf:test'><broken/></query>"
                    "</iq>"),
            S_OK);
  EXPECT_EQ(Deliver("<iq type='error'><query xmlns='quenlo:conf:test'/><error><broken/></error>"
                    "</iq>"),
            S_OK);
  EXPECT_EQ(session_->replies.size(), 1u);
  EXPECT_EQ(session_->errors.size(), 1u);
  EXPECT_TRUE(host_.Events().empty());
  EXPECT_EQ(TestResult::constructed, 2);
  EXPECT_EQ(TestResult::destroyed, 2);
}

TEST_F(SessionTest, RepliesWhileDetachedAreDroppedNotRaised) {
  config_->SetProperty(OLESTR("test.room_name"), OLESTR("room@conference"));
  EXPECT_EQ(Deliver("<iq from='room@conference'><query xmlns='quenlo:conf:test'/></iq>"), S_OK);
  ASSERT_EQ(config_->Attach(&host_), S_OK);
  ASSERT_EQ(config_->Detach(), S_OK);
  EXPECT_EQ(Deliver("<iq type='error'><query xmlns='quenlo:conf:test'/><error/></iq>"), S_OK);
  EXPECT_EQ(session_->replies.size(), 1u);
  EXPECT_EQ(session_->errors.size(), 1u);
  EXPECT_EQ(TestResult::constructed, 0);
  EXPECT_TRUE(host_.Events().empty());
}

}  // namespace

}  // namespace quenlo::confext
