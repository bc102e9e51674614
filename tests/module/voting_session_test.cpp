// VotingSession: its interfaces, its four properties, the room-name cache and the packet filter
// with its statuses.
#include <gtest/gtest.h>
#include <quenlo/agenda.h>

#include "voting_fixture.h"

namespace quenlo::confext {

namespace {

using VotingSessionTest = VotingTest;

std::string Property(IConferenceSession* config, const OLECHAR* name) {
  Bstr value;
  EXPECT_EQ(config->GetProperty(name, value.Put()), S_OK) << ToUtf8(name);
  return ToUtf8(value);
}

TEST_F(VotingSessionTest, AnswersItsInterfacesInOneObject) {
  EXPECT_EQ(sink_.As<IUnknown>().Get(), session_.Get());
  EXPECT_EQ(commands_.As<IUnknown>().Get(), session_.Get());
  EXPECT_EQ(config_.As<IVotingCommands>().Get(), commands_.Get());
  EXPECT_FALSE(session_.As<IAgendaCommands>());
  EXPECT_FALSE(session_.As<IVotingReply>());
  EXPECT_EQ(ReferencesOf(session_.Get()), 4u);  // the fixture's four pointers
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

TEST_F(VotingSessionTest, TheRoomNameGoesThroughTheAnsiCodePage) {
  ASSERT_EQ(config_->SetProperty(OLESTR("voting.room_name"), OLESTR("caf\u00e9\u4e2d@x")), S_OK);
  ASSERT_EQ(config_->Attach(&host_), S_OK);
  ASSERT_EQ(commands_->Apply(OLESTR("1")), S_OK);
  EXPECT_TRUE(XmlEquivalent(host_.Sent().back().Get(),
                            "<iq type='set' to='caf\xC3\xA9?@x' id='1'>"
                            "<query type='apply' xmlns='quenlo:conf:voting'/></iq>"));
}

using VotingFilterTest = PacketFilterFixture<VotingProduct>;

TEST_P(VotingFilterTest, StatusAndAnnouncement) { ExpectStatusAndAnnouncement(); }

INSTANTIATE_TEST_SUITE_P(
    Packets, VotingFilterTest,
    ::testing::Values(FilterCase{"Reply",
                                 "<iq type='result' from='room7@conference.example'>"
                                 "<query xmlns='quenlo:conf:voting' type='apply'/></iq>",
                                 S_OK, "/voting/apply/ok"},
                      FilterCase{"NamespaceCaseFolded",
                                 "<iq from='room7@conference.example'>"
                                 "<query xmlns='QUENLO:Conf:Voting' type='apply'/></iq>",
                                 S_OK, "/voting/apply/ok"},
                      FilterCase{"OtherNamespaceFromTheRoom",
                                 "<iq type='result' from='room7@conference.example'>"
                                 "<query xmlns='quenlo:conf:agenda' type='apply'/></iq>",
                                 S_FALSE, nullptr},
                      FilterCase{"NoNamespaceFromTheRoom",
                                 "<iq type='result' from='room7@conference.example'>"
                                 "<query type='apply'/></iq>",
                                 S_FALSE, nullptr},
                      FilterCase{
                          "FirstQueryDecidesTheNamespace",
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
                      FilterCase{"ErrorWithoutErrorElement",
                                 "<iq type='error' from='x'>"
                                 "<query xmlns='quenlo:conf:voting'/></iq>",
                                 S_OK, nullptr},
                      FilterCase{"QueryWithoutType",
                                 "<iq from='room7@conference.example'>"
                                 "<query xmlns='quenlo:conf:voting'/></iq>",
                                 S_FALSE, nullptr}),
    NameOfFilterCase);

}  // namespace

}  // namespace quenlo::confext
