// The rooms' pages as a browser without JavaScript gets them: the HTML alone, the CSV, the 404s,
// and the listener's streams on a real socket.
#include <atomic>
#include <boost/asio/connect.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/read_until.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <chrono>
#include <thread>

#include "server/http/http_listener.h"
#include "server/http/page_site.h"
#include "server/namespaces.h"
#include "server/sqlite_store.h"
#include "server_fixture.h"
#include "temp_folder.h"

namespace quenlo::server::testing {
namespace {

using http::HttpAnswer;
using http::PageSite;

constexpr char kBase[] = "http://pages.example";

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

class RoomPageTest : public ServerTest {
 protected:
  RoomPageTest() { server_->ServePages(kBase); }

  // Asks for the page as the owner; gives its path ("/room/TOKEN").
  std::string AskForPage(bool renew = false) {
    const Packet reply =
        To(Send(kAnn, kAdminNamespace, "page", renew ? "<renew>true</renew>" : ""), kAnn);
    EXPECT_EQ(reply.type(), "result");
    const std::string address = reply.text("address");
    EXPECT_TRUE(address.starts_with(std::string(kBase) + "/room/")) << address;
    return address.substr(std::string(kBase).size());
  }

  HttpAnswer Get(const std::string& target, const std::string& method = "GET") {
    return PageSite(*server_).Answer({method, target});
  }

  std::string Event(const std::string& path) { return PageSite(*server_).Event(path.substr(6)); }

  // The page, its live update and its CSV: everything of the page a browser can receive.
  std::string Everything(const std::string& path) {
    return Get(path).body + Event(path) + Get(path + "/result.csv").body;
  }
};

TEST_F(RoomPageTest, TheHtmlAloneCarriesTheVoteFromWaitingToTheFinalResult) {
  const std::string path = AskForPage();
  EXPECT_TRUE(Has(Get(path).body, "No vote yet"));
  const std::string qid = ReferVote(false, true);
  std::string html = Get(path).body;
  EXPECT_TRUE(Has(html, "data-state=\"waiting\"")) << html;
  EXPECT_TRUE(Has(html, "<th scope=\"row\">Maybe</th>"));

  Voting(kAnn, "start", "<qid>" + qid + "</qid>");
  Ballot(kBob, qid, {"1"});
  Ballot(kCid, qid, {"1"});
  Ballot(kAnn, qid, {"3"});
  html = Get(path).body;
  EXPECT_TRUE(Has(html, "data-state=\"open\""));
  EXPECT_TRUE(Has(html, "3 of 3 members voted"));
  EXPECT_TRUE(Has(html, "<table class=\"tally\">"));
  EXPECT_TRUE(Has(html, "<th scope=\"row\">Yes</th><td class=\"count\">2</td>")) << html;
  EXPECT_TRUE(Has(html, "<span class=\"percent\">67%</span>"));
  EXPECT_FALSE(Has(html, "Bob")) << "names only in the final result";
  EXPECT_EQ(Get(path + "/result.csv").status, 404u) << "no final result yet";

  Voting(kAnn, "end", "<qid>" + qid + "</qid>");
  html = Get(path).body;
  EXPECT_TRUE(Has(html, "data-state=\"ended\""));
  EXPECT_TRUE(Has(html, "<td class=\"voters\">Bob, Cid</td>")) << html;
  const HttpAnswer csv = Get(path + "/result.csv");
  EXPECT_EQ(csv.content_type, "text/csv; charset=utf-8");
  EXPECT_EQ(csv.body,
            "Vote,Choice,Votes,Percent of ballots,Ballots,Voters\r\n"
            "\"Lunch?\",\"Yes\",2,67,3,\"Bob; Cid\"\r\n"
            "\"Lunch?\",\"No\",0,0,3,\"\"\r\n"
            "\"Lunch?\",\"Maybe\",1,33,3,\"Ann\"\r\n");
}

TEST_F(RoomPageTest, AnonymousNamesAndHiddenTalliesNeverReachThePage) {
  const std::string path = AskForPage();
  const std::string qid = ReferVote(false, false);
  Send(kAnn, kAdminNamespace, "tally", "<qid>" + qid + "</qid><hidden>true</hidden>");
  Voting(kAnn, "start", "<qid>" + qid + "</qid>");
  Ballot(kBob, qid, {"2"});
  std::string seen = Everything(path);
  EXPECT_TRUE(Has(seen, "1 of 3 members voted"));
  EXPECT_TRUE(Has(seen, "hidden until the vote ends"));
  EXPECT_FALSE(Has(seen, "class=\"count\"")) << seen;
  EXPECT_FALSE(Has(seen, "100%"));

  Voting(kAnn, "end", "<qid>" + qid + "</qid>");
  const Packet late = To(
      Send(kAnn, kAdminNamespace, "tally", "<qid>" + qid + "</qid><hidden>false</hidden>"), kAnn);
  EXPECT_EQ(late.ErrorCode(), 11) << "an ended vote's tally is final";
  seen = Everything(path);
  EXPECT_TRUE(Has(seen, "<th scope=\"row\">No</th><td class=\"count\">1</td>")) << seen;
  EXPECT_TRUE(Has(seen, "\"No\",1,100,1"));
  for (const char* name : {"Bob", "bob@", "Voters"}) EXPECT_FALSE(Has(seen, name)) << name;
}

TEST_F(RoomPageTest, EveryTextAParticipantWroteIsEscaped) {
  const std::string path = AskForPage();
  const std::string qid = To(Voting(kAnn, "apply"), kAnn).text("qid");
  Voting(kAnn, "refer",
         "<qid>" + qid +
             "</qid><caption>&lt;script&gt;alert(1)&lt;/script&gt;</caption>"
             "<subjects><subject index=\"1\">\"&amp;'&lt;b&gt;</subject>"
             "<subject index=\"2\">=HYPERLINK(\"x\")</subject></subjects>");
  Agenda(kAnn, "create",
         "<subject><qid>a</qid><text>&lt;img src=x onerror=alert(1)&gt;</text></subject>");
  Voting(kAnn, "start", "<qid>" + qid + "</qid>");
  Voting(kAnn, "end", "<qid>" + qid + "</qid>");
  const std::string seen = Get(path).body + Event(path);
  EXPECT_TRUE(Has(seen, "&lt;script&gt;alert(1)&lt;/script&gt;")) << seen;
  EXPECT_TRUE(Has(seen, "&quot;&amp;&#39;&lt;b&gt;"));
  EXPECT_TRUE(Has(seen, "&lt;img src=x onerror=alert(1)&gt;"));
  for (const char* raw : {"<script>alert", "<b>", "<img"}) EXPECT_FALSE(Has(seen, raw)) << raw;
  EXPECT_TRUE(Has(Get(path + "/result.csv").body, "\"'=HYPERLINK(\"\"x\"\")\""))
      << "a spreadsheet must not run it";
}

TEST_F(RoomPageTest, EveryAddressThatIsNoPageGetsTheSameNotFound) {
  TempFolder folder;
  server_.reset();
  Restart(std::make_unique<SqliteStore>(folder.File("rooms.db")));
  server_->ServePages(kBase);
  server_->OpenRoom(kRoom);
  JoinAll();
  const std::string replaced = AskForPage();
  const std::string path = AskForPage(true);
  ASSERT_NE(path, replaced);
  EXPECT_EQ(AskForPage(), path) << "asking again gives the same address";

  const HttpAnswer missing = Get("/room/00000000000000000000000000000000");
  EXPECT_EQ(missing.status, 404u);
  for (const std::string& target :
       {replaced, replaced + "/events", replaced + "/page.js", std::string("/"),
        std::string("/room/"), path.substr(0, path.size() - 1), path + "0", path + "/",
        path + "/../../etc/passwd", path + "/nothing", "/room/" + path.substr(6, 31) + "G",
        std::string("/page.js"), "/ROOM" + path.substr(5)}) {
    const HttpAnswer answer = Get(target);
    EXPECT_EQ(answer.status, missing.status) << target;
    EXPECT_EQ(answer.body, missing.body) << target;
  }
  EXPECT_EQ(Get(path, "POST").status, 405u);
  EXPECT_FALSE(PageSite(*server_).Revision(replaced.substr(6)))
      << "streams of the old address are closed";

  // The address survives a restart of the service.
  server_.reset();
  Restart(std::make_unique<SqliteStore>(folder.File("rooms.db")));
  EXPECT_EQ(Get(path).status, 200u);
  EXPECT_EQ(Get(replaced).status, 404u);
}

namespace beast = boost::beast;
namespace bhttp = boost::beast::http;
using tcp = boost::asio::ip::tcp;

// The listener on a real socket: polled on this thread, as the service does, while `client` runs
// on its own thread; fails the test when the client is not done in time.
template <typename Client>
void WithListener(http::HttpListener& listener, Client client,
                  std::function<void()> meanwhile = {}) {
  std::atomic<bool> done{false};
  std::thread thread([&] {
    client(listener.port());
    done = true;
  });
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!done && std::chrono::steady_clock::now() < until) {
    listener.Poll();
    if (meanwhile) meanwhile();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_TRUE(done) << "the client did not finish";
  if (!done) {
    thread.detach();
    std::abort();
  }
  thread.join();
}

// A connection to the listener that has asked for `target`.
tcp::socket Requesting(boost::asio::io_context& io, unsigned short port,
                       const std::string& target) {
  tcp::socket socket(io);
  socket.connect({boost::asio::ip::make_address("127.0.0.1"), port});
  bhttp::write(socket, bhttp::request<bhttp::empty_body>(bhttp::verb::get, target, 11));
  return socket;
}

TEST_F(RoomPageTest, TheListenerServesThePageAndStreamsItsUpdates) {
  const std::string path = AskForPage();
  const std::string qid = ReferVote(false, false);
  Voting(kAnn, "start", "<qid>" + qid + "</qid>");
  http::HttpLimits limits;
  limits.streams_per_channel = 1;
  PageSite site(*server_);
  http::HttpListener listener("127.0.0.1", 0, site, limits);
  std::atomic<int> step{0};
  WithListener(
      listener,
      [&](unsigned short port) {
        boost::asio::io_context io;
        tcp::socket page = Requesting(io, port, path);
        beast::flat_buffer buffer;
        bhttp::response<bhttp::string_body> response;
        bhttp::read(page, buffer, response);
        EXPECT_EQ(response.result_int(), 200u);
        EXPECT_TRUE(Has(std::string(response["Content-Security-Policy"]), "script-src 'self'"));
        EXPECT_TRUE(Has(response.body(), "<table class=\"tally\">"));

        tcp::socket stream = Requesting(io, port, path + "/events");
        std::string received;
        boost::asio::read_until(stream, boost::asio::dynamic_buffer(received),
                                "0 of 3 members voted");
        EXPECT_TRUE(Has(received, "text/event-stream"));
        step = 1;  // a ballot now
        boost::asio::read_until(stream, boost::asio::dynamic_buffer(received),
                                "1 of 3 members voted");

        tcp::socket second = Requesting(io, port, path + "/events");
        bhttp::response<bhttp::string_body> refused;
        beast::flat_buffer second_buffer;
        bhttp::read(second, second_buffer, refused);
        EXPECT_EQ(refused.result_int(), 503u) << "one stream per room at most here";
      },
      [&] {
        if (step == 1) {
          Ballot(kBob, qid, {"1"});
          step = 2;
        }
      });
}

TEST_F(RoomPageTest, ANewStateReachesEveryIdleStreamOneSliceAtATime) {
  const std::string path = AskForPage();
  const std::string qid = ReferVote(false, false);
  Voting(kAnn, "start", "<qid>" + qid + "</qid>");
  http::HttpLimits limits;
  limits.streams_per_poll = 1;
  limits.stall = std::chrono::milliseconds(300);
  PageSite site(*server_);
  http::HttpListener listener("127.0.0.1", 0, site, limits);
  std::atomic<int> step{0};
  bool sliced = false;
  WithListener(
      listener,
      [&](unsigned short port) {
        boost::asio::io_context io;
        std::vector<tcp::socket> streams;
        std::vector<std::string> received(3);
        for (std::string& text : received) {
          tcp::socket& stream = streams.emplace_back(Requesting(io, port, path + "/events"));
          boost::asio::read_until(stream, boost::asio::dynamic_buffer(text),
                                  "0 of 3 members voted");
        }
        // Idle past the stall time: a stream that is read from stays open however long it waits.
        std::this_thread::sleep_for(std::chrono::milliseconds(600));
        step = 1;  // a ballot now
        for (std::size_t i = 0; i < streams.size(); ++i) {
          boost::asio::read_until(streams[i], boost::asio::dynamic_buffer(received[i]),
                                  "1 of 3 members voted");
        }
      },
      [&] {
        if (step == 1) {
          Ballot(kBob, qid, {"1"});
          step = 2;
          sliced = listener.Poll();
        }
      });
  EXPECT_TRUE(sliced) << "one Poll wrote the new state to one stream and said more was waiting";
}

TEST_F(RoomPageTest, AStalledBrowserLosesItsStreamAndNobodyWaitsForIt) {
  const std::string path = AskForPage();
  http::HttpLimits limits;
  limits.stall = std::chrono::milliseconds(300);
  PageSite site(*server_);
  http::HttpListener listener("127.0.0.1", 0, site, limits);
  std::atomic<bool> opened{false};
  const std::string long_text(100000, 'x');
  int change = 0;
  WithListener(
      listener,
      [&](unsigned short port) {
        boost::asio::io_context io;
        tcp::socket stream(io);
        stream.open(tcp::v4());
        stream.set_option(boost::asio::socket_base::receive_buffer_size(4096));
        stream.connect({boost::asio::ip::make_address("127.0.0.1"), port});
        bhttp::write(stream,
                     bhttp::request<bhttp::empty_body>(bhttp::verb::get, path + "/events", 11));
        opened = true;
        // Reads nothing more, while the room changes on and on.
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (std::chrono::steady_clock::now() < until && listener.StreamCount() != 0) {
          std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
      },
      [&] {
        if (!opened || change > 1000) return;
        const auto started = std::chrono::steady_clock::now();
        const char* type = change++ == 0 ? "create" : "modify";
        Agenda(kAnn, type,
               "<subject><qid>a</qid><text>" + std::to_string(change) + long_text +
                   "</text></subject>");
        listener.Poll();
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(100));
      });
  EXPECT_EQ(listener.StreamCount(), 0u) << "the stalled stream was closed";
}

}  // namespace
}  // namespace quenlo::server::testing
