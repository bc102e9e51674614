#include "server/room.h"

#include <algorithm>
#include <string_view>
#include <utility>

#include "server/namespaces.h"
#include "server/packet_writer.h"
#include "server/request_error.h"

namespace quenlo::server {

Room::Room(std::string address) : address_(std::move(address)) {}

void Room::Join(const std::string& address, const std::string& name) {
  const auto known = std::find_if(participants_.begin(), participants_.end(),
                                  [&](const Participant& p) { return p.address == address; });
  if (known != participants_.end()) {
    known->name = name;
  } else {
    participants_.push_back({address, name});
  }
}

bool Room::Leave(const std::string& address) {
  return std::erase_if(participants_, [&](const Participant& p) { return p.address == address; }) >
         0;
}

std::vector<Delivery> Room::Handle(const std::string& sender_address, pugi::xml_node iq,
                                   TimePoint now) {
  std::vector<Delivery> deliveries = EndExpiredVotes(now);
  try {
    const Participant& sender = FindParticipant(sender_address);
    const pugi::xml_node request = iq.child("query");
    if (!request) throw RequestError(ErrorCode::kMalformedRequest, "missing element query");
    pugi::xml_document answer;
    const pugi::xml_node reply = AppendReplyQuery(answer, request);
    const Audience audience = Dispatch(sender, request, reply, now);
    deliveries.push_back(
        MakeIq("result", address_, sender.address, iq.attribute("id").value(), reply));
    if (audience == Audience::kRoom) Push(reply, sender.address, deliveries);
  } catch (const RequestError& error) {
    deliveries.push_back(MakeErrorReply(address_, sender_address, iq, error));
  }
  return deliveries;
}

std::vector<Delivery> Room::EndExpiredVotes(TimePoint now) {
  pugi::xml_document notices;
  voting_.EndExpired(now, notices);
  std::vector<Delivery> deliveries;
  for (const pugi::xml_node query : notices.children()) Push(query, "", deliveries);
  return deliveries;
}

const Participant& Room::FindParticipant(const std::string& address) const {
  const auto participant = std::find_if(participants_.begin(), participants_.end(),
                                        [&](const Participant& p) { return p.address == address; });
  if (participant == participants_.end()) {
    throw RequestError(ErrorCode::kNotParticipant, address + " has not joined " + address_);
  }
  return *participant;
}

Audience Room::Dispatch(const Participant& sender, pugi::xml_node request, pugi::xml_node reply,
                        TimePoint now) {
  const std::string_view service = request.attribute("xmlns").value();
  if (service == kVotingNamespace) return voting_.Handle(sender, request, reply, now);
  if (service == kAgendaNamespace) return agenda_.Handle(request, reply);
  throw RequestError(ErrorCode::kUnknownRequestType,
                     "no service \"" + std::string(service) + "\" in this room");
}

void Room::Push(pugi::xml_node query, const std::string& except,
                std::vector<Delivery>& deliveries) {
  for (const Participant& participant : participants_) {
    if (participant.address == except) continue;
    const std::string id = "push-" + std::to_string(next_push_id_++);
    deliveries.push_back(MakeIq("set", address_, participant.address, id, query));
  }
}

}  // namespace quenlo::server
