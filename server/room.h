#pragma once

#include <cstdint>
#include <pugixml.hpp>
#include <set>
#include <string>
#include <vector>

#include "server/agenda_service.h"
#include "server/audience.h"
#include "server/clock.h"
#include "server/delivery.h"
#include "server/member.h"
#include "server/page_token.h"
#include "server/room_page.h"
#include "server/store.h"
#include "server/voting_service.h"

namespace quenlo::server {

// One conference room: its owner, its participants and its voting and agenda services.
// Everything it sends comes "from" the room's address, which is what the module checks replies
// against. Only the owner runs the meeting (votes and agenda items change at their request);
// every participant reads and votes.
class Room {
 public:
  // The room as `record` keeps it; every change is recorded in `store`. Nothing it sends is
  // larger than `max_stanza_bytes`. `pages` says
  // where the room's page is served.
  Room(Store& store, const RoomRecord& record, std::size_t max_stanza_bytes,
       const PageAddressing& pages);

  const std::string& address() const { return address_; }
  // The secret part of the room page's address; empty until the owner asks for the page.
  const std::string& page_token() const { return pageToken_; }
  // What the room's page shows now.
  RoomPage Page() const;
  // The owner's normalised bare address (see NormalizedAddress).
  const std::string& owner() const { return owner_; }
  // `owner` is an address; the room keeps its normalised bare form.
  void SetOwner(const std::string& owner);

  // Joining again under the same address only changes the name and nick. The first to join a
  // room without owner becomes its owner. Gives the pushes the member missed: the votes that ran
  // out while the service was down, once.
  std::vector<Delivery> Join(const Member& member);
  bool Leave(const std::string& address);
  // Who is here, in the order they joined (as the store keeps them).
  const std::vector<Member>& members() const { return members_; }
  // Adds the room's votes to `counts`, each under its state.
  void CountVotes(VoteCounts& counts) const { voting_.CountVotes(counts); }
  // Carries over what the store does not keep (push identifiers, the ends missed while the
  // service was down and who has been told of them) from the room this one replaces on reload.
  void TakeOverFrom(Room& previous);

  // Answers one request iq of `sender_address`: the reply (or error reply) to the sender, then
  // the pushes to the others when the change concerns them. Votes whose time ran out are ended
  // first, so that a late request sees them ended, and their pushes come before the reply.
  // A reply over the size limit becomes an error reply (code 7); when the request changed the
  // room, that RequestError is thrown instead, for the caller to undo the change. A push over
  // the limit goes out as its notice (AppendNotice).
  std::vector<Delivery> Handle(const std::string& sender_address, pugi::xml_node iq, TimePoint now);

  // Ends the votes whose time ran out and pushes their end to every participant.
  std::vector<Delivery> EndExpiredVotes(TimePoint now);
  // The same on start-up, when nobody has joined yet: the ends are kept for those who join.
  void EndVotesExpiredWhileDown(TimePoint now);

 private:
  const Member& FindMember(const std::string& address) const;
  void CheckAllowed(const Member& sender, pugi::xml_node request) const;
  Audience Dispatch(const Member& sender, pugi::xml_node request, pugi::xml_node reply,
                    TimePoint now);
  Audience Administer(pugi::xml_node request, pugi::xml_node reply);
  void HandOver(pugi::xml_node request, pugi::xml_node reply);
  void GivePage(pugi::xml_node request, pugi::xml_node reply);
  // Sends `query` unasked to every participant but the one at `except` (none when empty).
  void Push(pugi::xml_node query, const std::string& except, std::vector<Delivery>& deliveries);
  void PushTo(pugi::xml_node query, const std::string& address, std::vector<Delivery>& deliveries);

  Store& store_;
  std::size_t maxStanzaBytes_;
  const PageAddressing& pages_;
  std::string address_;
  std::string owner_;
  std::string pageToken_;
  std::vector<Member> members_;
  VotingService voting_;
  AgendaService agenda_;
  std::uint64_t nextPushId_ = 1;
  // Ends of votes that ran out while the service was down, and who has been told of them.
  pugi::xml_document missedEnds_;
  std::set<std::string> toldOfMissedEnds_;
};

}  // namespace quenlo::server
