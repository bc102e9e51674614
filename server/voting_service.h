#pragma once

#include <cstdint>
#include <map>
#include <pugixml.hpp>
#include <string>
#include <vector>

#include "server/audience.h"
#include "server/clock.h"
#include "server/member.h"
#include "server/store.h"
#include "server/vote.h"

namespace quenlo::server {

// The voting service of one room: reads a request's query, changes the room's votes, records
// the change in the store and fills the answer's query. A refused request throws RequestError
// and changes nothing.
class VotingService {
 public:
  VotingService(Store& store, std::string room, std::vector<Vote> votes,
                std::uint64_t next_vote_id);

  Audience Handle(const Member& sender, pugi::xml_node request, pugi::xml_node reply,
                  TimePoint now);

  // Ends every running vote whose time is up and appends to `notices` one "end" query per vote,
  // the same query an "end" request would be answered with. The ends are recorded in the store.
  void EndExpired(TimePoint now, pugi::xml_node notices);

  // The owner's choice for the room's page: hide the vote's live tally until it ends (or show
  // it again). Refused for a vote that has ended.
  void HideTally(const std::string& vote_id, bool hidden);
  // The vote the room's page shows: the one last defined, started or ended, or after a restart
  // or a deletion, the running one, else the newest defined one. Null when there is none.
  const Vote* Featured() const;
  // Adds the room's votes to `counts`, each under its state.
  void CountVotes(VoteCounts& counts) const;

 private:
  Audience Apply(pugi::xml_node reply);
  Audience Refer(pugi::xml_node request, pugi::xml_node reply);
  Audience ShowAll(pugi::xml_node reply) const;
  Audience Content(pugi::xml_node request, pugi::xml_node reply);
  Audience Start(pugi::xml_node request, pugi::xml_node reply, TimePoint now);
  Audience End(pugi::xml_node request, pugi::xml_node reply);
  Audience CastBallot(const Member& sender, pugi::xml_node request, pugi::xml_node reply);
  Audience Tally(pugi::xml_node request, pugi::xml_node reply, bool final_only);
  Audience Delete(pugi::xml_node request, pugi::xml_node reply);

  Vote& FindVote(pugi::xml_node request);
  Vote& FindVote(const std::string& qid);
  void ChooseFeatured();

  Store& store_;
  std::string room_;
  std::map<std::string, Vote> votes_;
  std::uint64_t nextVoteId_;
  std::string featured_;  // empty for none
};

}  // namespace quenlo::server
