// The six agenda commands: each packet as a tree, and every refusal sending nothing.
#include <gtest/gtest.h>

#include <functional>

#include "agenda_fixture.h"

namespace {

using AgendaCommandsTest = AgendaTest;

// The one request sent so far, checked against the expected tree.
::testing::AssertionResult SentOnly(const RecordingHost& host, const char* expectedXml) {
  if (host.Sent().size() != 1) {
    return ::testing::AssertionFailure() << host.Sent().size() << " requests sent";
  }
  return XmlEquivalent(host.Sent()[0].Get(), expectedXml);
}

TEST_F(AgendaCommandsTest, CreateSendsTheWholeRecord) {
  AttachToRoom();
  ASSERT_EQ(commands_->Create(OLESTR("r1"), OLESTR("q9"), OLESTR("Opening"), OLESTR("09:00"),
                              OLESTR("talk"), OLESTR("15")),
            S_OK);
  EXPECT_TRUE(SentOnly(host_,
                       "<iq type='set' to='hall3@conference.example' id='r1'>"
                       "<query type='create' xmlns='quenlo:conf:agenda'><subject>"
                       "<qid>q9</qid><text>Opening</text><time>09:00</time><type>talk</type>"
                       "<value>15</value></subject></query></iq>"));
}

TEST_F(AgendaCommandsTest, ModifySendsTheWholeRecord) {
  AttachToRoom();
  ASSERT_EQ(commands_->Modify(OLESTR("r2"), OLESTR("q9"), OLESTR("Budget"), OLESTR("10:30"),
                              OLESTR("vote"), OLESTR("30")),
            S_OK);
  EXPECT_TRUE(SentOnly(host_,
                       "<iq type='set' to='hall3@conference.example' id='r2'>"
                       "<query type='modify' xmlns='quenlo:conf:agenda'><subject>"
                       "<qid>q9</qid><text>Budget</text><time>10:30</time><type>vote</type>"
                       "<value>30</value></subject></query></iq>"));
}

TEST_F(AgendaCommandsTest, EmptyArgumentsStillSendEveryElement) {
  AttachToRoom();
  ASSERT_EQ(commands_->Create(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr), S_OK);
  EXPECT_TRUE(SentOnly(host_,
                       "<iq type='set' to='hall3@conference.example' id=''>"
                       "<query type='create' xmlns='quenlo:conf:agenda'><subject>"
                       "<qid/><text/><time/><type/><value/></subject></query></iq>"));
}

TEST_F(AgendaCommandsTest, DeleteAndSyncSendOneQid) {
  AttachToRoom();
  ASSERT_EQ(commands_->Delete(OLESTR("r3"), OLESTR("q1")), S_OK);
  ASSERT_EQ(commands_->Sync(OLESTR("r4"), OLESTR("q2")), S_OK);
  ASSERT_EQ(host_.Sent().size(), 2u);
  EXPECT_TRUE(XmlEquivalent(host_.Sent()[0].Get(),
                            "<iq type='set' to='hall3@conference.example' id='r3'>"
                            "<query type='delete' xmlns='quenlo:conf:agenda'><qid>q1</qid>"
                            "</query></iq>"));
  EXPECT_TRUE(XmlEquivalent(host_.Sent()[1].Get(),
                            "<iq type='set' to='hall3@conference.example' id='r4'>"
                            "<query type='sync' xmlns='quenlo:conf:agenda'><qid>q2</qid>"
                            "</query></iq>"));
}

TEST_F(AgendaCommandsTest, BrowseAndRequestSendAnEmptyQuery) {
  AttachToRoom();
  ASSERT_EQ(commands_->Browse(OLESTR("r5")), S_OK);
  ASSERT_EQ(commands_->Request(OLESTR("r5")), S_OK);
  ASSERT_EQ(host_.Sent().size(), 2u);
  EXPECT_TRUE(XmlEquivalent(host_.Sent()[0].Get(),
                            "<iq type='set' to='hall3@conference.example' id='r5'>"
                            "<query type='browse' xmlns='quenlo:conf:agenda'/></iq>"));
  EXPECT_TRUE(XmlEquivalent(host_.Sent()[1].Get(),
                            "<iq type='set' to='hall3@conference.example' id='r5'>"
                            "<query type='request' xmlns='quenlo:conf:agenda'/></iq>"));
}

TEST_F(AgendaCommandsTest, MarkupCharactersAreCarriedAsText) {
  AttachToRoom();
  ASSERT_EQ(commands_->Sync(OLESTR("a&b"), OLESTR("<q&1>")), S_OK);
  EXPECT_TRUE(SentOnly(host_,
                       "<iq type='set' to='hall3@conference.example' id='a&amp;b'>"
                       "<query type='sync' xmlns='quenlo:conf:agenda'><qid>&lt;q&amp;1&gt;</qid>"
                       "</query></iq>"));
}

// Every command, called with ordinary arguments.
const std::vector<std::pair<const char*, std::function<HRESULT(IAgendaCommands*)>>>& Commands() {
  static const std::vector<std::pair<const char*, std::function<HRESULT(IAgendaCommands*)>>> all = {
      {"Create",
       [](IAgendaCommands* c) {
         return c->Create(OLESTR("1"), OLESTR("q"), OLESTR("t"), OLESTR("9"), OLESTR("x"),
                          OLESTR("1"));
       }},
      {"Delete", [](IAgendaCommands* c) { return c->Delete(OLESTR("1"), OLESTR("q")); }},
      {"Modify",
       [](IAgendaCommands* c) {
         return c->Modify(OLESTR("1"), OLESTR("q"), OLESTR("t"), OLESTR("9"), OLESTR("x"),
                          OLESTR("1"));
       }},
      {"Sync", [](IAgendaCommands* c) { return c->Sync(OLESTR("1"), OLESTR("q")); }},
      {"Browse", [](IAgendaCommands* c) { return c->Browse(OLESTR("1")); }},
      {"Request", [](IAgendaCommands* c) { return c->Request(OLESTR("1")); }},
  };
  return all;
}

TEST_F(AgendaCommandsTest, NothingIsSentBeforeARoomIsSet) {
  ASSERT_EQ(config_->Attach(&host_), S_OK);
  for (const auto& [name, command] : Commands()) {
    EXPECT_EQ(command(commands_.Get()), S_FALSE) << name;
  }
  EXPECT_TRUE(host_.Sent().empty());
}

TEST_F(AgendaCommandsTest, NothingIsSentOnceTheRoomIsSetBackToEmpty) {
  AttachToRoom();
  SetRoom(OLESTR(""));
  for (const auto& [name, command] : Commands()) {
    EXPECT_EQ(command(commands_.Get()), S_FALSE) << name;
  }
  EXPECT_TRUE(host_.Sent().empty());
}

TEST_F(AgendaCommandsTest, NothingIsSentWithoutAHost) {
  SetRoom();
  for (const auto& [name, command] : Commands()) {
    EXPECT_EQ(command(commands_.Get()), S_FALSE) << name;
  }
  ASSERT_EQ(config_->Attach(&host_), S_OK);
  ASSERT_EQ(config_->Detach(), S_OK);
  for (const auto& [name, command] : Commands()) {
    EXPECT_EQ(command(commands_.Get()), S_FALSE) << name;
  }
  EXPECT_TRUE(host_.Sent().empty());
}

TEST_F(AgendaCommandsTest, TextThatXmlCannotCarryIsNotSent) {
  AttachToRoom();
  const OLECHAR control[] = {u'a', 0x0001, 0};
  const OLECHAR loneSurrogate[] = {0xD800, 0};
  EXPECT_EQ(
      commands_->Create(OLESTR("1"), OLESTR("q"), OLESTR("t"), OLESTR("9"), OLESTR("x"), control),
      S_FALSE);
  EXPECT_EQ(commands_->Sync(OLESTR("1"), loneSurrogate), S_FALSE);
  EXPECT_EQ(commands_->Browse(control), S_FALSE);
  EXPECT_TRUE(host_.Sent().empty());
}

}  // namespace
