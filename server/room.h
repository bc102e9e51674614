#pragma once

#include <cstdint>
#include <pugixml.hpp>
#include <string>
#include <vector>

#include "server/agenda_service.h"
#include "server/audience.h"
#include "server/clock.h"
#include "server/delivery.h"
#include "server/participant.h"
#include "server/voting_service.h"

namespace quenlo::server {

// One conference room: its participants and its voting and agenda services. Everything it
// sends comes "from" the room's address, which is what the module checks replies against.
class Room {
 public:
  explicit Room(std::string address);

  // Joining again under the same address only changes the display name.
  void Join(const std::string& address, const std::string& name);
  bool Leave(const std::string& address);

  // Answers one request iq of `sender_address`: the reply (or error reply) to the sender, then
  // the pushes to the others when the change concerns them. Votes whose time ran out are ended
  // first, so that a late request sees them ended, and their pushes come before the reply.
  std::vector<Delivery> Handle(const std::string& sender_address, pugi::xml_node iq, TimePoint now);

  // Ends the votes whose time ran out and pushes their end to every participant.
  std::vector<Delivery> EndExpiredVotes(TimePoint now);

 private:
  const Participant& FindParticipant(const std::string& address) const;
  Audience Dispatch(const Participant& sender, pugi::xml_node request, pugi::xml_node reply,
                    TimePoint now);
  // Sends `query` unasked to every participant but the one at `except` (none when empty).
  void Push(pugi::xml_node query, const std::string& except, std::vector<Delivery>& deliveries);

  std::string address_;
  std::vector<Participant> participants_;
  VotingService voting_;
  AgendaService agenda_;
  std::uint64_t next_push_id_ = 1;
};

}  // namespace quenlo::server
