#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "server/agenda.h"
#include "server/clock.h"
#include "server/vote.h"

namespace quenlo::server {

// One subject of the vote a room's page shows. `count` is absent while the owner hides the live
// tally; `voters` is filled only once a registered vote has ended, never for an anonymous vote.
struct PageSubject {
  std::string index;
  std::string text;
  std::optional<std::size_t> count;
  std::vector<std::string> voters;
};

// The vote a room's page shows: the one the owner last defined, started or ended.
struct PageVote {
  std::string id;
  std::string caption;
  VoteState state = VoteState::kReady;
  bool multiple_choice = false;
  bool registered = false;
  bool tally_hidden = false;  // the counts are left out until the vote ends
  std::optional<TimePoint> ends_at;
  std::size_t ballots = 0;
  std::vector<PageSubject> subjects;
};

// What a room's page shows, taken from the room as it is: nothing else reaches a browser, so
// what is withheld here (a hidden tally, the names of an anonymous vote) cannot leak from a page.
struct RoomPage {
  std::string room;
  std::vector<AgendaItem> agenda;
  std::string in_progress;  // the qid of the item in progress, empty for none
  std::optional<PageVote> vote;
  std::size_t members = 0;  // people here, and those who voted in the vote shown and left
  TimePoint taken_at;       // the service's time when the page was taken
};

// Builds the vote part of a room's page. `present` are the bare addresses of the people in the
// room now.
PageVote MakePageVote(const Vote& vote, const std::vector<std::string>& present,
                      std::size_t& members);

}  // namespace quenlo::server
