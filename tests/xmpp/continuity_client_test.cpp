// confhost keeping its place in a meeting through faults, driven as people drive it: shells at
// their prompts, nobody typing during the fault. Each test has a Prosody and a confserver of its
// own; what counts is what each participant's screen shows.
#include <gtest/gtest.h>

#include <csignal>
#include <thread>

#include "tests/xmpp/child_process.h"
#include "tests/xmpp/confserver_process.h"
#include "tests/xmpp/prosody_server.h"
#include "tests/xmpp/terminal_process.h"

namespace quenlo::xmpp_test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr char kRoom[] = "board@conference.example.net";

// Alice owns the room (she joins first) and opens a vote that Bob can answer.
const std::vector<std::string> kOpenAVote = {
    "voting.apply a1", "voting.add-refer-subject r1 1 Yes", "voting.add-refer-subject r1 2 No",
    "voting.refer r1 1 \"Approve the budget?\"", "voting.start st1 1"};

std::size_t CountOf(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
    ++count;
  }
  return count;
}

// One participant's confhost shell fed by a pipe, its output in a file.
class Shell {
 public:
  Shell(std::vector<std::string> arguments, std::string output_file)
      : output_file_(std::move(output_file)),
        process_(std::move(arguments), output_file_, /*piped_input=*/true) {}

  // Runs `line` and waits until the shell has handled it and everything it caused.
  void Run(const std::string& line) {
    const std::string marker = "@@done-" + std::to_string(++steps_) + "@@";
    process_.Write(line + "\necho " + marker + "\n");
    ASSERT_TRUE(WaitFor(marker, 15s)) << "\"" << line << "\" did not finish:\n" << output();
  }
  bool WaitFor(const std::string& text, std::chrono::milliseconds timeout) {
    return WaitForOutput(process_, output_file_, text, timeout);
  }
  std::string output() const { return ReadFile(output_file_); }

 private:
  std::string output_file_;
  ChildProcess process_;
  int steps_ = 0;
};

class ContinuityClientTest : public ::testing::Test {
 protected:
  ContinuityClientTest()
      : server_({"alice", "bob"}),
        confserver_(StartConfserver(server_, server_.PathFor("rooms.db"),
                                    server_.PathFor("confserver.log"))) {}

  std::vector<std::string> Arguments(const std::string& user, const std::string& nick,
                                     const std::vector<std::string>& more = {}) const {
    std::vector<std::string> arguments = {QUENLO_CONFHOST_PATH,
                                          "shell",
                                          "--xmpp",
                                          "127.0.0.1:" + std::to_string(server_.ClientPort()),
                                          "--jid",
                                          user + "@" + ProsodyServer::kDomain,
                                          "--password-file",
                                          server_.PasswordFile(user),
                                          "--room",
                                          kRoom,
                                          "--nick",
                                          nick};
    arguments.insert(arguments.end(), more.begin(), more.end());
    return arguments;
  }

  std::unique_ptr<Shell> StartShell(const std::string& user, const std::string& nick,
                                    const std::vector<std::string>& more = {}) {
    auto shell =
        std::make_unique<Shell>(Arguments(user, nick, more), server_.PathFor(user + ".out"));
    shell->Run("");
    return shell;
  }

  ProsodyServer server_;
  std::unique_ptr<ChildProcess> confserver_;
};

TEST_F(ContinuityClientTest, APushReachesAParticipantAtThePromptWithinASecondUnbrokenLine) {
  const auto alice = StartShell("alice", "Alice");
  TerminalProcess bob(Arguments("bob", "Bob"));
  std::optional<std::size_t> seen = bob.WaitFor("Bob> ", 0, 15s);
  ASSERT_TRUE(seen) << bob.screen();
  bob.Type("echo hel");  // half a line, no Enter: Bob is typing when the vote opens
  seen = bob.WaitFor("echo hel", *seen, 5s);
  ASSERT_TRUE(seen) << bob.screen();

  for (const std::string& line : kOpenAVote) alice->Run(line);
  const auto started = Clock::now();
  seen = bob.WaitFor("[Bob] /voting/start/ok qid=1", *seen, 1s);
  ASSERT_TRUE(seen) << "the push is not on Bob's screen a second after the vote opened:\n"
                    << bob.screen();
  EXPECT_LT(Clock::now() - started, 1s);
  // The half-typed line is drawn again below what arrived, and typing goes on from there.
  seen = bob.WaitFor("echo hel", *seen, 2s);
  ASSERT_TRUE(seen) << bob.screen();
  bob.Type("lo\n");
  EXPECT_TRUE(bob.WaitFor("\nhello\r\n", *seen, 5s)) << bob.screen();
}

TEST_F(ContinuityClientTest, EveryParticipantReconnectsAndRejoinsAfterTheXmppServerRestarts) {
  const auto alice = StartShell("alice", "Alice");
  const auto bob = StartShell("bob", "Bob");
  server_.Stop();
  for (Shell* shell : {alice.get(), bob.get()}) {
    EXPECT_TRUE(shell->WaitFor("lost the connection to the XMPP server", 10s)) << shell->output();
  }
  server_.Restart();
  EXPECT_TRUE(alice->WaitFor("back in " + std::string(kRoom) + " as Alice", 15s))
      << alice->output();
  EXPECT_TRUE(bob->WaitFor("back in " + std::string(kRoom) + " as Bob", 15s)) << bob->output();

  // Back in means a member again: the service answers both, and Bob hears Alice's vote.
  for (const std::string& line : kOpenAVote) alice->Run(line);
  EXPECT_TRUE(bob->WaitFor("[Bob] /voting/start/ok qid=1", 5s)) << bob->output();
  bob->Run("voting.add-voting-subject 1");
  bob->Run("voting.voting v1 1");
  EXPECT_EQ(CountOf(bob->output(), "[Bob] /voting/voting/ok qid=1 code=0"), 1u) << bob->output();
  for (Shell* shell : {alice.get(), bob.get()}) {
    EXPECT_EQ(CountOf(shell->output(), "lost the connection"), 1u) << shell->output();
    EXPECT_EQ(CountOf(shell->output(), "back in "), 1u) << shell->output();
    EXPECT_EQ(CountOf(shell->output(), "not answered"), 0u) << shell->output();
  }
}

TEST_F(ContinuityClientTest, ABallotWhileTheServiceIsDownGetsOneLineWithTheRequestAndReason) {
  const auto alice = StartShell("alice", "Alice", {"--json", "--answer-limit", "2"});
  const auto bob = StartShell("bob", "Bob", {"--answer-limit", "2"});
  for (const std::string& line : kOpenAVote) alice->Run(line);
  ASSERT_TRUE(bob->WaitFor("[Bob] /voting/start/ok qid=1", 5s)) << bob->output();
  confserver_->Stop(SIGKILL, 5s);
  std::this_thread::sleep_for(200ms);  // until the XMPP server has seen the service go

  bob->Run("voting.add-voting-subject 1");
  const auto sent = Clock::now();
  bob->Run("voting.voting v1 1");
  EXPECT_LT(Clock::now() - sent, 3s);
  const std::string output = bob->output();
  ASSERT_EQ(CountOf(output, "not answered"), 1u) << output;
  const std::size_t line = output.find("[Bob] request ");
  ASSERT_NE(line, std::string::npos) << output;
  EXPECT_NE(output.find("(voting voting) not answered: remote-server-timeout", line),
            std::string::npos)
      << output;

  // The same in JSON lines, for programs.
  alice->Run("voting.content c1 1");
  EXPECT_NE(alice->output().find(R"("notice":"unanswered","request_id":")"), std::string::npos)
      << alice->output();
  EXPECT_NE(
      alice->output().find(R"("request":"voting content","condition":"remote-server-timeout")"),
      std::string::npos)
      << alice->output();
}

}  // namespace
}  // namespace quenlo::xmpp_test
