#include "server/vote.h"

#include <algorithm>
#include <utility>

#include "server/request_error.h"

namespace quenlo::server {

Vote::Vote(std::string id) : id_(std::move(id)) {}

Vote::Vote(std::string id, VoteState state, VoteDefinition definition,
           std::optional<TimePoint> started_at, std::vector<Ballot> ballots, bool tally_hidden)
    : id_(std::move(id)),
      state_(state),
      definition_(std::move(definition)),
      startedAt_(started_at),
      ballots_(std::move(ballots)),
      tallyHidden_(tally_hidden) {}

void Vote::Define(VoteDefinition definition) {
  if (state_ != VoteState::kDrafted && state_ != VoteState::kReady) {
    throw RequestError(ErrorCode::kWrongState, "vote " + id_ + " has started and cannot change");
  }
  definition_ = std::move(definition);
  state_ = VoteState::kReady;
}

void Vote::Start(TimePoint now) {
  if (state_ != VoteState::kReady) {
    throw RequestError(ErrorCode::kWrongState, "vote " + id_ + " is not ready to start");
  }
  state_ = VoteState::kRunning;
  startedAt_ = now;
}

void Vote::End() {
  if (state_ != VoteState::kRunning) {
    throw RequestError(ErrorCode::kWrongState, "vote " + id_ + " is not running");
  }
  state_ = VoteState::kEnded;
}

void Vote::HideTally(bool hidden) {
  if (state_ == VoteState::kEnded) {
    throw RequestError(ErrorCode::kWrongState, "vote " + id_ + " has ended: its tally is final");
  }
  tallyHidden_ = hidden;
}

bool Vote::HasRunOut(TimePoint now) const {
  return state_ == VoteState::kRunning && startedAt_ && definition_.timeout.count() > 0 &&
         now >= *startedAt_ + definition_.timeout;
}

const Ballot& Vote::CastBallot(Ballot ballot) {
  CheckBallot(ballot);
  return ballots_.emplace_back(std::move(ballot));
}

void Vote::CheckBallot(const Ballot& ballot) const {
  const std::vector<std::string>& indexes = ballot.indexes;
  if (state_ != VoteState::kRunning) {
    throw RequestError(ErrorCode::kWrongState, "vote " + id_ + " is not running");
  }
  const bool voted = std::any_of(ballots_.begin(), ballots_.end(),
                                 [&](const Ballot& cast) { return cast.voter == ballot.voter; });
  if (voted) throw RequestError(ErrorCode::kAlreadyVoted, "already voted in vote " + id_);
  if (indexes.empty()) throw RequestError(ErrorCode::kEmptyBallot, "no subject chosen");
  if (indexes.size() > 1 && !definition_.multiple_choice) {
    throw RequestError(ErrorCode::kNotSingleChoice, "vote " + id_ + " takes a single choice");
  }
  for (auto chosen = indexes.begin(); chosen != indexes.end(); ++chosen) {
    if (!HasSubject(*chosen)) {
      throw RequestError(ErrorCode::kUnknownSubject, "vote " + id_ + " has no subject " + *chosen);
    }
    if (std::find(indexes.begin(), chosen, *chosen) != chosen) {
      throw RequestError(ErrorCode::kMalformedRequest, "subject " + *chosen + " chosen twice");
    }
  }
}

bool Vote::HasSubject(const std::string& index) const {
  const auto& subjects = definition_.subjects;
  return std::any_of(subjects.begin(), subjects.end(),
                     [&](const VoteSubject& subject) { return subject.index == index; });
}

std::vector<std::string> Vote::VotersFor(const std::string& index) const {
  std::vector<std::string> voters;
  for (const Ballot& ballot : ballots_) {
    if (std::find(ballot.indexes.begin(), ballot.indexes.end(), index) != ballot.indexes.end()) {
      voters.push_back(ballot.name);
    }
  }
  return voters;
}

}  // namespace quenlo::server
