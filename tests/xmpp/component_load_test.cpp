// Ten clients, each with a thousand requests and up to fifty in flight: every request is
// answered exactly once, by id, and the rooms' state is what the answers said. Only a room's
// owner runs it, so each client owns a room of its own (the first to join owns it) and sits in
// its neighbour's room as well, where the owner's changes are pushed to it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <set>

#include "tests/xmpp/component_fixture.h"

namespace quenlo::xmpp_test {
namespace {

constexpr int kClients = 10;
constexpr int kRequestsEach = 1000;
constexpr int kMostInFlight = 50;

// Every tenth request creates an agenda item (pushed to the room's other member); the rest
// apply for votes, whose numbers the room hands out one by one.
bool CreatesItem(int request) { return request % 10 == 9; }

std::string RoomOf(int client) {
  return "room" + std::to_string(client) + "@conference.example.net";
}

std::string RequestText(int client, int request) {
  const std::string id = std::to_string(client) + "-" + std::to_string(request);
  const std::string head = "<iq type='set' id='" + id + "' to='" + RoomOf(client) + "'>";
  if (CreatesItem(request)) {
    return head + "<query type='create' xmlns='quenlo:conf:agenda'><subject><qid>" + id +
           "</qid><text>t</text></subject></query></iq>";
  }
  return head + "<query type='apply' xmlns='quenlo:conf:voting'/></iq>";
}

// The texts of every <qid> element in `xml`, in order.
std::vector<std::string> QidsIn(const std::string& xml) {
  std::vector<std::string> found;
  constexpr std::string_view open = "<qid>";
  for (std::size_t at = xml.find(open); at != std::string::npos; at = xml.find(open, at)) {
    at += open.size();
    const std::size_t end = xml.find("</qid>", at);
    if (end == std::string::npos) break;
    found.push_back(xml.substr(at, end - at));
  }
  return found;
}

class ComponentLoadTest : public ComponentFixture {};

TEST_F(ComponentLoadTest, EveryPipelinedRequestIsAnsweredOnceAndTheStateMatchesTheAnswers) {
  StartComponent();
  std::vector<TestClient*> clients;
  for (int i = 0; i < kClients; ++i) {
    clients.push_back(&Client("load" + std::to_string(i)));
    clients.back()->Join(RoomOf(i), "owner");
  }
  for (int i = 0; i < kClients; ++i) clients[i]->Join(RoomOf((i + 1) % kClients), "guest");

  std::vector<int> sent(kClients, 0);
  auto answered = [&](int client) { return int(clients[client]->AnswerCount()); };
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

  for (int client = 0; client < kClients; ++client) {
    for (const auto& [id, times] : clients[client]->answers()) {
      // libstrophe's own login requests aside, nothing is answered that was not asked.
      if (!id.starts_with("_xmpp")) {
        EXPECT_TRUE(id.starts_with(std::to_string(client) + "-")) << id;
      }
    }
  }
  for (int client = 0; client < kClients; ++client) {
    std::set<int> vote_numbers;
    std::set<std::string> created_items;
    for (int request = 0; request < kRequestsEach; ++request) {
      const std::string id = std::to_string(client) + "-" + std::to_string(request);
      ASSERT_EQ(clients[client]->answers().count(id), 1u) << id;
      EXPECT_EQ(clients[client]->answers().at(id), 1) << id;
      const ReceivedStanza& answer = *clients[client]->AnswerTo(id);
      ASSERT_EQ(answer.type, "result") << answer.text;
      const std::vector<std::string> qids = QidsIn(answer.text);
      ASSERT_EQ(qids.size(), 1u) << answer.text;
      if (CreatesItem(request)) {
        created_items.insert(qids[0]);
      } else {
        vote_numbers.insert(std::stoi(qids[0]));
      }
    }
    // Every application got its own number, and no number was skipped.
    const int applications = kRequestsEach * 9 / 10;
    ASSERT_EQ(vote_numbers.size(), std::size_t(applications));
    EXPECT_EQ(*vote_numbers.begin(), 1);
    EXPECT_EQ(*vote_numbers.rbegin(), applications);

    // The room holds what the answers said: the agenda its items (as the guest reads it), the
    // next vote the next number.
    TestClient& owner = *clients[client];
    TestClient& guest = *clients[(client + kClients - 1) % kClients];
    const std::string browse = "browse-" + std::to_string(client);
    guest.Send("<iq type='get' id='" + browse + "' to='" + RoomOf(client) +
               "'><query type='browse' xmlns='quenlo:conf:agenda'/></iq>");
    owner.Send("<iq type='set' id='next' to='" + RoomOf(client) +
               "'><query type='apply' xmlns='quenlo:conf:voting'/></iq>");
    ASSERT_TRUE(
        RunUntil(context_, [&] { return owner.AnswerTo("next") && guest.AnswerTo(browse); }));
    const std::vector<std::string> listed = QidsIn(guest.AnswerTo(browse)->text);
    EXPECT_EQ(std::set<std::string>(listed.begin(), listed.end()), created_items);
    EXPECT_EQ(listed.size(), created_items.size());
    EXPECT_EQ(QidsIn(owner.AnswerTo("next")->text),
              std::vector<std::string>{std::to_string(applications + 1)});
    // Each of the owner's items was pushed to the guest once.
    int pushes = 0;
    for (const ReceivedStanza& stanza : guest.received()) {
      if (stanza.type == "set" && stanza.from == RoomOf(client)) ++pushes;
    }
    EXPECT_EQ(pushes, int(created_items.size()));
  }
}

}  // namespace
}  // namespace quenlo::xmpp_test
