// VotingSession: its interfaces, its four properties, the room-name cache and the packet filter
// with its statuses.
#include <gtest/gtest.h>

#include "voting_fixture.h"
#include "xml/shared_document.h"

namespace {

using VotingSessionTest = VotingTest;

std::string Property(IConferenceSession* config, const OLECHAR* name) {
  Bstr value;
  EXPECT_EQ(config->GetProperty(name, value.Put()), S_OK) << ToUtf8(name);
  return Utf8(value);
}

TEST_F(VotingSessionTest, AnswersItsInterfacesInOneObject) {
  EXPECT_EQ(sink_.As<IUnknown>().Get(), session_.Get());
  EXPECT_EQ(commands_.As<IUnknown>().Get(), session_.Get());
  EXPECT_EQ(config_.As<IVotingCommands>().Get(), commands_.Get());
  EXPECT_FALSE(session_.As<IAgendaCommands>());
  EXPECT_FALSE(session_.As<IVotingReply>());
  EXPECT_EQ(CountOf(session_.Get()), 4u);  // the fixture's four pointers
}

TEST_F(VotingSessionTest, PropertiesStartWithTheirDefaults) {
  EXPECT_EQ(Property(config_.Get(), OLESTR("voting.room_name")), "");
  EXPECT_EQ(Property(config_.Get(), OLESTR("voting.multiselsect")), "0");
  EXPECT_EQ(Property(config_.Get(), OLESTR("voting.registered")), "0");
  EXPECT_EQ(Property(config_.Get(), OLESTR("voting.timeout")), "");
  // The key is spelled as hosts spell it; the corrected spelling is not a property.
  EXPECT_EQ(config_->SetProperty(OLESTR("voting.multiselect"), OLESTR("1")), S_FALSE);
  EXPECT_EQ(config_->SetProperty(OLESTR("Voting.Timeout"), OLESTR("1")), S_FALSE);
  EXPECT_EQ(config_->SetProperty(OLESTR("voting.timeout"), OLESTR("45")), S_OK);
  EXPECT_EQ(Property(config_.Get(), OLESTR("voting.timeout")), "45");
}

TEST_F(VotingSessionTest, ANewSessionIgnoresRepliesUntilItsRoomIsSet) {
  ASSERT_EQ(config_->Attach(&host_), S_OK);
  const char* reply =
      "<iq from='' type='result'><query xmlns='quenlo:conf:voting' type='apply'/></iq>";
  EXPECT_EQ(Deliver(reply), S_OK);
  EXPECT_TRUE(host_.Events().empty());
  // Once set and set back to empty, the room matches an empty "from".
  ASSERT_EQ(config_->SetProperty(OLESTR("voting.room_name"), kRoom), S_OK);
  ASSERT_EQ(config_->SetProperty(OLESTR("voting.room_name"), OLESTR("")), S_OK);
  EXPECT_EQ(Deliver(reply), S_OK);
  EXPECT_EQ(EventPaths(), std::vector<std::string>{"/voting/apply/ok"});
}

TEST_F(VotingSessionTest, AnEmptyRoomNameReleasesTheSharedDocument) {
  AttachToRoom();
  ASSERT_EQ(commands_->Apply(OLESTR("1")), S_OK);
  EXPECT_TRUE(SharedDocument::IsPresent());
  // The same value again changes nothing.
  ASSERT_EQ(config_->SetProperty(OLESTR("voting.room_name"), kRoom), S_OK);
  EXPECT_TRUE(SharedDocument::IsPresent());
  ASSERT_EQ(config_->SetProperty(OLESTR("voting.room_name"), OLESTR("")), S_OK);
  EXPECT_FALSE(SharedDocument::IsPresent());
  // A request already handed out stays usable.
  EXPECT_TRUE(XmlEquivalent(host_.Sent().back().Get(),
                            "<iq type='set' to='room7@conference.example' id='1'>"
                            "<query type='apply' xmlns='quenlo:conf:voting'/></iq>"));
}

TEST_F(VotingSessionTest, TheRoomNameGoesThroughTheAnsiCodePage) {
  ASSERT_EQ(config_->SetProperty(OLESTR("voting.room_name"), OLESTR("caf\u00e9\u4e2d@x")), S_OK);
  ASSERT_EQ(config_->Attach(&host_), S_OK);
  ASSERT_EQ(commands_->Apply(OLESTR("1")), S_OK);
  EXPECT_TRUE(XmlEquivalent(host_.Sent().back().Get(),
                            "<iq type='set' to='caf\xC3\xA9?@x' id='1'>"
                            "<query type='apply' xmlns='quenlo:conf:voting'/></iq>"));
}

// Each case is delivered to a session in room7@conference.example.
struct FilterCase {
  const char* name;
  const char* packet;
  HRESULT status;
  const char* announced;  // null: nothing
};

class VotingFilterTest : public VotingTest, public ::testing::WithParamInterface<FilterCase> {};

TEST_P(VotingFilterTest, StatusAndAnnouncement) {
  AttachToRoom();
  const FilterCase& c = GetParam();
  EXPECT_EQ(Deliver(c.packet), c.status);
  if (c.announced == nullptr) {
    EXPECT_TRUE(host_.Events().empty());
  } else {
    EXPECT_EQ(EventPaths(), std::vector<std::string>{c.announced});
  }
}

INSTANTIATE_TEST_SUITE_P(
    Packets, VotingFilterTest,
    ::testing::Values(
        FilterCase{"Reply",
                   "<iq type='result' from='room7@conference.example'>"
                   "<query xmlns='quenlo:conf:voting' type='apply'/></iq>",
                   S_OK, "/voting/apply/ok"},
        FilterCase{"TagCaseFolded",
                   "<IQ type='result' from='room7@conference.example'>"
                   "<query xmlns='quenlo:conf:voting' type='apply'/></IQ>",
                   S_OK, "/voting/apply/ok"},
        FilterCase{"NamespaceCaseFolded",
                   "<iq from='room7@conference.example'>"
                   "<query xmlns='QUENLO:Conf:Voting' type='apply'/></iq>",
                   S_OK, "/voting/apply/ok"},
        FilterCase{"NoTypeOnIq",
                   "<iq from='room7@conference.example'>"
                   "<query xmlns='quenlo:conf:voting' type='start'/></iq>",
                   S_OK, "/voting/start/ok"},
        FilterCase{"NotIq",
                   "<message from='room7@conference.example'>"
                   "<query xmlns='quenlo:conf:voting' type='apply'/></message>",
                   S_OK, nullptr},
        FilterCase{"OtherSender",
                   "<iq type='result' from='room8@conference.example'>"
                   "<query xmlns='quenlo:conf:voting' type='apply'/></iq>",
                   S_OK, nullptr},
        FilterCase{"SenderInOtherCase",
                   "<iq type='result' from='Room7@conference.example'>"
                   "<query xmlns='quenlo:conf:voting' type='apply'/></iq>",
                   S_OK, nullptr},
        FilterCase{"SenderWithTrailingBlank",
                   "<iq from='room7@conference.example '>"
                   "<query xmlns='quenlo:conf:voting' type='apply'/></iq>",
                   S_OK, nullptr},
        FilterCase{"NoSender",
                   "<iq type='result'>"
                   "<query xmlns='quenlo:conf:voting' type='apply'/></iq>",
                   S_OK, nullptr},
        FilterCase{"NoQuery", "<iq type='result' from='room7@conference.example'><x/></iq>", S_OK,
                   nullptr},
        FilterCase{"OtherNamespaceFromTheRoom",
                   "<iq type='result' from='room7@conference.example'>"
                   "<query xmlns='quenlo:conf:agenda' type='apply'/></iq>",
                   S_FALSE, nullptr},
        FilterCase{"NoNamespaceFromTheRoom",
                   "<iq type='result' from='room7@conference.example'>"
                   "<query type='apply'/></iq>",
                   S_FALSE, nullptr},
        FilterCase{"OtherNamespaceFromElsewhere",
                   "<iq type='result' from='elsewhere'>"
                   "<query xmlns='quenlo:conf:agenda' type='apply'/></iq>",
                   S_OK, nullptr},
        FilterCase{"NestedQueryFirstInDocumentOrder",
                   "<iq from='room7@conference.example'><wrap><query xmlns='quenlo:conf:voting' "
                   "type='end'/></wrap><query xmlns='quenlo:conf:voting' type='start'/></iq>",
                   S_OK, "/voting/end/ok"},
        FilterCase{"FirstQueryDecidesTheNamespace",
                   "<iq from='room7@conference.example'><query xmlns='quenlo:conf:agenda' "
                   "type='end'/><query xmlns='quenlo:conf:voting' type='start'/></iq>",
                   S_FALSE, nullptr},
        FilterCase{"ErrorFromAnySender",
                   "<iq type='ERROR' from='somebody.else'>"
                   "<query xmlns='quenlo:conf:voting' type='apply'/>"
                   "<error code='404'/></iq>",
                   S_OK, "/voting/error"},
        FilterCase{"ErrorWithoutSender",
                   "<iq type='error'><query xmlns='quenlo:conf:voting'/>"
                   "<x><error code='1'/></x></iq>",
                   S_OK, "/voting/error"},
        FilterCase{"ErrorWithOtherNamespace",
                   "<iq type='error' from='room7@conference.example'>"
                   "<query xmlns='quenlo:conf:agenda'/><error code='1'/></iq>",
                   S_FALSE, nullptr},
        FilterCase{"ErrorWithoutQuery",
                   "<iq type='error' from='room7@conference.example'>"
                   "<error code='1'/></iq>",
                   S_OK, nullptr},
        FilterCase{"ErrorWithoutErrorElement",
                   "<iq type='error' from='x'>"
                   "<query xmlns='quenlo:conf:voting'/></iq>",
                   S_OK, nullptr},
        FilterCase{"QueryWithoutType",
                   "<iq from='room7@conference.example'>"
                   "<query xmlns='quenlo:conf:voting'/></iq>",
                   S_FALSE, nullptr}),
    [](const ::testing::TestParamInfo<FilterCase>& packet) {
      return std::string(packet.param.name);
    });

TEST_F(VotingSessionTest, APacketThatIsNotAnElementIsRefused) {
  AttachToRoom();
  EXPECT_EQ(sink_->OnPacket(nullptr, nullptr, 0), S_FALSE);
  // The session itself is an object, but not an XML element.
  EXPECT_EQ(sink_->OnPacket(nullptr, session_.Get(), 0), S_FALSE);
  // A text node of a packet is a DOM node, but not an element.
  const ComPtr<IXMLDOMElement> iq = ParseXml("<iq from='room7@conference.example'>text</iq>");
  ComPtr<IXMLDOMNode> text;
  ASSERT_EQ(iq->get_firstChild(text.Put()), S_OK);
  EXPECT_EQ(sink_->OnPacket(nullptr, text.Get(), 0), S_FALSE);
  EXPECT_TRUE(host_.Events().empty());
}

TEST_F(VotingSessionTest, AReplyThatArrivesWithoutAHostIsDropped) {
  ASSERT_EQ(config_->SetProperty(OLESTR("voting.room_name"), kRoom), S_OK);
  EXPECT_EQ(Deliver("<iq from='room7@conference.example'>"
                    "<query xmlns='quenlo:conf:voting' type='apply'/></iq>"),
            S_OK);
  EXPECT_EQ(Deliver("<iq type='error'><query xmlns='quenlo:conf:voting'/><error/></iq>"), S_OK);
  EXPECT_TRUE(host_.Events().empty());
}

TEST_F(VotingSessionTest, AttachSubscribesAndDetachRestoresTheHost) {
  AttachToRoom();
  ASSERT_EQ(host_.Subscriptions().size(), 1u);
  EXPECT_EQ(ToUtf8(host_.Subscriptions()[0].eventPath), "/packet");
  EXPECT_EQ(host_.Subscriptions()[0].sink.Get(), sink_.Get());
  EXPECT_EQ(host_.References(), 2u);
  ASSERT_EQ(config_->Detach(), S_OK);
  EXPECT_EQ(host_.Unsubscribed(), std::vector<ULONG>{host_.Subscriptions()[0].cookie});
  EXPECT_EQ(host_.References(), 1u);
}

}  // namespace
