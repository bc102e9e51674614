// AgendaSession: its interfaces, its one property and the packet filter with its statuses.
#include <gtest/gtest.h>
#include <quenlo/voting.h>

#include "agenda_fixture.h"

namespace quenlo::confext {

namespace {

using AgendaSessionTest = AgendaTest;

TEST_F(AgendaSessionTest, AnswersItsInterfacesInOneObject) {
  EXPECT_EQ(sink_.As<IUnknown>().Get(), session_.Get());
  EXPECT_EQ(commands_.As<IUnknown>().Get(), session_.Get());
  EXPECT_EQ(config_.As<IAgendaCommands>().Get(), commands_.Get());
  EXPECT_FALSE(session_.As<IVotingCommands>());
  EXPECT_FALSE(session_.As<IAgendaReply>());
  EXPECT_EQ(ReferencesOf(session_.Get()), 4u);  // the fixture's four pointers
}

TEST_F(AgendaSessionTest, HasOnlyTheRoomNameProperty) {
  Bstr value;
  ASSERT_EQ(config_->GetProperty(OLESTR("agenda.room_name"), value.Put()), S_OK);
  EXPECT_NE(value.Get(), nullptr);
  EXPECT_EQ(ToUtf8(value), "");
  EXPECT_EQ(config_->SetProperty(OLESTR("voting.room_name"), kAgendaRoom), S_FALSE);
  EXPECT_EQ(config_->SetProperty(OLESTR("Agenda.Room_Name"), kAgendaRoom), S_FALSE);
  SetRoom();
  ASSERT_EQ(config_->GetProperty(OLESTR("agenda.room_name"), value.Put()), S_OK);
  EXPECT_EQ(ToUtf8(value), "hall3@conference.example");
}

using AgendaFilterTest = PacketFilterFixture<AgendaProduct>;

TEST_P(AgendaFilterTest, StatusAndAnnouncement) { ExpectStatusAndAnnouncement(); }

INSTANTIATE_TEST_SUITE_P(
    Packets, AgendaFilterTest,
    ::testing::Values(
        FilterCase{"Reply",
                   "<iq type='result' from='hall3@conference.example'>"
                   "<query xmlns='quenlo:conf:agenda' type='sync'/></iq>",
                   S_OK, "/agenda/sync/ok"},
        FilterCase{"NamespaceCaseFolded",
                   "<iq from='hall3@conference.example'>"
                   "<query xmlns='Quenlo:Conf:AGENDA' type='request'/></iq>",
                   S_OK, "/agenda/request/ok"},
        FilterCase{"OtherNamespaceFromTheRoom",
                   "<iq type='result' from='hall3@conference.example'>"
                   "<query xmlns='quenlo:conf:voting' type='sync'/></iq>",
                   S_FALSE, nullptr},
        FilterCase{"ErrorFromAnySender",
                   "<iq type='Error' from='server.example'>"
                   "<query xmlns='quenlo:conf:agenda'/><error><code>3</code></error></iq>",
                   S_OK, "/agenda/error"},
        FilterCase{"ErrorWithVotingQuery",
                   "<iq type='error' from='hall3@conference.example'>"
                   "<query xmlns='quenlo:conf:voting'/><error><code>3</code></error></iq>",
                   S_FALSE, nullptr},
        FilterCase{"QueryWithoutType",
                   "<iq from='hall3@conference.example'>"
                   "<query xmlns='quenlo:conf:agenda'/></iq>",
                   S_FALSE, nullptr}),
    NameOfFilterCase);

}  // namespace

}  // namespace quenlo::confext
