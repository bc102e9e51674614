#include "apps/confhost/demo.h"

#include <stdexcept>
#include <string>
#include <vector>

#include "apps/confhost/text_table.h"
#include "host/in_process_conference.h"
#include "host/result_snapshot.h"
#include "host/utf8_text.h"

namespace quenlo::confhost {
namespace {

struct SeenEvent {
  std::string participant;
  std::string path;
  host::ResultSnapshot result;
};

std::string ValueOf(const host::ResultSnapshot& snapshot, std::string_view field) {
  const std::string* value = snapshot.Find(field);
  return value == nullptr ? std::string() : *value;
}

std::string JoinNames(const std::vector<std::string>& names) {
  std::string joined;
  for (const std::string& name : names) joined += (joined.empty() ? "" : ", ") + name;
  return joined;
}

class Demo {
 public:
  Demo(std::shared_ptr<host::ConferenceModule> module, std::ostream& out, bool trace)
      : out_(out), conference_(std::move(module)) {
    conference_.SetEventObserver([this](const std::string& who, const host::HostEvent& event) {
      events_.push_back({who, host::ToUtf8(event.path), host::ReadResult(event.result.Get())});
    });
    conference_.transport().SetWireObserver([this, trace](const host::WirePacket& packet) {
      ++packets_;
      if (trace)
        out_ << "      wire " << packet.from << " -> " << packet.to << ": " << packet.xml << '\n';
    });
  }

  void Run() {
    out_ << "A meeting in room " << conference_.room() << ": Alice chairs, Bob and Carol join.\n";
    alice_ = &conference_.Join("alice", "Alice");
    bob_ = &conference_.Join("bob", "Bob");
    carol_ = &conference_.Join("carol", "Carol");
    RunAgenda();
    RunVote();
    out_ << "\nDone: " << packets_ << " packets crossed the wire as text, " << announced_
         << " events were announced.\n";
  }

 private:
  void RunAgenda() {
    out_ << "\n1. The agenda\n";
    CreateItem(u"opening", u"Opening and minutes", u"09:00", u"talk", u"5");
    CreateItem(u"budget", u"Budget 2025", u"09:10", u"vote", u"20");
    CreateItem(u"aob", u"Any other business", u"09:40", u"talk", u"10");

    out_ << "  Bob browses the agenda:\n";
    bob_->agenda().Browse(u"browse-1");
    const SeenEvent listing = Expect(Settle(), "bob", "/agenda/showall/ok");
    TextTable agenda({"qid", "time", "item", "type", "minutes"});
    for (const host::ResultSnapshot& item : listing.result.entries) {
      agenda.AddRow({ValueOf(item, "qid"), ValueOf(item, "time"), ValueOf(item, "text"),
                     ValueOf(item, "type"), ValueOf(item, "value")});
    }
    agenda.Print(out_);

    alice_->agenda().Sync(u"sync-1", u"budget");
    const std::vector<SeenEvent> synced = Settle();
    Expect(synced, "carol", "/agenda/sync/ok");
    out_ << "  Alice moves the meeting on to \"budget\"; " << Audience(synced, "/agenda/sync/ok")
         << " follow.\n";
    carol_->agenda().Request(u"request-1");
    const SeenEvent current = Expect(Settle(), "carol", "/agenda/request/ok");
    out_ << "  Carol asks what is on now: \"" << ValueOf(current.result, "text") << "\" since "
         << ValueOf(current.result, "time") << ".\n";
  }

  void CreateItem(const char16_t* qid, const char16_t* text, const char16_t* time,
                  const char16_t* type, const char16_t* minutes) {
    alice_->agenda().Create(u"create", qid, text, time, type, minutes);
    const std::vector<SeenEvent> created = Settle();
    Expect(created, "bob", "/agenda/create/ok");
    out_ << "  Alice adds \"" << host::ToUtf8(text) << "\"; "
         << Audience(created, "/agenda/create/ok") << " see it arrive.\n";
  }

  void RunVote() {
    out_ << "\n2. The vote\n";
    SetVotingProperty(u"voting.registered", u"1");
    SetVotingProperty(u"voting.multiselsect", u"0");
    SetVotingProperty(u"voting.timeout", u"300");
    alice_->voting().Apply(u"apply-1");
    const std::string qid = ValueOf(Expect(Settle(), "alice", "/voting/apply/ok").result, "qid");
    const std::u16string vote = host::FromUtf8(qid);
    out_ << "  Alice applies for a vote; the room gives it qid " << qid << ".\n";

    alice_->voting().AddReferSubject(u"refer-1", u"1", u"Yes");
    alice_->voting().AddReferSubject(u"refer-1", u"2", u"No");
    alice_->voting().AddReferSubject(u"refer-1", u"3", u"Abstain");
    alice_->voting().Refer(u"refer-1", vote.c_str(), u"Approve the 2025 budget?");
    const SeenEvent uploaded = Expect(Settle(), "alice", "/voting/upload/ok");
    out_ << "  She uploads \"" << ValueOf(uploaded.result, "caption")
         << "\": " << (ValueOf(uploaded.result, "reg") == "1" ? "voters named" : "anonymous")
         << ", " << (ValueOf(uploaded.result, "multi") == "1" ? "several choices" : "one choice")
         << ", " << ValueOf(uploaded.result, "timeout") << " s, subjects ";
    std::vector<std::string> subjects;
    for (const auto& subject : uploaded.result.entries)
      subjects.push_back(ValueOf(subject, "text"));
    out_ << JoinNames(subjects) << ".\n";

    alice_->voting().Start(u"start-1", vote.c_str());
    const std::vector<SeenEvent> started = Settle();
    Expect(started, "carol", "/voting/start/ok");
    out_ << "  She starts it; " << Audience(started, "/voting/start/ok") << " are told.\n";

    out_ << "  Ballots:\n";
    CastBallot("bob", "Bob", vote, u"1", "Yes");
    CastBallot("carol", "Carol", vote, u"2", "No");
    CastBallot("bob", "Bob", vote, u"3", "Abstain");
    CastBallot("alice", "Alice", vote, u"1", "Yes");

    carol_->voting().Kithe(u"kithe-1", vote.c_str());
    const SeenEvent tally = Expect(Settle(), "carol", "/voting/kithe/ok");
    out_ << "  Carol looks at the live tally (" << ValueOf(tally.result, "count") << " ballots):\n";
    TextTable live({"subject", "votes"});
    for (const auto& subject : tally.result.entries) {
      live.AddRow({ValueOf(subject, "name"), ValueOf(subject, "votes")});
    }
    live.Print(out_);

    alice_->voting().End(u"end-1", vote.c_str());
    const std::vector<SeenEvent> ended = Settle();
    Expect(ended, "bob", "/voting/end/ok");
    out_ << "  Alice ends the vote; " << Audience(ended, "/voting/end/ok") << " are told.\n";

    bob_->voting().Result(u"result-1", vote.c_str());
    const SeenEvent result = Expect(Settle(), "bob", "/voting/look/ok");
    out_ << "  Bob fetches the final result of \"" << ValueOf(result.result, "caption") << "\":\n";
    TextTable final_result({"subject", "votes", "voters"});
    for (const auto& subject : result.result.entries) {
      std::vector<std::string> voters;
      for (const auto& voter : subject.entries) voters.push_back(ValueOf(voter, "name"));
      final_result.AddRow({ValueOf(subject, "name"), ValueOf(subject, "votes"), JoinNames(voters)});
    }
    final_result.Print(out_);
  }

  void CastBallot(const std::string& who, const std::string& name, const std::u16string& vote,
                  const char16_t* index, const std::string& choice) {
    host::Participant& voter = *conference_.Find(who);
    voter.voting().AddVotingSubject(index);
    voter.voting().Voting(u"ballot", vote.c_str());
    const std::vector<SeenEvent> events = Settle();
    if (events.size() == 1 && events.front().path == "/voting/error") {
      out_ << "    " << name << " votes again, " << choice << ": refused, error code "
           << ValueOf(events.front().result, "code") << " (one ballot each)\n";
      return;
    }
    Expect(events, who, "/voting/voting/ok");
    out_ << "    " << name << " votes " << choice << ": accepted\n";
  }

  void SetVotingProperty(const char16_t* name, const char16_t* value) {
    if (alice_->VotingSession().SetProperty(name, value) != S_OK) {
      throw std::runtime_error("the voting session lacks property " + host::ToUtf8(name));
    }
  }

  std::vector<SeenEvent> Settle() {
    conference_.Settle();
    announced_ += events_.size();
    return std::exchange(events_, {});
  }

  // The event `participant` had to receive; a demo that goes astray stops at once.
  static SeenEvent Expect(const std::vector<SeenEvent>& events, const std::string& participant,
                          const std::string& path) {
    for (const SeenEvent& event : events) {
      if (event.participant == participant && event.path == path) return event;
    }
    std::string seen;
    for (const SeenEvent& event : events) seen += " " + event.participant + ":" + event.path;
    throw std::runtime_error(participant + " did not receive " + path +
                             (seen.empty() ? " (no events)" : " (got" + seen + ")"));
  }

  static std::string Audience(const std::vector<SeenEvent>& events, const std::string& path) {
    std::vector<std::string> names;
    for (const SeenEvent& event : events) {
      if (event.path == path) names.push_back(event.participant);
    }
    return JoinNames(names);
  }

  std::ostream& out_;
  host::InProcessConference conference_;
  host::Participant* alice_ = nullptr;
  host::Participant* bob_ = nullptr;
  host::Participant* carol_ = nullptr;
  std::vector<SeenEvent> events_;
  std::size_t packets_ = 0;
  std::size_t announced_ = 0;
};

}  // namespace

void RunDemo(std::shared_ptr<host::ConferenceModule> module, std::ostream& out, bool trace) {
  Demo(std::move(module), out, trace).Run();
}

}  // namespace quenlo::confhost
