#include "server/room_page.h"

#include <algorithm>
#include <set>

namespace quenlo::server {

PageVote MakePageVote(const Vote& vote, const std::vector<std::string>& present,
                      std::size_t& members) {
  const VoteDefinition& definition = vote.definition();
  PageVote page;
  page.id = vote.id();
  page.caption = definition.caption;
  page.state = vote.state();
  page.multiple_choice = definition.multiple_choice;
  page.registered = definition.registered;
  page.tally_hidden = vote.TallyHidden() && vote.state() != VoteState::kEnded;
  if (vote.state() == VoteState::kRunning && vote.StartedAt() && definition.timeout.count() > 0) {
    page.ends_at = *vote.StartedAt() + definition.timeout;
  }
  page.ballots = vote.BallotCount();
  const bool names = definition.registered && vote.state() == VoteState::kEnded;
  for (const VoteSubject& subject : definition.subjects) {
    PageSubject& shown = page.subjects.emplace_back();
    shown.index = subject.index;
    shown.text = subject.text;
    if (page.tally_hidden || vote.state() == VoteState::kReady) continue;
    std::vector<std::string> voters = vote.VotersFor(subject.index);
    shown.count = voters.size();
    if (names) shown.voters = std::move(voters);
  }
  std::set<std::string> people(present.begin(), present.end());
  for (const Ballot& ballot : vote.ballots()) people.insert(ballot.voter);
  members = people.size();
  return page;
}

}  // namespace quenlo::server
