// Ten clients in one room, each with a thousand requests and up to fifty in flight: every
// request is answered exactly once, by id, and the room's state is what the answers said.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <regex>
#include <set>

#include "tests/xmpp/component_fixture.h"

namespace quenlo::xmpp_test {
namespace {

constexpr int kClients = 10;
constexpr int kRequestsEach = 1000;
constexpr int kMostInFlight = 50;

// Every tenth request creates an agenda item (pushed to the nine others); the rest apply for
// votes, whose numbers the room hands out one by one.
bool CreatesItem(int request) { return request % 10 == 9; }

std::string RequestText(int client, int request) {
  const std::string id = std::to_string(client) + "-" + std::to_string(request);
  const std::string head = "<iq type='set' id='" + id + "' to='" + std::string(kRoom) + "'>";
  if (CreatesItem(request)) {
    return head + "<query type='create' xmlns='quenlo:conf:agenda'><subject><qid>" + id +
           "</qid><text>t</text></subject></query></iq>";
  }
  return head + "<query type='apply' xmlns='quenlo:conf:voting'/></iq>";
}

std::vector<std::string> AllMatches(const std::string& text, const std::regex& pattern) {
  std::vector<std::string> found;
  for (auto match = std::sregex_iterator(text.begin(), text.end(), pattern);
       match != std::sregex_iterator(); ++match) {
    found.push_back((*match)[1]);
  }
  return found;
}

class ComponentLoadTest : public ComponentFixture {};

TEST_F(ComponentLoadTest, EveryPipelinedRequestIsAnsweredOnceAndTheStateMatchesTheAnswers) {
  StartComponent();
  std::vector<TestClient*> clients;
  for (int i = 0; i < kClients; ++i) {
    clients.push_back(&Client("load" + std::to_string(i)));
    clients.back()->Join(kRoom, "load" + std::to_string(i));
  }

  std::vector<int> sent(kClients, 0);
  auto answered = [&](int client) { return int(clients[client]->answer_count()); };
  auto all_answered = [&] {
    for (int client = 0; client < kClients; ++client) {
      while (sent[client] < kRequestsEach && sent[client] - answered(client) < kMostInFlight) {
        clients[client]->Send(RequestText(client, sent[client]++));
      }
      if (answered(client) < kRequestsEach) return false;
    }
    return true;
  };
  ASSERT_TRUE(RunUntil(context_, all_answered, 120s)) << ComponentLog();
  // Late duplicates would arrive now, if there were any.
  RunUntil(
      context_, [] { return false; }, 200ms);

  std::set<int> vote_numbers;
  std::set<std::string> created_items;
  const std::regex qid("<qid>([^<]*)</qid>");
  for (int client = 0; client < kClients; ++client) {
    for (const auto& [id, times] : clients[client]->answers()) {
      // libstrophe's own login requests aside, nothing is answered that was not asked.
      if (!id.starts_with("_xmpp")) {
        EXPECT_TRUE(id.starts_with(std::to_string(client) + "-")) << id;
      }
    }
    for (int request = 0; request < kRequestsEach; ++request) {
      const std::string id = std::to_string(client) + "-" + std::to_string(request);
      ASSERT_EQ(clients[client]->answers().count(id), 1u) << id;
      EXPECT_EQ(clients[client]->answers().at(id), 1) << id;
      const ReceivedStanza& answer = *clients[client]->AnswerTo(id);
      ASSERT_EQ(answer.type, "result") << answer.text;
      const std::vector<std::string> qids = AllMatches(answer.text, qid);
      ASSERT_EQ(qids.size(), 1u) << answer.text;
      if (CreatesItem(request)) {
        created_items.insert(qids[0]);
      } else {
        vote_numbers.insert(std::stoi(qids[0]));
      }
    }
  }
  // Every application got its own number, and no number was skipped.
  const int applications = kClients * kRequestsEach * 9 / 10;
  ASSERT_EQ(vote_numbers.size(), std::size_t(applications));
  EXPECT_EQ(*vote_numbers.begin(), 1);
  EXPECT_EQ(*vote_numbers.rbegin(), applications);

  TestClient& checker = *clients[0];
  checker.Send("<iq type='get' id='browse' to='" + std::string(kRoom) +
               "'><query type='browse' xmlns='quenlo:conf:agenda'/></iq>");
  checker.Send("<iq type='set' id='next' to='" + std::string(kRoom) +
               "'><query type='apply' xmlns='quenlo:conf:voting'/></iq>");
  ASSERT_TRUE(RunUntil(
      context_, [&] { return checker.AnswerTo("next") != nullptr; }, 30s));
  ASSERT_NE(checker.AnswerTo("browse"), nullptr);
  const std::vector<std::string> listed = AllMatches(checker.AnswerTo("browse")->text, qid);
  EXPECT_EQ(std::set<std::string>(listed.begin(), listed.end()), created_items);
  EXPECT_EQ(listed.size(), created_items.size());
  EXPECT_EQ(AllMatches(checker.AnswerTo("next")->text, qid),
            std::vector<std::string>{std::to_string(applications + 1)});
}

}  // namespace
}  // namespace quenlo::xmpp_test
