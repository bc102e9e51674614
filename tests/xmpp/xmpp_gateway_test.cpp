// confserver on a real Prosody: membership by presence, one answer per request, pushes to the
// room, and how it starts, fails and reconnects.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <thread>

#include "tests/xmpp/component_fixture.h"

namespace quenlo::xmpp_test {
namespace {

using ::testing::HasSubstr;

std::string AgendaCreate(const std::string& id, const std::string& qid,
                         const std::string& room = kRoom) {
  return "<iq type='set' id='" + id + "' to='" + room +
         "'><query type='create' xmlns='quenlo:conf:agenda'><subject><qid>" + qid +
         "</qid><text>Item " + qid + "</text></subject></query></iq>";
}

std::string AgendaBrowse(const std::string& id) {
  return "<iq type='get' id='" + id + "' to='" + std::string(kRoom) +
         "'><query type='browse' xmlns='quenlo:conf:agenda'/></iq>";
}

class XmppGatewayTest : public ComponentFixture {
 protected:
  void SetUp() override {
    ComponentFixture::SetUp();
    StartComponent();
  }

  bool Answered(const TestClient& client, const std::string& id) {
    return RunUntil(context_, [&] { return client.AnswerTo(id) != nullptr; });
  }

  int PushesTo(const TestClient& client) {
    int pushes = 0;
    for (const ReceivedStanza& stanza : client.received()) {
      if (stanza.name == "iq" && stanza.type == "set") ++pushes;
    }
    return pushes;
  }
};

TEST_F(XmppGatewayTest, JoinIsAnsweredWithOwnPresenceAndRequestsComeBackFromTheRoom) {
  TestClient& alice = Client("alice");
  alice.Join(kRoom, "Alice");
  const ReceivedStanza& presence = alice.received().back();
  EXPECT_EQ(presence.from, std::string(kRoom) + "/Alice");
  EXPECT_THAT(presence.text, HasSubstr("code=\"110\""));

  alice.Send(AgendaCreate("c1", "opening"));
  ASSERT_TRUE(Answered(alice, "c1"));
  EXPECT_EQ(alice.AnswerTo("c1")->type, "result");
  EXPECT_EQ(alice.AnswerTo("c1")->from, kRoom);
  EXPECT_THAT(alice.AnswerTo("c1")->text, HasSubstr("<qid>opening</qid>"));
}

TEST_F(XmppGatewayTest, ChangesArePushedToTheOthersOnlyWhileTheyAreIn) {
  TestClient& alice = Client("alice");
  TestClient& bob = Client("bob");
  TestClient& carol = Client("carol");
  alice.Join(kRoom, "Alice");
  bob.Join(kRoom, "Bob");
  carol.Join(kRoom, "Carol");

  alice.Send(AgendaCreate("c1", "one"));
  ASSERT_TRUE(Answered(alice, "c1"));
  ASSERT_TRUE(RunUntil(context_, [&] { return PushesTo(bob) == 1 && PushesTo(carol) == 1; }));
  EXPECT_EQ(PushesTo(alice), 0);

  // Carol leaves by presence, Bob by closing his stream: the XMPP server tells the component.
  carol.Leave(kRoom, "Carol");
  bob.Disconnect();
  alice.Send(AgendaCreate("c2", "two"));
  ASSERT_TRUE(Answered(alice, "c2"));
  alice.Send(AgendaBrowse("b1"));
  ASSERT_TRUE(Answered(alice, "b1"));
  EXPECT_EQ(PushesTo(carol), 1);

  // Bob, back on a new stream, is not a member until he joins again.
  TestClient& bob_again = Client("bob");
  bob_again.Send(AgendaBrowse("b2"));
  ASSERT_TRUE(Answered(bob_again, "b2"));
  EXPECT_EQ(bob_again.AnswerTo("b2")->type, "error");
  EXPECT_THAT(bob_again.AnswerTo("b2")->text, HasSubstr("<forbidden"));
  bob_again.Join(kRoom, "Bob");
  alice.Send(AgendaCreate("c3", "three"));
  ASSERT_TRUE(Answered(alice, "c3"));
  ASSERT_TRUE(RunUntil(context_, [&] { return PushesTo(bob_again) == 1; }));
}

TEST_F(XmppGatewayTest, AnswersAddressedToTheComponentAreNeverAnswered) {
  TestClient& alice = Client("alice");
  alice.Join(kRoom, "Alice");
  alice.Send("<iq type='result' id='r1' to='" + std::string(kRoom) + "'/>");
  alice.Send("<iq type='error' id='e1' to='" + std::string(kRoom) +
             "'><error type='cancel'><bad-request "
             "xmlns='urn:ietf:params:xml:ns:xmpp-stanzas'/></error></iq>");
  // The stream is ordered: once this request is answered, answers to the two would have come.
  alice.Send(AgendaBrowse("b1"));
  ASSERT_TRUE(Answered(alice, "b1"));
  EXPECT_EQ(alice.answers().count("r1"), 0u);
  EXPECT_EQ(alice.answers().count("e1"), 0u);
}

TEST_F(XmppGatewayTest, ReconnectsWhenTheXmppServerComesBack) {
  server_->Restart();
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(15);
  auto connects = [this] {
    const std::string log = ComponentLog();
    std::size_t count = 0;
    for (std::size_t at = log.find("connected to"); at != std::string::npos;
         at = log.find("connected to", at + 1)) {
      ++count;
    }
    return count;
  };
  while (connects() < 2 && std::chrono::steady_clock::now() < until) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  ASSERT_EQ(connects(), 2u) << ComponentLog();
  EXPECT_THAT(ComponentLog(), HasSubstr("disconnected"));

  TestClient& alice = Client("alice");
  alice.Join(kRoom, "Alice");
  alice.Send(AgendaBrowse("b1"));
  ASSERT_TRUE(Answered(alice, "b1"));
  EXPECT_EQ(alice.AnswerTo("b1")->type, "result");
}

class ConfserverStartTest : public ComponentFixture {
 protected:
  // Runs confserver to its end; gives its exit code and its log.
  std::pair<int, std::string> RunToEnd(const std::vector<std::string>& arguments) {
    std::unique_ptr<ChildProcess> confserver = LaunchConfserver(arguments);
    const std::optional<int> status = confserver->WaitForExit(std::chrono::seconds(10));
    if (!status || !WIFEXITED(*status)) return {-1, ComponentLog()};
    return {WEXITSTATUS(*status), ComponentLog()};
  }
};

TEST_F(ConfserverStartTest, EndsWithOneLineReasonWhenItCannotServe) {
  std::vector<std::string> wrong_secret = ServerArguments();
  wrong_secret.back() = server_->WrongSecretFile();
  EXPECT_EQ(RunToEnd(wrong_secret),
            std::make_pair(1, std::string("confserver: the XMPP server refused the credentials "
                                          "(not-authorized)\n")));

  const std::string nobody = "127.0.0.1:" + std::to_string(FreeLoopbackPort());
  std::vector<std::string> unreachable = ServerArguments();
  unreachable[1] = nobody;
  EXPECT_EQ(RunToEnd(unreachable),
            std::make_pair(1, "confserver: cannot reach an XMPP server at " + nobody + "\n"));

  std::vector<std::string> no_port = ServerArguments();
  no_port[1] = "localhost";
  EXPECT_EQ(RunToEnd(no_port),
            std::make_pair(2, std::string("confserver: --xmpp \"localhost\": is not HOST:PORT "
                                          "with a port from 1 to 65535\n")));

  std::vector<std::string> no_secret = ServerArguments();
  no_secret.back() = server_->PathFor("missing.secret");
  EXPECT_EQ(RunToEnd(no_secret), std::make_pair(2, "confserver: cannot read " +
                                                       server_->PathFor("missing.secret") + "\n"));
}

}  // namespace
}  // namespace quenlo::xmpp_test
