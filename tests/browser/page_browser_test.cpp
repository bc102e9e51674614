// The room page in a real headless Chromium while a meeting runs over Prosody: confserver with
// --http, bare XMPP clients for the people in the room, and the page's state read from the
// browser. Each test keeps screenshots in the build folder's test-artefacts/.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>

#include "tests/browser/browser_agent.h"
#include "tests/xmpp/component_fixture.h"

namespace quenlo::browser_test {
namespace {

using namespace std::chrono_literals;
using xmpp_test::kRoom;
using xmpp_test::RunUntil;
using xmpp_test::TestClient;

class PageBrowserTest : public xmpp_test::ComponentFixture {
 protected:
  void SetUp() override {
    ComponentFixture::SetUp();
    httpPort_ = xmpp_test::FreeLoopbackPort();
    StartComponent(HttpArguments());
    for (const auto& [user, nick] :
         {std::pair{"alice", "Alice"}, {"bob", "Bob"}, {"carol", "Carol"}}) {
      TestClient& client = Client(user);
      client.Join(kRoom, nick);
      people_.push_back(&client);
    }
    const std::string reply = Ask(Alice(), "quenlo:conf:admin", "page");
    const std::size_t start = reply.find("<address>") + 9;
    url_ = reply.substr(start, reply.find("</address>") - start);
    ASSERT_TRUE(url_.starts_with("http://127.0.0.1:" + std::to_string(httpPort_) + "/room/"))
        << reply;
    browser_ = std::make_unique<BrowserAgent>(server_->PathFor(""));
  }

  void TearDown() override {
    browser_.reset();
    ComponentFixture::TearDown();
  }

  std::vector<std::string> HttpArguments() const {
    return {"--http", "127.0.0.1:" + std::to_string(httpPort_)};
  }

  TestClient& Alice() { return *people_[0]; }
  TestClient& Bob() { return *people_[1]; }
  TestClient& Carol() { return *people_[2]; }

  // Sends a request to the room and waits for its answer; gives the answer's text.
  std::string Ask(TestClient& client, const std::string& xml_namespace, const std::string& type,
                  const std::string& body = "") {
    const std::string id = "q" + std::to_string(++requests_);
    client.Send("<iq type='set' to='" + std::string(kRoom) + "' id='" + id + "'><query type='" +
                type + "' xmlns='" + xml_namespace + "'>" + body + "</query></iq>");
    EXPECT_TRUE(RunUntil(context_, [&] { return client.AnswerTo(id) != nullptr; })) << type;
    const xmpp_test::ReceivedStanza* answer = client.AnswerTo(id);
    EXPECT_TRUE(answer != nullptr && answer->type == "result") << (answer ? answer->text : type);
    return answer ? answer->text : "";
  }
  std::string Voting(TestClient& client, const std::string& type, const std::string& body) {
    return Ask(client, "quenlo:conf:voting", type, body);
  }

  // Defines a vote of subjects Yes, No and Abstain; gives its qid.
  std::string DefineVote(const std::string& caption, bool registered) {
    const std::string reply = Voting(Alice(), "apply", "");
    const std::size_t start = reply.find("<qid>") + 5;
    const std::string qid = reply.substr(start, reply.find("</qid>") - start);
    Voting(Alice(), "refer",
           "<qid>" + qid + "</qid><caption>" + caption + "</caption><reg>" +
               (registered ? "true" : "false") +
               "</reg><timeout>600</timeout><subjects><subject index='1'>Yes</subject>"
               "<subject index='2'>No</subject><subject index='3'>Abstain</subject></subjects>");
    return qid;
  }

  // Casts the ballot and gives how long after its answer the page showed `turnout` (by the
  // machine's clock, which the browser reads too; 0 when the page was first).
  long long BallotSeenAfter(TestClient& voter, const std::string& qid, const std::string& choice,
                            const std::string& turnout) {
    const int seen = browser_->Start(
        "\"command\":\"waitText\",\"selector\":\".turnout\",\"text\":" + Json(turnout) +
        ",\"timeout\":5000");
    Voting(
        voter, "voting",
        "<qid>" + qid + "</qid><subjects>" + qid + "<subject>" + choice + "</subject></subjects>");
    const long long answered = std::chrono::duration_cast<std::chrono::milliseconds>(
                                   std::chrono::system_clock::now().time_since_epoch())
                                   .count();
    return std::max(0LL, std::stoll(browser_->Await(seen)) - answered);
  }

  void WaitText(const std::string& selector, const std::string& text) {
    browser_->Do("\"command\":\"waitText\",\"selector\":" + Json(selector) +
                 ",\"text\":" + Json(text));
  }

  void Screenshot(const std::string& name) {
    std::filesystem::create_directories(QUENLO_ARTEFACT_DIR);
    browser_->Do("\"command\":\"screenshot\",\"path\":" +
                 Json(std::string(QUENLO_ARTEFACT_DIR) + "/" + name + ".png"));
  }

  void Open(const std::string& url, int width = 1280, int height = 720) {
    browser_->Do("\"command\":\"open\",\"url\":" + Json(url) +
                 ",\"width\":" + std::to_string(width) + ",\"height\":" + std::to_string(height));
  }

  unsigned short httpPort_ = 0;
  std::string url_;
  std::vector<TestClient*> people_;
  std::unique_ptr<BrowserAgent> browser_;
  int requests_ = 0;
};

TEST_F(PageBrowserTest, BrowserPageFollowsARegisteredVoteFromWaitingToEnded) {
  Open(url_ + "?view=projector");
  WaitText("#vote-caption", "No vote yet");
  Ask(Alice(), "quenlo:conf:agenda", "create",
      "<subject><qid>b</qid><text>Budget 2026</text><time>09:10</time><type/><value/></subject>");
  Ask(Alice(), "quenlo:conf:agenda", "sync", "<qid>b</qid>");
  WaitText(".agenda li.now", "Budget 2026");

  const std::string qid = DefineVote("Approve the budget?", true);
  WaitText(".state", "Waiting to start");
  Voting(Alice(), "start", "<qid>" + qid + "</qid>");
  WaitText(".state", "Voting is open");
  WaitText(".time-left", "left");
  for (const auto& [voter, choice, turnout] : {std::tuple{&Bob(), "1", "1 of 3 members voted"},
                                               {&Carol(), "1", "2 of 3 members voted"},
                                               {&Alice(), "2", "3 of 3 members voted"}}) {
    EXPECT_LT(BallotSeenAfter(*voter, qid, choice, turnout), 1000) << turnout;
  }
  WaitText("table.tally tbody tr:first-child td.count", "2");
  WaitText("table.tally tbody tr:first-child .percent", "67%");
  EXPECT_EQ(browser_->Do("\"command\":\"count\",\"selector\":\"td.voters\""), "0")
      << "names only once the vote has ended";
  Screenshot("page-projector-open");

  Voting(Alice(), "end", "<qid>" + qid + "</qid>");
  WaitText(".state", "Ended: final result");
  WaitText("table.tally tbody tr:first-child td.voters", "Bob, Carol");
  WaitText("table.tally tbody tr:nth-child(2) td.voters", "Alice");
  WaitText(".download a", "CSV");
  Screenshot("page-projector-ended");
}

TEST_F(PageBrowserTest, BrowserKeepsAnAnonymousVotesNamesAndAHiddenTallyFromThePage) {
  Open(url_, 390, 844);
  const std::string qid = DefineVote("Secret &lt;b&gt;ballot&lt;/b&gt;", false);
  Ask(Alice(), "quenlo:conf:admin", "tally", "<qid>" + qid + "</qid><hidden>true</hidden>");
  Voting(Alice(), "start", "<qid>" + qid + "</qid>");
  BallotSeenAfter(Bob(), qid, "2", "1 of 3 members voted");
  BallotSeenAfter(Carol(), qid, "2", "2 of 3 members voted");
  WaitText(".hidden-note", "hidden until the vote ends");
  EXPECT_EQ(browser_->Do("\"command\":\"count\",\"selector\":\"td.count\""), "0");
  EXPECT_EQ(browser_->Do("\"command\":\"count\",\"selector\":\"progress\""), "0");
  WaitText("#vote-caption", "Secret <b>ballot</b>");
  Screenshot("page-phone-hidden-tally");

  Voting(Alice(), "end", "<qid>" + qid + "</qid>");
  WaitText("table.tally tbody tr:nth-child(2) td.count", "2");
  WaitText("table.tally tbody tr:nth-child(2) .percent", "100%");
  const std::string everything = browser_->Do("\"command\":\"content\"");
  for (const char* name : {"Bob", "Carol", "bob@", "carol@"}) {
    EXPECT_EQ(everything.find(name), std::string::npos) << name << " in " << everything;
  }
  Screenshot("page-phone-anonymous-ended");
}

TEST_F(PageBrowserTest, BrowserShowsReconnectingWhileTheServiceRestartsAndCatchesUp) {
  Open(url_);
  const std::string qid = DefineVote("Lunch at noon?", false);
  Voting(Alice(), "start", "<qid>" + qid + "</qid>");
  BallotSeenAfter(Bob(), qid, "1", "1 of 3 members voted");

  component_->Stop(SIGTERM, 10s);
  browser_->Do("\"command\":\"waitVisible\",\"selector\":\".connection\"");
  Screenshot("page-reconnecting");

  StartComponent(HttpArguments());
  for (const auto& [client, nick] : {std::pair{&Alice(), "Alice"}, {&Carol(), "Carol"}}) {
    ASSERT_TRUE(RunUntil(context_, [&] { return client->connected(); }));
    client->Join(kRoom, nick);
  }
  browser_->Do("\"command\":\"waitHidden\",\"selector\":\".connection\",\"timeout\":10000");
  // Bob, who voted before the restart and has not joined again, still counts.
  BallotSeenAfter(Carol(), qid, "1", "2 of 3 members voted");
  WaitText("table.tally tbody tr:first-child td.count", "2");
  Screenshot("page-reconnected");
}

}  // namespace
}  // namespace quenlo::browser_test
