// Whole agenda sessions through the text wire: items created, changed, browsed, synced and
// deleted, with the changes pushed to the other participants.
#include <gmock/gmock.h>

#include "meeting_fixture.h"

namespace quenlo::host {
namespace {

using ::testing::ElementsAre;
using ::testing::Pointee;

class AgendaMeetingTest : public MeetingTest {
 protected:
  void CreateItem(const char16_t* qid, const char16_t* text, const char16_t* time) {
    ASSERT_EQ(alice_.agenda().Create(u"create", qid, text, time, u"talk", u"15"), S_OK);
    Settle();
  }
};

TEST_F(AgendaMeetingTest, CreatedItemReachesEveryoneAsAList) {
  ASSERT_EQ(alice_.agenda().Create(u"c1", u"opening", u"Opening", u"09:00", u"talk", u"10"), S_OK);
  const std::vector<SeenEvent> created = Settle();
  ASSERT_EQ(created.size(), 3u);
  for (const SeenEvent& event : created) {
    EXPECT_EQ(event.path, "/agenda/create/ok");
    EXPECT_EQ(event.result.kind, "IAgendaList");
    ASSERT_EQ(event.result.entries.size(), 1u);
    const ResultSnapshot& item = event.result.entries[0];
    EXPECT_THAT(item.Find("qid"), Pointee(std::string("opening")));
    EXPECT_THAT(item.Find("text"), Pointee(std::string("Opening")));
    EXPECT_THAT(item.Find("time"), Pointee(std::string("09:00")));
    EXPECT_THAT(item.Find("type"), Pointee(std::string("talk")));
    EXPECT_THAT(item.Find("value"), Pointee(std::string("10")));
  }
  EXPECT_EQ(created[0].participant, "alice");
}

TEST_F(AgendaMeetingTest, BrowseListsItemsInCreationOrderWithTheirChanges) {
  CreateItem(u"b", u"Budget", u"10:00");
  CreateItem(u"a", u"Agenda review", u"09:00");
  ASSERT_EQ(bob_.agenda().Modify(u"m", u"b", u"Budget 2025", u"10:30", u"vote", u"30"), S_OK);
  const std::vector<SeenEvent> modified = Settle();
  ASSERT_EQ(modified.size(), 3u);
  EXPECT_EQ(modified[0].path, "/agenda/modify/ok");

  ASSERT_EQ(carol_.agenda().Browse(u"browse"), S_OK);
  const SeenEvent listing = SettleOne();
  EXPECT_EQ(listing.path, "/agenda/showall/ok");
  EXPECT_THAT(listing.result.Find("count"), Pointee(std::string("2")));
  EXPECT_THAT(EntryValues(listing.result, "text"), ElementsAre("Budget 2025", "Agenda review"));
  EXPECT_THAT(EntryValues(listing.result, "type"), ElementsAre("vote", "talk"));
}

TEST_F(AgendaMeetingTest, SyncSetsTheItemThatRequestAnswers) {
  CreateItem(u"one", u"First", u"09:00");
  CreateItem(u"two", u"Second", u"10:00");

  ASSERT_EQ(carol_.agenda().Request(u"r0"), S_OK);
  const SeenEvent nothing = SettleOne();
  EXPECT_EQ(nothing.path, "/agenda/request/ok");
  EXPECT_EQ(nothing.result.Find("qid"), nullptr);

  ASSERT_EQ(alice_.agenda().Sync(u"s", u"two"), S_OK);
  const std::vector<SeenEvent> synced = Settle();
  ASSERT_EQ(synced.size(), 3u);
  EXPECT_EQ(synced[1].path, "/agenda/sync/ok");
  EXPECT_EQ(synced[1].result.kind, "IAgendaReply");
  EXPECT_THAT(synced[1].result.Find("qid"), Pointee(std::string("two")));

  ASSERT_EQ(carol_.agenda().Request(u"r1"), S_OK);
  const SeenEvent current = SettleOne();
  EXPECT_THAT(current.result.Find("text"), Pointee(std::string("Second")));
}

TEST_F(AgendaMeetingTest, DeletedItemLeavesTheAgenda) {
  CreateItem(u"one", u"First", u"09:00");
  CreateItem(u"two", u"Second", u"10:00");
  ASSERT_EQ(alice_.agenda().Delete(u"d", u"one"), S_OK);
  const std::vector<SeenEvent> deleted = Settle();
  ASSERT_EQ(deleted.size(), 3u);
  EXPECT_EQ(deleted[2].path, "/agenda/delete/ok");
  EXPECT_THAT(EntryValues(deleted[2].result, "qid"), ElementsAre("one"));

  bob_.agenda().Browse(u"browse");
  EXPECT_THAT(EntryValues(SettleOne().result, "qid"), ElementsAre("two"));
}

TEST_F(AgendaMeetingTest, RefusedRequestsAreAnnouncedAsErrorsWithTheirCodes) {
  bob_.agenda().Delete(u"d", u"missing");
  const SeenEvent unknown = SettleOne();
  EXPECT_EQ(unknown.participant, "bob");
  EXPECT_EQ(unknown.path, "/agenda/error");
  EXPECT_THAT(unknown.result.Find("code"), Pointee(std::string("20")));
  EXPECT_THAT(unknown.result.Find("qid"), Pointee(std::string("missing")));
  ASSERT_NE(unknown.result.Find("text"), nullptr);

  CreateItem(u"one", u"First", u"09:00");
  alice_.agenda().Create(u"again", u"one", u"Other", u"", u"", u"");
  EXPECT_THAT(SettleOne().result.Find("code"), Pointee(std::string("21")));
}

}  // namespace
}  // namespace quenlo::host
