// The six agenda commands: each packet as a tree, and every refusal sending nothing.
#include <gtest/gtest.h>

#include <functional>

#include "agenda_fixture.h"

namespace quenlo::confext {

namespace {

using AgendaCommandsTest = AgendaTest;

// Every command with the request it sends: every field in its place, markup carried as text.
struct RequestCase {
  const char* name;
  std::function<HRESULT(IAgendaCommands*)> send;
  std::string expected;
};

const std::vector<RequestCase>& Requests() {
  static const std::vector<RequestCase> all = {
      {"Create",
       [](IAgendaCommands* c) {
         return c->Create(OLESTR("r1"), OLESTR("q9"), OLESTR("Opening"), OLESTR("09:00"),
                          OLESTR("talk"), OLESTR("15"));
       },
       AgendaTest::RequestXml("r1", "create",
                              "<subject><qid>q9</qid><text>Opening</text><time>09:00</"
                              "time><type>talk</type><value>15</value></subject>")},
      {"Modify",
       [](IAgendaCommands* c) {
         return c->Modify(OLESTR("r2"), OLESTR("q8"), OLESTR("Budget"), OLESTR("10:30"),
                          OLESTR("vote"), OLESTR("30"));
       },
       AgendaTest::RequestXml("r2", "modify",
                              "<subject><qid>q8</qid><text>Budget</text><time>10:30</"
                              "time><type>vote</type><value>30</value></subject>")},
      {"Delete", [](IAgendaCommands* c) { return c->Delete(OLESTR("r3"), OLESTR("q1")); },
       AgendaTest::RequestXml("r3", "delete", "<qid>q1</qid>")},
      {"Sync", [](IAgendaCommands* c) { return c->Sync(OLESTR("a&b"), OLESTR("<q&1>")); },
       AgendaTest::RequestXml("a&amp;b", "sync", "<qid>&lt;q&amp;1&gt;</qid>")},
      {"Browse", [](IAgendaCommands* c) { return c->Browse(OLESTR("r5")); },
       AgendaTest::RequestXml("r5", "browse")},
      {"Request", [](IAgendaCommands* c) { return c->Request(OLESTR("r6")); },
       AgendaTest::RequestXml("r6", "request")},
  };
  return all;
}

TEST_F(AgendaCommandsTest, EachCommandSendsItsRequest) {
  AttachToRoom();
  for (const RequestCase& request : Requests()) {
    host_.ForgetSent();
    ASSERT_EQ(request.send(commands_.Get()), S_OK) << request.name;
    ASSERT_EQ(host_.Sent().size(), 1u) << request.name;
    EXPECT_TRUE(XmlEquivalent(host_.Sent()[0].Get(), request.expected)) << request.name;
  }
}

TEST_F(AgendaCommandsTest, EmptyArgumentsStillSendEveryElement) {
  AttachToRoom();
  ASSERT_EQ(commands_->Create(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr), S_OK);
  ASSERT_EQ(host_.Sent().size(), 1u);
  EXPECT_TRUE(XmlEquivalent(
      host_.Sent()[0].Get(),
      RequestXml("", "create", "<subject><qid/><text/><time/><type/><value/></subject>")));
}

TEST_F(AgendaCommandsTest, NothingIsSentWithoutARoomOrAHost) {
  const auto expectEveryCommandRefused = [this](const char* state) {
    for (const RequestCase& request : Requests()) {
      EXPECT_EQ(request.send(commands_.Get()), S_FALSE) << request.name << ", " << state;
    }
  };
  ASSERT_EQ(config_->Attach(&host_), S_OK);
  expectEveryCommandRefused("no room ever set");
  ASSERT_EQ(config_->Detach(), S_OK);
  SetRoom();
  expectEveryCommandRefused("never attached");
  ASSERT_EQ(config_->Attach(&host_), S_OK);
  SetRoom(OLESTR(""));
  expectEveryCommandRefused("room set back to empty");
  SetRoom();
  ASSERT_EQ(config_->Detach(), S_OK);
  expectEveryCommandRefused("detached");
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

}  // namespace quenlo::confext
