#pragma once

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

// One vote of a room and its ballots. Every refused change throws RequestError and leaves the
// vote as it was.
class Vote {
 public:
  explicit Vote(std::string id);

  const std::string& id() const { return id_; }
  VoteState state() const { return state_; }
  const VoteDefinition& definition() const { return definition_; }
  std::size_t ballot_count() const { return ballots_.size(); }

  void Define(VoteDefinition definition);
  void Start(TimePoint now);
  void End();
  bool HasRunOut(TimePoint now) const;

  // One ballot per voter address; `indexes` name the chosen subjects.
  void CastBallot(const std::string& voter_address, const std::string& voter_name,
                  const std::vector<std::string>& indexes);

  // Names of those who chose the subject, in the order the ballots came.
  std::vector<std::string> VotersFor(const std::string& index) const;

 private:
  struct Ballot {
    std::string voter_address;
    std::string voter_name;
    std::vector<std::string> indexes;
  };

  void CheckBallot(const std::string& voter_address, const std::vector<std::string>& indexes) const;
  bool HasSubject(const std::string& index) const;

  std::string id_;
  VoteState state_ = VoteState::kDrafted;
  VoteDefinition definition_;
  std::optional<TimePoint> deadline_;
  std::vector<Ballot> ballots_;
};

}  // namespace quenlo::server
