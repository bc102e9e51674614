#include "tests/xmpp/meeting_conductor.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "tests/xmpp/child_process.h"
#include "tests/xmpp/confserver_process.h"
#include "tests/xmpp/xmpp_server.h"

namespace quenlo::xmpp_test {
namespace {

using namespace std::chrono_literals;

constexpr char kRoom[] = "board@conference.example.net";
constexpr char kMarker[] = "@@step-";
constexpr char kShellGreeting[] = "Type help for the verbs, quit to leave.";
constexpr auto kStepTimeout = 30s;

std::vector<std::string> Words(const std::string& line) {
  std::istringstream stream(line);
  std::vector<std::string> words;
  for (std::string word; stream >> word;) words.push_back(word);
  return words;
}

// One participant's confhost and how much of its output has been read.
struct Seat {
  std::unique_ptr<ChildProcess> process;
  std::string output_file;
  std::size_t read = 0;
};

class Performance {
 public:
  Performance(const std::vector<std::string>& users,
              std::map<std::string, std::string>& transcripts,
              const MeetingConductor::LineObserver& observer, bool pages)
      : server_(StartXmppServer(users)), transcripts_(transcripts), observer_(observer) {
    std::vector<std::string> http;
    if (pages) http = {"--http", "127.0.0.1:" + std::to_string(FreeLoopbackPort())};
    confserver_ = StartConfserver(*server_, server_->PathFor("rooms.db"),
                                  server_->PathFor("confserver.log"), http);
  }

  ~Performance() {
    for (auto& [user, seat] : seats_) seat.process->CloseInput();
  }

  void Start(const std::string& user, const std::string& nick) {
    if (seats_.contains(user)) throw std::runtime_error(user + " has started already");
    Seat& seat = seats_[user];
    seat.output_file = server_->PathFor(user + "." + std::to_string(++starts_) + ".out");
    seat.process = std::make_unique<ChildProcess>(
        std::vector<std::string>{QUENLO_CONFHOST_PATH, "shell", "--xmpp",
                                 "127.0.0.1:" + std::to_string(server_->ClientPort()), "--jid",
                                 user + "@" + XmppServer::kDomain, "--password-file",
                                 server_->PasswordFile(user), "--room", kRoom, "--nick", nick},
        seat.output_file, true);
    Run(user, "");
  }

  // Runs `line` (nothing when empty) in user's confhost and waits until it is done.
  void Run(const std::string& user, const std::string& line) {
    Seat& seat = SeatOf(user);
    const std::string marker = kMarker + std::to_string(++steps_);
    seat.process->Write((line.empty() ? "" : line + "\n") + "echo " + marker + "\n");
    const auto until = std::chrono::steady_clock::now() + kStepTimeout;
    while (!Collect(user, seat, marker)) {
      if (!seat.process->running() || std::chrono::steady_clock::now() > until) {
        throw std::runtime_error(user + "'s confhost did not finish \"" + line + "\":\n" +
                                 ReadFile(seat.output_file) +
                                 ReadFile(server_->PathFor("confserver.log")));
      }
      std::this_thread::sleep_for(5ms);
    }
  }

  // The room page's address, as `user` (the owner) asks for it with confhost's link verb.
  std::string AskForPage(const std::string& user) {
    Seat& seat = SeatOf(user);
    const std::size_t before = seat.read;
    const std::string marker = kMarker + std::to_string(++steps_);
    seat.process->Write("link\necho " + marker + "\n");
    const auto until = std::chrono::steady_clock::now() + kStepTimeout;
    while (std::chrono::steady_clock::now() < until) {
      const std::string output = ReadFile(seat.output_file);
      if (output.find(marker, before) != std::string::npos) {
        seat.read = output.find('\n', output.find(marker, before)) + 1;
        const std::size_t at = output.find("room page: ", before);
        if (at == std::string::npos || at > seat.read) break;
        return output.substr(at + 11, output.find('\n', at) - at - 11);
      }
      std::this_thread::sleep_for(5ms);
    }
    throw std::runtime_error(user + " could not get the room's page:\n" +
                             ReadFile(seat.output_file));
  }

  void Stop(const std::string& user) {
    Run(user, "");  // what reached the participant before it quits
    Seat& seat = SeatOf(user);
    seat.process->Write("quit\n");
    seat.process->CloseInput();
    seat.process->WaitForExit(10s);
    Collect(user, seat, "");
    seats_.erase(user);
  }

  void StopAll() {
    while (!seats_.empty()) Stop(seats_.begin()->first);
    confserver_->Stop(SIGTERM, 5s);
  }

 private:
  Seat& SeatOf(const std::string& user) {
    const auto found = seats_.find(user);
    if (found == seats_.end()) throw std::runtime_error(user + " has not started");
    return found->second;
  }

  // Takes the complete lines printed since the last call; true once `marker` is among them.
  bool Collect(const std::string& user, Seat& seat, const std::string& marker) {
    const std::string output = ReadFile(seat.output_file);
    bool found = false;
    for (std::size_t end = output.find('\n', seat.read); end != std::string::npos;
         end = output.find('\n', seat.read)) {
      const std::string line = output.substr(seat.read, end - seat.read);
      seat.read = end + 1;
      if (!marker.empty() && line == marker) found = true;
      if (line.starts_with(kMarker) || line == kShellGreeting) continue;
      transcripts_[user] += line + "\n";
      if (observer_) observer_(user, line);
    }
    return found;
  }

  std::unique_ptr<XmppServer> server_;
  std::unique_ptr<ChildProcess> confserver_;
  std::map<std::string, Seat> seats_;
  std::map<std::string, std::string>& transcripts_;
  const MeetingConductor::LineObserver& observer_;
  int steps_ = 0;
  int starts_ = 0;
};

}  // namespace

MeetingConductor::MeetingConductor(const std::string& script, bool pages) : pages_(pages) {
  std::istringstream lines(script);
  int number = 0;
  for (std::string line; std::getline(lines, line);) {
    ++number;
    std::vector<std::string> words = Words(line);
    if (words.empty() || words.front().starts_with('#')) continue;
    const std::string& head = words.front();
    std::string text;
    if (head.ends_with(':') && head.size() > 1) {
      text = line.substr(line.find(':') + 1);
    } else if (!((head == "start" && words.size() == 3) || (head == "stop" && words.size() == 2) ||
                 (head == "pause" && words.size() == 2))) {
      throw std::invalid_argument("script line " + std::to_string(number) +
                                  ": expected start USER NICK, stop USER, pause SECONDS or "
                                  "USER: LINE");
    }
    if (head == "start" && std::find(users_.begin(), users_.end(), words[1]) == users_.end()) {
      users_.push_back(words[1]);
    }
    steps_.push_back({number, std::move(words), text});
  }
}

void MeetingConductor::Play(const LineObserver& observer, const std::function<void()>& hold) {
  transcripts_.clear();
  pageAddress_.clear();
  Performance performance(users_, transcripts_, observer, pages_);
  for (const Step& step : steps_) {
    const std::string& head = step.words.front();
    if (head == "start") {
      performance.Start(step.words[1], step.words[2]);
      if (pages_ && pageAddress_.empty()) pageAddress_ = performance.AskForPage(step.words[1]);
    } else if (head == "stop") {
      performance.Stop(step.words[1]);
    } else if (head == "pause") {
      std::this_thread::sleep_for(std::chrono::seconds(std::stoi(step.words[1])));
    } else {
      performance.Run(head.substr(0, head.size() - 1), step.text);
    }
  }
  if (hold) hold();
  performance.StopAll();
}

}  // namespace quenlo::xmpp_test
