#pragma once

#include <array>
#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "server/clock.h"

namespace quenlo::server {

// The life of a vote. The numbers travel as the "type" of a listing entry.
enum class VoteState : int {
  kDrafted = 0,  // identifier allocated, nothing uploaded yet
  kReady = 1,    // caption and subjects uploaded, may still be replaced
  kRunning = 2,  // ballots accepted
  kEnded = 3,    // final tally available
};

// How many votes are in each state, indexed by VoteState.
using VoteCounts = std::array<std::size_t, 4>;

struct VoteSubject {
  std::string index;
  std::string text;
};

struct VoteDefinition {
  std::string caption;
  bool multiple_choice = false;
  bool registered = false;          // tallies name the voters
  std::chrono::seconds timeout{0};  // 0: runs until ended by hand
  std::vector<VoteSubject> subjects;
};

// One person's ballot: `voter` is the bare address (every device of a person shares it), `name`
// the one the person joined with; `indexes` name the chosen subjects.
struct Ballot {
  std::string voter;
  std::string name;
  std::vector<std::string> indexes;
};

// One vote of a room and its ballots. Every refused change throws RequestError and leaves the
// vote as it was.
class Vote {
 public:
  explicit Vote(std::string id);
  // A vote as it was stored; `started_at` is set once the vote has started.
  Vote(std::string id, VoteState state, VoteDefinition definition,
       std::optional<TimePoint> started_at, std::vector<Ballot> ballots, bool tally_hidden = false);

  const std::string& id() const { return id_; }
  VoteState state() const { return state_; }
  const VoteDefinition& definition() const { return definition_; }
  std::size_t BallotCount() const { return ballots_.size(); }
  const std::vector<Ballot>& ballots() const { return ballots_; }
  const std::optional<TimePoint>& StartedAt() const { return startedAt_; }
  // The owner's choice that the room's page shows only the number of ballots until the end, so
  // that early ballots do not sway later ones. Kept across a new definition.
  bool TallyHidden() const { return tallyHidden_; }
  void HideTally(bool hidden);

  void Define(VoteDefinition definition);
  void Start(TimePoint now);
  void End();
  bool HasRunOut(TimePoint now) const;

  // One ballot per voter; gives the ballot as recorded.
  const Ballot& CastBallot(Ballot ballot);

  // Names of those who chose the subject, in the order the ballots came.
  std::vector<std::string> VotersFor(const std::string& index) const;

 private:
  void CheckBallot(const Ballot& ballot) const;
  bool HasSubject(const std::string& index) const;

  std::string id_;
  VoteState state_ = VoteState::kDrafted;
  VoteDefinition definition_;
  std::optional<TimePoint> startedAt_;
  std::vector<Ballot> ballots_;
  bool tallyHidden_ = false;
};

}  // namespace quenlo::server
