// The room page's live updates under load, through a Prosody of its own and confserver with
// --http: 200 open event streams on one room. Measures, for each ballot, the time from its
// answer reaching the voter to the update reaching every stream (p50, p99; goal p99 < 200 ms),
// and the ballots' answer latency with the 200 streams open against none, in the same run
// (goal: p50 and p99 at most 1.2x).
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "tests/xmpp/child_process.h"
#include "tests/xmpp/confserver_process.h"
#include "tests/xmpp/prosody_server.h"
#include "tests/xmpp/test_client.h"

namespace {

using quenlo::xmpp_test::ProsodyServer;
using quenlo::xmpp_test::RunUntil;
using quenlo::xmpp_test::TestClient;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr char kRoom[] = "board@conference.example.net";
constexpr int kStreams = 200;
constexpr int kVoters = 50;
constexpr int kQuietVotes = 2;   // ballots with no stream open: kVoters each
constexpr int kLoadedVotes = 4;  // ballots with every stream open

double Percentile(std::vector<double> values, double share) {
  std::sort(values.begin(), values.end());
  return values[static_cast<std::size_t>(share * static_cast<double>(values.size() - 1))];
}

// The streams, read on a thread of their own: for each, the latest turnout it has received and
// when each turnout first arrived. They stand for browsers on other machines, so they are read
// through epoll, which wakes for the sockets that are ready alone: poll() would scan all 200 at
// every wake-up and take from the service's machine time the real browsers would not.
class Streams {
 public:
  Streams(unsigned short port, const std::string& path) : seen_(kStreams) {
    for (int i = 0; i < kStreams; ++i) {
      const int socket = ::socket(AF_INET, SOCK_STREAM, 0);
      sockaddr_in address{};
      address.sin_family = AF_INET;
      address.sin_port = htons(port);
      address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      if (connect(socket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        throw std::runtime_error("cannot open stream " + std::to_string(i));
      }
      const std::string request =
          "GET " + path +
          "/events HTTP/1.1\r\nHost: 127.0.0.1\r\nAccept: text/event-stream\r\n\r\n";
      if (write(socket, request.data(), request.size()) != static_cast<ssize_t>(request.size())) {
        throw std::runtime_error("cannot ask for stream " + std::to_string(i));
      }
      sockets_.push_back(socket);
    }
    thread_ = std::thread([this] { Read(); });
  }
  ~Streams() {
    stop_ = true;
    thread_.join();
    for (const int socket : sockets_) close(socket);
  }

  // Waits until every stream has received turnout `ballots`; gives when the last one did.
  Clock::time_point AllSaw(int ballots) {
    const auto until = Clock::now() + 10s;
    while (Clock::now() < until) {
      {
        std::lock_guard lock(mutex_);
        Clock::time_point last{};
        bool all = true;
        for (const Seen& seen : seen_) {
          if (seen.turnout < ballots) {
            all = false;
            break;
          }
          last = std::max(last, seen.when[static_cast<std::size_t>(ballots)]);
        }
        if (all) return last;
      }
      std::this_thread::sleep_for(200us);
    }
    throw std::runtime_error("not every stream saw ballot " + std::to_string(ballots));
  }

  // From now on counts the turnouts of the vote of that caption alone, from nothing.
  void Follow(const std::string& caption) {
    std::lock_guard lock(mutex_);
    caption_ = "id=\"vote-caption\">" + caption + "</h2>";
    for (Seen& seen : seen_) seen.turnout = 0;
  }

 private:
  struct Seen {
    std::string pending;
    int turnout = 0;
    std::vector<Clock::time_point> when = std::vector<Clock::time_point>(kVoters + 1);
  };

  void Read() {
    const int ready_set = epoll_create1(0);
    for (std::size_t i = 0; i < sockets_.size(); ++i) {
      epoll_event watched{};
      watched.events = EPOLLIN;
      watched.data.u64 = i;
      epoll_ctl(ready_set, EPOLL_CTL_ADD, sockets_[i], &watched);
    }
    std::vector<epoll_event> ready(sockets_.size());
    char buffer[65536];
    const std::string marker = "class=\"turnout\">";
    while (!stop_) {
      const int count = epoll_wait(ready_set, ready.data(), static_cast<int>(ready.size()), 20);
      const auto now = Clock::now();
      for (int r = 0; r < count; ++r) {
        const std::size_t i = ready[static_cast<std::size_t>(r)].data.u64;
        const ssize_t got = read(sockets_[i], buffer, sizeof buffer);
        if (got <= 0) continue;
        std::lock_guard lock(mutex_);
        Seen& seen = seen_[i];
        seen.pending.append(buffer, static_cast<std::size_t>(got));
        for (std::size_t at; (at = seen.pending.find("\n\n")) != std::string::npos;) {
          const std::string event = seen.pending.substr(0, at);
          seen.pending.erase(0, at + 2);
          const std::size_t turnout = event.find(marker);
          if (turnout == std::string::npos || event.find(caption_) == std::string::npos) continue;
          const int ballots = std::atoi(event.c_str() + turnout + marker.size());
          for (int k = seen.turnout + 1; k <= ballots && k <= kVoters; ++k) {
            seen.when[static_cast<std::size_t>(k)] = now;
          }
          seen.turnout = std::max(seen.turnout, ballots);
        }
      }
    }
    close(ready_set);
  }

  std::vector<int> sockets_;
  std::vector<Seen> seen_;
  std::string caption_;
  std::mutex mutex_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

class Meeting {
 public:
  Meeting(quenlo::xmpp::Context& context, const ProsodyServer& server,
          const std::vector<std::string>& users) {
    for (const std::string& user : users) {
      auto client = std::make_unique<TestClient>(context, server, user, "bench");
      client->Connect();
      client->Join(kRoom, user);
      clients_.push_back(std::move(client));
    }
  }

  TestClient& Owner() { return *clients_.front(); }
  TestClient& Voter(int i) { return *clients_[static_cast<std::size_t>(i) + 1]; }

  // Sends the request and waits for its answer; gives the answer's text and how long it took.
  std::pair<std::string, double> Ask(TestClient& client, const std::string& xml_namespace,
                                     const std::string& type, const std::string& body) {
    const std::string id = "b" + std::to_string(++requests_);
    const auto sent = Clock::now();
    client.Send("<iq type='set' to='" + std::string(kRoom) + "' id='" + id + "'><query type='" +
                type + "' xmlns='" + xml_namespace + "'>" + body + "</query></iq>");
    if (!RunUntil(client.context(), [&] { return client.AnswerTo(id) != nullptr; })) {
      throw std::runtime_error(type + " was not answered");
    }
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - sent).count();
    const auto* answer = client.AnswerTo(id);
    if (answer->type != "result") throw std::runtime_error(type + " refused: " + answer->text);
    return {answer->text, ms};
  }

  std::string StartVote(const std::string& caption) {
    const std::string reply = Ask(Owner(), "quenlo:conf:voting", "apply", "").first;
    const std::size_t at = reply.find("<qid>") + 5;
    const std::string qid = reply.substr(at, reply.find("</qid>") - at);
    Ask(Owner(), "quenlo:conf:voting", "refer",
        "<qid>" + qid + "</qid><caption>" + caption +
            "</caption><subjects><subject index='1'>Yes</subject>"
            "<subject index='2'>No</subject></subjects>");
    Ask(Owner(), "quenlo:conf:voting", "start", "<qid>" + qid + "</qid>");
    return qid;
  }

  // Every voter votes once, one after another; gives the answer latency of each, and, with
  // `streams`, the time from each answer to every stream having the update.
  void Ballots(const std::string& qid, std::vector<double>& answers, Streams* streams,
               std::vector<double>* spread, std::vector<double>* from_sent) {
    for (int i = 0; i < kVoters; ++i) {
      const auto [text, ms] = Ask(Voter(i), "quenlo:conf:voting", "voting",
                                  "<qid>" + qid + "</qid><subjects>" + qid + "<subject>" +
                                      (i % 3 ? "1" : "2") + "</subject></subjects>");
      const auto answered = Clock::now();
      answers.push_back(ms);
      if (streams == nullptr) continue;
      const auto last = streams->AllSaw(i + 1);
      const double after_answer =
          std::chrono::duration<double, std::milli>(last - answered).count();
      spread->push_back(std::max(0.0, after_answer));
      from_sent->push_back(after_answer + ms);
    }
    Ask(Owner(), "quenlo:conf:voting", "end", "<qid>" + qid + "</qid>");
  }

 private:
  std::vector<std::unique_ptr<TestClient>> clients_;
  int requests_ = 0;
};

}  // namespace

int main() {
  try {
    std::vector<std::string> users = {"alice"};
    for (int i = 0; i < kVoters; ++i) users.push_back("voter" + std::to_string(i));
    ProsodyServer server(users);
    const unsigned short http_port = quenlo::xmpp_test::FreeLoopbackPort();
    const auto confserver = quenlo::xmpp_test::StartConfserver(
        server, server.PathFor("rooms.db"), server.PathFor("confserver.log"),
        {"--http", "127.0.0.1:" + std::to_string(http_port)});
    quenlo::xmpp::Context context;
    Meeting meeting(context, server, users);
    const std::string reply = meeting.Ask(meeting.Owner(), "quenlo:conf:admin", "page", "").first;
    const std::size_t at = reply.find("/room/");
    const std::string path = reply.substr(at, reply.find("</address>") - at);

    std::vector<double> quiet_answers;
    std::vector<double> loaded_answers;
    std::vector<double> spread;
    std::vector<double> from_sent;
    int votes = 0;
    const auto caption = [&] { return "Bench vote " + std::to_string(++votes); };
    for (int vote = 0; vote < kQuietVotes; ++vote) {
      meeting.Ballots(meeting.StartVote(caption()), quiet_answers, nullptr, nullptr, nullptr);
    }
    {
      Streams streams(http_port, path);
      for (int vote = 0; vote < kLoadedVotes; ++vote) {
        const std::string next = caption();
        streams.Follow(next);
        const std::string qid = meeting.StartVote(next);
        streams.AllSaw(0);
        meeting.Ballots(qid, loaded_answers, &streams, &spread, &from_sent);
      }
    }
    for (int vote = 0; vote < kQuietVotes; ++vote) {
      meeting.Ballots(meeting.StartVote(caption()), quiet_answers, nullptr, nullptr, nullptr);
    }

    const double spread_p99 = Percentile(spread, 0.99);
    std::printf("Room page updates, %d event streams on one room, %zu ballots:\n", kStreams,
                spread.size());
    std::printf(
        "  ballot answer -> update on every stream: p50 %.1f ms, p99 %.1f ms "
        "(goal p99 < 200 ms): %s\n",
        Percentile(spread, 0.5), spread_p99, spread_p99 < 200 ? "met" : "NOT met");
    std::printf(
        "  (the page is often first: the update leaves the service with the answer, which "
        "reaches the voter through the XMPP server; ballot sent -> update on every "
        "stream: p50 %.1f ms, p99 %.1f ms)\n",
        Percentile(from_sent, 0.5), Percentile(from_sent, 0.99));
    for (const auto& [name, share] : {std::pair{"p50", 0.5}, {"p99", 0.99}}) {
      const double quiet = Percentile(quiet_answers, share);
      const double loaded = Percentile(loaded_answers, share);
      std::printf(
          "  ballot answer latency %s: %.2f ms with %d streams, %.2f ms with none: "
          "%.2fx (goal <= 1.2x): %s\n",
          name, loaded, kStreams, quiet, loaded / quiet, loaded / quiet <= 1.2 ? "met" : "NOT met");
    }
    confserver->Stop(SIGTERM, 5s);
    return 0;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "page_stream_bench: %s\n", error.what());
    return 1;
  }
}
