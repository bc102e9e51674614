// A full hall: N people in one room of confserver, on a Prosody of the benchmark's own, all voting
// the moment the chair opens the vote; and the same crowd spread over rooms of ten. For each
// shape it prints the time for everybody to join, the start push's fan-out, the ballots' answer
// latency and rate, the CPU time confserver and Prosody spend over the burst, confserver's memory
// per member, and, as the anchor, the fan-out of one message in Prosody's own group chat room to
// the same crowd. It checks as it goes: every ballot answered once, the tally equal to the
// ballots accepted, every member pushed the start and the end once.
//
// Usage: room_load [N ...] (default: 100 1000 R10); "R10" after a size also runs that size as
// rooms of ten. scripts/bench room_load runs the default.
//
// The members live in worker processes of at most kMembersPerWorker connections each, forked from
// this one: libstrophe waits on its sockets with select(), which cannot watch a descriptor above
// 1023. Times are taken on the monotonic clock, which all processes share.
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/process_cpu.h"
#include "tests/xmpp/child_process.h"
#include "tests/xmpp/confserver_process.h"
#include "tests/xmpp/prosody_server.h"
#include "tests/xmpp/test_client.h"
#include "xmpp/connection.h"
#include "xmpp/stanza.h"

namespace {

using quenlo::bench::CpuSeconds;
using quenlo::xmpp_test::ChildProcess;
using quenlo::xmpp_test::ProsodyServer;
using quenlo::xmpp_test::RunUntil;
using SteadyClock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr int kMembersPerWorker = 800;
// Logins in flight across all workers: more overflow the XMPP server's listen queue, and the
// connections it drops time out.
constexpr std::size_t kLoginsInFlight = 128;
constexpr int kLoginTries = 5;
constexpr auto kLoginPatience = 30s;
constexpr auto kPhaseLimit = 600s;
constexpr char kVotingNamespace[] = "quenlo:conf:voting";
constexpr char kGroupChatRoom[] = "hall";
constexpr char kAnchorText[] = "the anchor";

long long NowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(SteadyClock::now().time_since_epoch())
      .count();
}

std::string ConferenceRoom(int index) {
  return "hall" + std::to_string(index) + "@" + ProsodyServer::kComponentDomain;
}

std::string GroupChatOccupant(const std::string& nick) {
  return std::string(kGroupChatRoom) + "@" + ProsodyServer::kGroupChatDomain + "/" + nick;
}

// What one member saw, sent from its worker to the benchmark as one line.
struct MemberRecord {
  int room = 0;
  long long startPushAt = 0;
  int startPushes = 0;
  long long endPushAt = 0;
  int endPushes = 0;
  long long ballotSentAt = 0;
  long long answeredAt = 0;
  int answers = 0;
  int accepted = 0;
  long long anchorAt = 0;
  int anchors = 0;
};

std::string Format(const MemberRecord& r) {
  std::ostringstream line;
  line << r.room << ' ' << r.startPushAt << ' ' << r.startPushes << ' ' << r.endPushAt << ' '
       << r.endPushes << ' ' << r.ballotSentAt << ' ' << r.answeredAt << ' ' << r.answers << ' '
       << r.accepted << ' ' << r.anchorAt << ' ' << r.anchors;
  return line.str();
}

MemberRecord Parse(const std::string& text) {
  MemberRecord r;
  std::istringstream line(text);
  line >> r.room >> r.startPushAt >> r.startPushes >> r.endPushAt >> r.endPushes >>
      r.ballotSentAt >> r.answeredAt >> r.answers >> r.accepted >> r.anchorAt >> r.anchors;
  return r;
}

// One line at a time over a pipe between the benchmark and a worker.
class LinePipe {
 public:
  LinePipe(int read_fd, int write_fd) : read_(read_fd), write_(write_fd) {
    fcntl(read_, F_SETFL, fcntl(read_, F_GETFL) | O_NONBLOCK);
  }

  void Write(const std::string& line) const {
    const std::string text = line + "\n";
    std::size_t written = 0;
    while (written < text.size()) {
      const ssize_t n = write(write_, text.data() + written, text.size() - written);
      if (n <= 0) throw std::runtime_error("a worker's pipe closed");
      written += static_cast<std::size_t>(n);
    }
  }

  // The next whole line, or false when none has arrived yet. Throws when the other side is gone.
  bool TryRead(std::string& line) {
    char chunk[4096];
    ssize_t n;
    while ((n = read(read_, chunk, sizeof chunk)) > 0) buffer_.append(chunk, n);
    if (n == 0 && buffer_.find('\n') == std::string::npos) {
      throw std::runtime_error("the other end of a pipe is gone");
    }
    const std::size_t end = buffer_.find('\n');
    if (end == std::string::npos) return false;
    line = buffer_.substr(0, end);
    buffer_.erase(0, end + 1);
    return true;
  }

  int read_fd() const { return read_; }

 private:
  int read_;
  int write_;
  std::string buffer_;
};

// A member: one anonymous client connection, in one conference room and in the group chat room.
struct Member {
  std::unique_ptr<quenlo::xmpp::Connection> connection;
  std::string nick;
  bool linkEnded = false;
  bool absent = false;  // could not log in or join: left out of the hall
  SteadyClock::time_point loginStarted;
  int loginFailures = 0;
  std::string failure;
  bool inRoom = false;
  bool inGroupChat = false;
  MemberRecord record;
};

// The worker's side: connects its members, joins them, votes on the start push, and reports.
class Worker {
 public:
  Worker(const ProsodyServer& server, int first, int count, int room_size, std::size_t logins,
         LinePipe pipe)
      : server_(server), pipe_(std::move(pipe)), logins_(logins) {
    for (int i = first; i < first + count; ++i) {
      auto& member = members_.emplace_back(std::make_unique<Member>());
      member->nick = "m" + std::to_string(i);
      member->record.room = room_size > 0 ? i / room_size : 0;
    }
  }

  void Run() {
    Login();
    Join();
    pipe_.Write("ready");
    bool voted = false, ended = false, anchored = false;
    for (;;) {
      context_.RunOnce(1ms);
      if (!voted && Every([](const Member& m) { return m.record.answers > 0; })) {
        voted = true;
        pipe_.Write("voted");
      }
      if (!ended && Every([](const Member& m) { return m.record.endPushes > 0; })) {
        ended = true;
        pipe_.Write("ended");
      }
      if (!anchored && Every([](const Member& m) { return m.record.anchors > 0; })) {
        anchored = true;
        pipe_.Write("anchored");
      }
      std::string command;
      if (pipe_.TryRead(command) && command == "report") break;
    }
    for (const auto& member : members_) pipe_.Write(Format(member->record));
    pipe_.Write("done");
  }

 private:
  bool Every(bool (*holds)(const Member&)) const {
    return std::all_of(members_.begin(), members_.end(),
                       [&](const auto& member) { return holds(*member); });
  }

  // Logs every member in, logins_ at a time. A login the loaded server drops is tried
  // again: what is measured starts once everybody is in.
  void Login() {
    std::vector<Member*> waiting;
    for (const auto& member : members_) waiting.push_back(member.get());
    std::vector<Member*> in_flight;
    const auto until = SteadyClock::now() + kPhaseLimit;
    while ((!waiting.empty() || !in_flight.empty()) && SteadyClock::now() < until) {
      while (!waiting.empty() && in_flight.size() < logins_) {
        StartLogin(*waiting.back());
        in_flight.push_back(waiting.back());
        waiting.pop_back();
      }
      context_.RunOnce(1ms);
      std::erase_if(in_flight, [&](Member* member) {
        if (member->connection->connected()) return true;
        // Under a crowd of logins, libstrophe now and then leaves one with no socket and no
        // word about it; one that takes this long is given up and tried again.
        if (!member->linkEnded && SteadyClock::now() - member->loginStarted > kLoginPatience) {
          member->failure = "no answer within " + std::to_string(kLoginPatience.count()) + " s";
          member->linkEnded = true;
        }
        if (!member->linkEnded) return false;
        if (++member->loginFailures >= kLoginTries) {
          member->absent = true;
          member->connection.reset();
          return true;
        }
        waiting.push_back(member);
        return true;
      });
    }
    if (!waiting.empty() || !in_flight.empty()) throw std::runtime_error("logins took too long");
    LeaveOutAbsent();
  }

  void StartLogin(Member& member) {
    member.connection = std::make_unique<quenlo::xmpp::Connection>(context_);
    member.linkEnded = false;
    member.loginStarted = SteadyClock::now();
    member.connection->OnLink([&member](quenlo::xmpp::LinkEvent event, const std::string& why) {
      if (event != quenlo::xmpp::LinkEvent::kDisconnected) return;
      member.linkEnded = true;
      member.failure = why;
    });
    member.connection->OnStanza("presence", [&member](xmpp_stanza_t* presence) {
      if (quenlo::xmpp::AttributeOf(presence, "type") == "error") return;
      const std::string_view from = quenlo::xmpp::AttributeOf(presence, "from");
      if (from == ConferenceRoom(member.record.room) + "/" + member.nick) member.inRoom = true;
      if (from == GroupChatOccupant(member.nick)) member.inGroupChat = true;
    });
    member.connection->OnStanza("iq", [this, &member](xmpp_stanza_t* iq) { OnIq(member, iq); });
    member.connection->OnStanza("message", [&member](xmpp_stanza_t* message) {
      xmpp_stanza_t* body = xmpp_stanza_get_child_by_name(message, "body");
      char* text = body == nullptr ? nullptr : xmpp_stanza_get_text(body);
      if (text != nullptr && std::string_view(text) == kAnchorText) {
        if (member.record.anchors++ == 0) member.record.anchorAt = NowNs();
      }
      if (text != nullptr) xmpp_free(xmpp_stanza_get_context(message), text);
    });
    // A connection libstrophe cannot even start reports nothing later: count it as failed now.
    if (!member.connection->ConnectClient("127.0.0.1", server_.ClientPort(),
                                          ProsodyServer::kGuestDomain, "")) {
      member.linkEnded = true;
      member.failure = "libstrophe could not start the connection";
    }
  }

  void OnIq(Member& member, xmpp_stanza_t* iq) {
    const std::string_view type = quenlo::xmpp::AttributeOf(iq, "type");
    const std::string_view id = quenlo::xmpp::AttributeOf(iq, "id");
    if ((type == "result" || type == "error") && id == "ballot") {
      if (member.record.answers++ == 0) member.record.answeredAt = NowNs();
      if (type == "result") ++member.record.accepted;
      return;
    }
    if (type != "set") return;
    xmpp_stanza_t* query = xmpp_stanza_get_child_by_name(iq, "query");
    const std::string_view push = query == nullptr ? "" : quenlo::xmpp::AttributeOf(query, "type");
    if (push == "end" && member.record.endPushes++ == 0) member.record.endPushAt = NowNs();
    if (push != "start") return;
    if (member.record.startPushes++ > 0) return;
    member.record.startPushAt = NowNs();
    // Everybody votes for the first subject the moment the vote opens.
    member.record.ballotSentAt = NowNs();
    member.connection->SendText(
        "<iq type='set' id='ballot' to='" + ConferenceRoom(member.record.room) +
        "'><query type='voting' xmlns='" + kVotingNamespace +
        "'><qid>1</qid><subjects>1<subject>1</subject></subjects></query></iq>");
  }

  void Join() {
    for (const auto& member : members_) {
      member->connection->SendText("<presence to='" + ConferenceRoom(member->record.room) + "/" +
                                   member->nick + "'/>");
      member->connection->SendText("<presence to='" + GroupChatOccupant(member->nick) +
                                   "'><x xmlns='http://jabber.org/protocol/muc'>"
                                   "<history maxstanzas='0'/></x></presence>");
      context_.RunOnce(0ms);
    }
    // A member whose connection the loaded server drops after its login stays out.
    const auto settled = [](const Member& m) {
      return (m.inRoom && m.inGroupChat) || !m.connection->connected();
    };
    RunUntil(
        context_, [&] { return Every(settled); }, kPhaseLimit);
    for (const auto& member : members_) {
      if (member->inRoom && member->inGroupChat) continue;
      member->absent = true;
      member->failure = member->connection->connected() ? "not let into both rooms"
                                                        : "lost its connection before joining";
    }
    LeaveOutAbsent();
  }

  // Tells the benchmark who could not take part, and goes on with the others.
  void LeaveOutAbsent() {
    for (const auto& member : members_) {
      if (member->absent) pipe_.Write("absent " + member->nick + ": " + member->failure);
    }
    std::erase_if(members_, [](const auto& member) { return member->absent; });
  }

  const ProsodyServer& server_;
  LinePipe pipe_;
  std::size_t logins_;
  quenlo::xmpp::Context context_;
  std::vector<std::unique_ptr<Member>> members_;
};

struct WorkerHandle {
  pid_t pid;
  LinePipe pipe;
};

// Starts a worker process for members [first, first + count).
WorkerHandle StartWorker(const ProsodyServer& server, int first, int count, int room_size,
                         std::size_t logins) {
  int to_worker[2], from_worker[2];
  if (pipe(to_worker) != 0 || pipe(from_worker) != 0) throw std::runtime_error("no pipe");
  const pid_t parent = getpid();
  const pid_t pid = fork();
  if (pid == 0) {
    // A worker must not outlive the benchmark, however it ends.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(1);
    close(to_worker[1]);
    close(from_worker[0]);
    int status = 0;
    try {
      Worker(server, first, count, room_size, logins, LinePipe(to_worker[0], from_worker[1])).Run();
    } catch (const std::exception& error) {
      std::fprintf(stderr, "room_load worker: %s\n", error.what());
      status = 1;
    }
    _exit(status);
  }
  close(to_worker[0]);
  close(from_worker[1]);
  return {pid, LinePipe(from_worker[0], to_worker[1])};
}

// Waits until every worker has written `word`, keeping `on_line` for the other lines.
void AwaitAll(std::vector<WorkerHandle>& workers, const std::string& word,
              const std::function<void(const std::string&)>& on_line = nullptr) {
  std::vector<bool> heard(workers.size(), false);
  const auto until = SteadyClock::now() + kPhaseLimit;
  while (std::find(heard.begin(), heard.end(), false) != heard.end()) {
    if (SteadyClock::now() > until) throw std::runtime_error("workers did not say " + word);
    std::vector<pollfd> fds;
    for (const auto& worker : workers) fds.push_back({worker.pipe.read_fd(), POLLIN, 0});
    poll(fds.data(), fds.size(), 100);
    for (std::size_t i = 0; i < workers.size(); ++i) {
      std::string line;
      while (!heard[i] && workers[i].pipe.TryRead(line)) {
        if (line == word) {
          heard[i] = true;
        } else if (on_line) {
          on_line(line);
        }
      }
      int status = 0;
      if (!heard[i] && waitpid(workers[i].pid, &status, WNOHANG) == workers[i].pid) {
        throw std::runtime_error("a worker ended before it said " + word);
      }
    }
  }
}

// Resident memory of a process, in bytes.
double ResidentBytes(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);) {
    if (line.starts_with("VmRSS:")) return std::stod(line.substr(6)) * 1024;
  }
  return 0;
}

double Ms(long long ns) { return static_cast<double>(ns) / 1e6; }

// The chair: owns every room, runs the votes, and speaks in the group chat for the anchor.
class Chair {
 public:
  explicit Chair(const ProsodyServer& server) : client_(context_, server, "chair", "desk") {
    client_.Connect();
  }

  void JoinRooms(int rooms) {
    for (int room = 0; room < rooms; ++room) client_.Join(ConferenceRoom(room), "Chair");
    client_.Send("<presence to='" + GroupChatOccupant("chair") +
                 "'><x xmlns='http://jabber.org/protocol/muc'/></presence>");
    RunUntil(
        context_, [] { return false; }, 500ms);
  }

  // Opens a vote in every room at once; gives, per room, when the start's answer arrived.
  std::vector<long long> StartVotes(int rooms) {
    for (int room = 0; room < rooms; ++room) {
      Request(ConferenceRoom(room), "apply", "", "apply-" + std::to_string(room));
      Request(ConferenceRoom(room), "refer",
              "<qid>1</qid><caption>Adopt the budget?</caption><multi>false</multi><reg>false</reg>"
              "<timeout>0</timeout><subjects><subject index='1'>Yes</subject>"
              "<subject index='2'>No</subject></subjects>",
              "refer-" + std::to_string(room));
    }
    return AnswerTimes(AskEveryRoom(rooms, "start"));
  }

  // Ends every vote; gives, per room, when the end's answer arrived.
  std::vector<long long> EndVotes(int rooms) { return AnswerTimes(AskEveryRoom(rooms, "end")); }

  // The ballots every room's result counts, in all.
  long long CountBallots(int rooms) {
    long long counted = 0;
    for (const auto& [at, answer] : AskEveryRoom(rooms, "result")) {
      counted += std::atoll(answer.c_str() + answer.find("<count>") + 7);
    }
    return counted;
  }

  long long SpeakInGroupChat() {
    const long long at = NowNs();
    client_.Send("<message type='groupchat' to='" + std::string(kGroupChatRoom) + "@" +
                 ProsodyServer::kGroupChatDomain + "'><body>" + kAnchorText + "</body></message>");
    context_.RunOnce(0ms);
    return at;
  }

  // Asks every room the same of vote 1 at once; gives, per room, when the answer arrived and
  // its text. Throws when a room refuses.
  std::vector<std::pair<long long, std::string>> AskEveryRoom(int rooms, const char* type) {
    for (int room = 0; room < rooms; ++room) {
      Request(ConferenceRoom(room), type, "<qid>1</qid>", type + std::to_string(room));
    }
    std::vector<std::pair<long long, std::string>> answers(rooms);
    int missing = rooms;
    RunUntil(
        context_,
        [&] {
          for (int room = 0; room < rooms; ++room) {
            if (answers[room].first != 0) continue;
            if (const auto* answer = client_.AnswerTo(type + std::to_string(room))) {
              if (answer->type != "result") {
                throw std::runtime_error(std::string(type) + " refused: " + answer->text);
              }
              answers[room] = {NowNs(), answer->text};
              --missing;
            }
          }
          return missing == 0;
        },
        kPhaseLimit);
    if (missing > 0) throw std::runtime_error(std::string(type) + " not answered");
    return answers;
  }

  static std::vector<long long> AnswerTimes(
      const std::vector<std::pair<long long, std::string>>& answers) {
    std::vector<long long> times;
    for (const auto& answer : answers) times.push_back(answer.first);
    return times;
  }

  void Request(const std::string& to, const char* type, const std::string& body,
               const std::string& id) {
    client_.Send("<iq type='set' to='" + to + "' id='" + id + "'><query type='" + type +
                 "' xmlns='" + kVotingNamespace + "'>" + body + "</query></iq>");
  }

  quenlo::xmpp::Context context_;
  quenlo::xmpp_test::TestClient client_;
};

// Latencies in milliseconds: the median, the 99th percentile and the largest.
struct Spread {
  double p50 = 0, p99 = 0, max = 0;
};

Spread SpreadOf(std::vector<double> values) {
  if (values.empty()) return {};
  std::sort(values.begin(), values.end());
  const auto at = [&](double q) {
    return values[static_cast<std::size_t>(q * static_cast<double>(values.size() - 1))];
  };
  return {at(0.5), at(0.99), values.back()};
}

struct Figures {
  int invited = 0;
  int members = 0;  // those who got in
  int rooms = 0;
  double joinSeconds = 0;
  Spread startFanout, endFanout, ballots, anchor;
  double ballotsPerSecond = 0;
  // CPU seconds over the ballot burst, and over the end's fan-out alone (what bounds a push).
  double confserverCpu = 0, prosodyCpu = 0;
  double confserverEndCpu = 0, prosodyEndCpu = 0;
  // Prosody's CPU seconds over its own group chat broadcast, for the same crowd.
  double prosodyAnchorCpu = 0;
  double bytesPerMember = 0;
  bool anchored = false;
  std::vector<std::string> faults;
};

Figures RunShape(int members, int room_size) {
  Figures figures;
  figures.invited = members;
  figures.members = members;
  figures.rooms = room_size > 0 ? (members + room_size - 1) / room_size : 1;
  ProsodyServer server({"chair"});
  const std::unique_ptr<ChildProcess> confserver = quenlo::xmpp_test::StartConfserver(
      server, server.PathFor("load.db"), server.PathFor("confserver.log"));
  // Rooms open when the chair joins, so the chair owns them.
  Chair chair(server);
  chair.JoinRooms(figures.rooms);
  const double idle_bytes = ResidentBytes(confserver->pid());
  std::fprintf(stderr, "room_load: %d members joining\n", members);

  const long long join_began = NowNs();
  std::vector<WorkerHandle> workers;
  const int worker_count = (members + kMembersPerWorker - 1) / kMembersPerWorker;
  const std::size_t logins = std::max<std::size_t>(4, kLoginsInFlight / worker_count);
  for (int first = 0; first < members; first += kMembersPerWorker) {
    workers.push_back(StartWorker(server, first, std::min(kMembersPerWorker, members - first),
                                  room_size, logins));
  }
  std::vector<std::string> absent;
  AwaitAll(workers, "ready", [&](const std::string& line) { absent.push_back(line); });
  figures.joinSeconds = Ms(NowNs() - join_began) / 1000;
  if (!absent.empty()) {
    // The rest of the hall goes on: the figures below are those of the members who got in.
    std::fprintf(stderr, "room_load: %zu could not take part, first %s\n", absent.size(),
                 absent.front().c_str());
    figures.members -= static_cast<int>(absent.size());
  }
  figures.bytesPerMember = (ResidentBytes(confserver->pid()) - idle_bytes) / figures.members;

  std::fprintf(stderr, "room_load: joined in %.1f s; voting\n", figures.joinSeconds);
  const double confserver_before = CpuSeconds(confserver->pid());
  const double prosody_before = CpuSeconds(server.pid());
  const std::vector<long long> started = chair.StartVotes(figures.rooms);
  AwaitAll(workers, "voted");
  figures.confserverCpu = CpuSeconds(confserver->pid()) - confserver_before;
  figures.prosodyCpu = CpuSeconds(server.pid()) - prosody_before;

  const double confserver_at_end = CpuSeconds(confserver->pid());
  const double prosody_at_end = CpuSeconds(server.pid());
  const std::vector<long long> ended = chair.EndVotes(figures.rooms);
  AwaitAll(workers, "ended");
  figures.confserverEndCpu = CpuSeconds(confserver->pid()) - confserver_at_end;
  figures.prosodyEndCpu = CpuSeconds(server.pid()) - prosody_at_end;
  const long long counted = chair.CountBallots(figures.rooms);
  long long anchor_sent = 0;
  if (figures.rooms == 1) {
    const double prosody_at_anchor = CpuSeconds(server.pid());
    anchor_sent = chair.SpeakInGroupChat();
    AwaitAll(workers, "anchored");
    figures.prosodyAnchorCpu = CpuSeconds(server.pid()) - prosody_at_anchor;
    figures.anchored = true;
  }

  std::vector<MemberRecord> records;
  for (auto& worker : workers) worker.pipe.Write("report");
  AwaitAll(workers, "done", [&](const std::string& line) { records.push_back(Parse(line)); });
  for (auto& worker : workers) waitpid(worker.pid, nullptr, 0);

  std::vector<double> start_fanout, end_fanout, ballots, anchor;
  long long first_sent = 0, last_answer = 0, accepted = 0;
  const auto fault = [&](const std::string& what) { figures.faults.push_back(what); };
  for (const MemberRecord& r : records) {
    start_fanout.push_back(Ms(r.startPushAt - started[r.room]));
    end_fanout.push_back(Ms(r.endPushAt - ended[r.room]));
    ballots.push_back(Ms(r.answeredAt - r.ballotSentAt));
    if (figures.anchored) anchor.push_back(Ms(r.anchorAt - anchor_sent));
    first_sent = first_sent == 0 ? r.ballotSentAt : std::min(first_sent, r.ballotSentAt);
    last_answer = std::max(last_answer, r.answeredAt);
    accepted += r.accepted;
    if (r.startPushes != 1) fault("start pushed " + std::to_string(r.startPushes) + " times");
    if (r.endPushes != 1) fault("end pushed " + std::to_string(r.endPushes) + " times");
    if (r.answers != 1) fault("a ballot answered " + std::to_string(r.answers) + " times");
    if (figures.anchored && r.anchors != 1) fault("the anchor came " + std::to_string(r.anchors));
  }
  if (static_cast<int>(records.size()) != figures.members) {
    fault("members missing from the report");
  }
  if (counted != accepted) {
    fault("the tally counts " + std::to_string(counted) + " ballots, " + std::to_string(accepted) +
          " were accepted");
  }
  figures.startFanout = SpreadOf(start_fanout);
  figures.endFanout = SpreadOf(end_fanout);
  figures.ballots = SpreadOf(ballots);
  figures.anchor = SpreadOf(anchor);
  figures.ballotsPerSecond =
      static_cast<double>(figures.members) / (Ms(last_answer - first_sent) / 1000);
  return figures;
}

void PrintSpread(const char* what, const Spread& spread) {
  std::printf("  %-34s p50 %8.1f  p99 %8.1f  max %8.1f\n", what, spread.p50, spread.p99,
              spread.max);
}

void Print(const Figures& f) {
  std::printf("\n== %d members in %d room%s", f.members, f.rooms, f.rooms == 1 ? "" : "s");
  if (f.members != f.invited) std::printf(" (%d could not take part)", f.invited - f.members);
  std::printf("\n");
  std::printf("  %-34s %8.2f s\n", "all joined (both rooms)", f.joinSeconds);
  PrintSpread("start push fan-out, ms", f.startFanout);
  PrintSpread("end push fan-out, ms", f.endFanout);
  if (f.anchored) {
    PrintSpread("group chat fan-out (anchor), ms", f.anchor);
    std::printf("  %-34s start %.2fx, end %.2fx (goal <= 1.5x)\n", "fan-out max / anchor max",
                f.startFanout.max / f.anchor.max, f.endFanout.max / f.anchor.max);
  }
  PrintSpread("ballot answer, ms (goal p99 < 1000)", f.ballots);
  std::printf("  %-34s %8.0f\n", "ballots per second", f.ballotsPerSecond);
  std::printf("  %-34s confserver %.2f, Prosody %.2f: %.2f (goal <= 0.5)\n", "CPU s over the burst",
              f.confserverCpu, f.prosodyCpu, f.confserverCpu / f.prosodyCpu);
  std::printf("  %-34s confserver %.2f, Prosody %.2f\n", "CPU s over the end's fan-out",
              f.confserverEndCpu, f.prosodyEndCpu);
  if (f.anchored) {
    // Per member reached: what the XMPP server spends routing each push from the component
    // connection, against fanning its own group chat message out.
    std::printf("  %-34s end push %.0f us, group chat %.0f us\n", "Prosody CPU per member reached",
                f.prosodyEndCpu / f.members * 1e6, f.prosodyAnchorCpu / f.members * 1e6);
  }
  std::printf("  %-34s %8.0f bytes (goal < 4096)\n", "confserver memory per member",
              f.bytesPerMember);
  for (const std::string& fault : f.faults) std::printf("  FAULT: %s\n", fault.c_str());
  if (f.faults.empty()) {
    std::printf(
        "  checked: every ballot answered once, the tally equals the ballots accepted, "
        "start and end pushed to every member once\n");
  }
}

}  // namespace

int main(int argc, char** argv) {
  // Each member is a socket here and in Prosody, which inherits this limit.
  rlimit files{};
  getrlimit(RLIMIT_NOFILE, &files);
  files.rlim_cur = files.rlim_max;
  setrlimit(RLIMIT_NOFILE, &files);

  std::vector<std::pair<int, int>> shapes;  // members, room size (0: one room)
  for (int i = 1; i < argc; ++i) {
    const std::string word = argv[i];
    if (word.starts_with("--")) continue;  // scripts/bench's options for Google Benchmark
    if (word == "R10" && !shapes.empty()) {
      shapes.emplace_back(shapes.back().first, 10);
    } else if (const int members = std::atoi(word.c_str()); members > 0) {
      shapes.emplace_back(members, 0);
    } else {
      std::fprintf(stderr, "room_load: \"%s\" is neither a number of members nor R10\n",
                   word.c_str());
      return 2;
    }
  }
  if (shapes.empty()) shapes = {{100, 0}, {1000, 0}, {1000, 10}};
  bool faults = false;
  for (const auto& [members, room_size] : shapes) {
    try {
      const Figures figures = RunShape(members, room_size);
      Print(figures);
      faults = faults || !figures.faults.empty();
    } catch (const std::exception& error) {
      std::printf("\n== %d members: could not run: %s\n", members, error.what());
      faults = true;
    }
    std::fflush(stdout);
  }
  return faults ? 1 : 0;
}
