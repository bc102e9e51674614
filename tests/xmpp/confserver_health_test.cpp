// confserver's operators' endpoint on a real Prosody: /metrics read over HTTP passes a strict
// reader of Prometheus' format and counts exactly the requests the test made, and /readyz turns
// unready while the XMPP server is away and ready again once the component is back.
#include <gtest/gtest.h>

#include <boost/asio/connect.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <thread>

#include "tests/server/prometheus_check.h"
#include "tests/xmpp/component_fixture.h"

namespace quenlo::xmpp_test {
namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace bhttp = boost::beast::http;
using server::testing::ParsePrometheus;

struct HttpResult {
  unsigned status = 0;  // 0: no answer; `body` says why
  std::string content_type;
  std::string body;
};

// One GET to 127.0.0.1:`port`, given up after five seconds.
HttpResult Get(unsigned short port, const std::string& target) {
  asio::io_context io;
  beast::tcp_stream stream(io);
  stream.expires_after(std::chrono::seconds(5));
  bhttp::request<bhttp::empty_body> request(bhttp::verb::get, target, 11);
  request.set(bhttp::field::host, "127.0.0.1");
  bhttp::response<bhttp::string_body> response;
  beast::flat_buffer buffer;
  beast::error_code failure;
  stream.async_connect({asio::ip::make_address("127.0.0.1"), port}, [&](beast::error_code error) {
    if (error) {
      failure = error;
      return;
    }
    bhttp::async_write(stream, request, [&](beast::error_code written, std::size_t) {
      if (written) {
        failure = written;
        return;
      }
      bhttp::async_read(stream, buffer, response,
                        [&](beast::error_code read, std::size_t) { failure = read; });
    });
  });
  io.run();
  if (failure) return {0, "", failure.message()};
  return {response.result_int(), std::string(response[bhttp::field::content_type]),
          response.body()};
}

std::string AgendaCreate(const std::string& id, const std::string& qid) {
  return "<iq type='set' id='" + id + "' to='" + std::string(kRoom) +
         "'><query type='create' xmlns='quenlo:conf:agenda'><subject><qid>" + qid +
         "</qid><text>Item</text></subject></query></iq>";
}

std::string VoteApply(const std::string& id) {
  return "<iq type='set' id='" + id + "' to='" + std::string(kRoom) +
         "'><query type='apply' xmlns='quenlo:conf:voting'/></iq>";
}

class ConfserverHealthTest : public ComponentFixture {
 protected:
  void SetUp() override {
    ComponentFixture::SetUp();
    port_ = FreeLoopbackPort();
    StartComponent({"--health", "127.0.0.1:" + std::to_string(port_)});
  }

  // Asks /readyz until it answers `status`; false when it did not within `patience`.
  bool ReadyzTurns(unsigned status, std::chrono::seconds patience) {
    const auto until = std::chrono::steady_clock::now() + patience;
    while (Get(port_, "/readyz").status != status) {
      if (std::chrono::steady_clock::now() >= until) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
  }

  void Ask(TestClient& client, const std::string& id, const std::string& xml) {
    client.Send(xml);
    ASSERT_TRUE(RunUntil(context_, [&] { return client.AnswerTo(id) != nullptr; })) << id;
  }

  unsigned short port_ = 0;
};

TEST_F(ConfserverHealthTest, MetricsCountTheRequestsAndReadinessFollowsTheXmppServer) {
  EXPECT_EQ(Get(port_, "/healthz").status, 200u);
  const HttpResult ready = Get(port_, "/readyz");
  EXPECT_EQ(ready.status, 200u) << ready.body;
  EXPECT_EQ(Get(port_, "/room/x").status, 404u) << "no room pages here";

  TestClient& alice = Client("alice");
  TestClient& bob = Client("bob");
  alice.Join(kRoom, "Alice");  // the first to join owns the room
  bob.Join(kRoom, "Bob");
  Ask(alice, "c1", AgendaCreate("c1", "one"));
  Ask(alice, "c2", AgendaCreate("c2", "one"));
  Ask(bob, "c3", AgendaCreate("c3", "two"));
  Ask(alice, "v1", VoteApply("v1"));
  bob.Leave(kRoom, "Bob");

  const HttpResult metrics = Get(port_, "/metrics");
  ASSERT_EQ(metrics.status, 200u) << metrics.body;
  EXPECT_EQ(metrics.content_type, "text/plain; version=0.0.4; charset=utf-8");
  const auto read = ParsePrometheus(metrics.body);
  std::map<std::pair<std::string, std::string>, double> requests;
  for (const auto& sample : read.samples) {
    if (sample.name == "confserver_requests_total") {
      requests[{sample.labels.at("kind"), sample.labels.at("outcome")}] = sample.value;
    }
  }
  const std::map<std::pair<std::string, std::string>, double> made{
      {{"join", "ok"}, 2},
      {{"agenda", "ok"}, 1},
      {{"agenda", "duplicate_agenda_item"}, 1},
      {{"agenda", "not_allowed"}, 1},
      {{"voting", "ok"}, 1},
      {{"leave", "ok"}, 1}};
  EXPECT_EQ(requests, made) << metrics.body;
  EXPECT_EQ(read.Value("confserver_request_duration_seconds_count"), 7);
  EXPECT_EQ(read.Value("confserver_rooms"), 1);
  EXPECT_EQ(read.Value("confserver_members"), 1);
  EXPECT_EQ(read.Value("confserver_votes", {{"state", "drafted"}}), 1);
  EXPECT_EQ(read.Value("confserver_votes", {{"state", "running"}}), 0);
  // Each change kept is a commit (the room's opening, the joins, the leave, the agenda item and
  // the vote); refused ones are rolled back, and the check for votes run out commits too.
  EXPECT_GE(read.Value("confserver_store_commit_duration_seconds_count"), 6);
  EXPECT_EQ(read.Value("confserver_store_writable"), 1);
  EXPECT_EQ(read.Value("confserver_xmpp_connected"), 1);
  EXPECT_EQ(read.Value("confserver_reconnects_total"), 0);
  EXPECT_EQ(read.Value("confserver_page_streams"), 0);

  server_->Stop();
  ASSERT_TRUE(ReadyzTurns(503, std::chrono::seconds(10))) << ComponentLog();
  const HttpResult unready = Get(port_, "/readyz");
  EXPECT_EQ(unready.body, "not ready: not connected to the XMPP server\n");
  EXPECT_EQ(Get(port_, "/healthz").status, 200u) << "the process still runs";

  server_->Restart();
  ASSERT_TRUE(ReadyzTurns(200, std::chrono::seconds(20))) << ComponentLog();
  const auto after = ParsePrometheus(Get(port_, "/metrics").body);
  EXPECT_EQ(after.Value("confserver_reconnects_total"), 1);
  EXPECT_EQ(after.Value("confserver_xmpp_connected"), 1);
  EXPECT_EQ(after.Value("confserver_requests_total", {{"kind", "join"}, {"outcome", "ok"}}), 2);
}

}  // namespace
}  // namespace quenlo::xmpp_test
