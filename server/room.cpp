#include "server/room.h"

#include <algorithm>
#include <string_view>
#include <utility>

#include "server/address.h"
#include "server/namespaces.h"
#include "server/packet_reader.h"
#include "server/packet_writer.h"
#include "server/request_error.h"

namespace quenlo::server {
namespace {

// The requests that run the meeting rather than take part in it.
bool OnlyForOwner(std::string_view service, std::string_view type) {
  if (service == kVotingNamespace) {
    return type == "apply" || type == "refer" || type == "start" || type == "end" ||
           type == "delete";
  }
  if (service == kAgendaNamespace) {
    return type == "create" || type == "modify" || type == "delete" || type == "sync";
  }
  return service == kAdminNamespace;
}

}  // namespace

Room::Room(Store& store, const RoomRecord& record)
    : store_(store),
      address_(record.address),
      owner_(record.owner),
      members_(record.members),
      voting_(store, record.address, record.votes, record.next_vote_id),
      agenda_(store, record.address, Agenda(record.agenda, record.in_progress)) {}

void Room::SetOwner(const std::string& owner) {
  const std::string bare = BareAddress(owner);
  store_.SaveRoom(address_, bare);
  owner_ = bare;
}

std::vector<Delivery> Room::Join(const Member& member) {
  const std::string& address = member.address;
  if (owner_.empty()) SetOwner(address);
  store_.SaveMember(address_, member);
  const auto known = std::find_if(members_.begin(), members_.end(),
                                  [&](const Member& p) { return p.address == address; });
  if (known != members_.end()) {
    *known = member;
  } else {
    members_.push_back(member);
  }
  std::vector<Delivery> deliveries;
  if (missedEnds_.first_child() && toldOfMissedEnds_.insert(address).second) {
    for (const pugi::xml_node query : missedEnds_.children()) PushTo(query, address, deliveries);
  }
  return deliveries;
}

bool Room::Leave(const std::string& address) {
  const auto known = std::find_if(members_.begin(), members_.end(),
                                  [&](const Member& p) { return p.address == address; });
  if (known == members_.end()) return false;
  store_.DeleteMember(address_, address);
  members_.erase(known);
  return true;
}

void Room::TakeOverFrom(Room& previous) {
  nextPushId_ = previous.nextPushId_;
  missedEnds_.reset(previous.missedEnds_);
  toldOfMissedEnds_ = std::move(previous.toldOfMissedEnds_);
}

std::vector<Delivery> Room::Handle(const std::string& sender_address, pugi::xml_node iq,
                                   TimePoint now) {
  std::vector<Delivery> deliveries = EndExpiredVotes(now);
  try {
    const Member& sender = FindMember(sender_address);
    const pugi::xml_node request = iq.child("query");
    if (!request) throw RequestError(ErrorCode::kMalformedRequest, "missing element query");
    CheckAllowed(sender, request);
    pugi::xml_document answer;
    const pugi::xml_node reply = AppendReplyQuery(answer, request);
    const Audience audience = Dispatch(sender, request, reply, now);
    deliveries.push_back(MakeIq("result", address_, sender.address, IdOf(iq), reply));
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

void Room::EndVotesExpiredWhileDown(TimePoint now) { voting_.EndExpired(now, missedEnds_); }

const Member& Room::FindMember(const std::string& address) const {
  const auto member = std::find_if(members_.begin(), members_.end(),
                                   [&](const Member& p) { return p.address == address; });
  if (member == members_.end()) {
    throw RequestError(ErrorCode::kNotMember, address + " has not joined " + address_);
  }
  return *member;
}

void Room::CheckAllowed(const Member& sender, pugi::xml_node request) const {
  if (!OnlyForOwner(request.attribute("xmlns").value(), request.attribute("type").value())) return;
  if (BareAddress(sender.address) != owner_) {
    throw RequestError(ErrorCode::kNotAllowed, "only the owner of " + address_ + " may do that");
  }
}

Audience Room::Dispatch(const Member& sender, pugi::xml_node request, pugi::xml_node reply,
                        TimePoint now) {
  const std::string_view service = request.attribute("xmlns").value();
  if (service == kVotingNamespace) return voting_.Handle(sender, request, reply, now);
  if (service == kAgendaNamespace) return agenda_.Handle(request, reply);
  if (service == kAdminNamespace) return HandOver(request, reply);
  throw RequestError(ErrorCode::kUnknownRequestType,
                     "no service \"" + std::string(service) + "\" in this room");
}

Audience Room::HandOver(pugi::xml_node request, pugi::xml_node reply) {
  const std::string_view type = request.attribute("type").value();
  if (type != "owner") {
    throw RequestError(ErrorCode::kUnknownRequestType,
                       "unknown admin request \"" + std::string(type) + "\"");
  }
  const std::string successor = BareAddress(RequiredText(request, "owner"));
  const bool present = std::any_of(members_.begin(), members_.end(), [&](const Member& p) {
    return BareAddress(p.address) == successor;
  });
  if (!present) {
    throw RequestError(ErrorCode::kOwnerNotPresent,
                       successor + " is not in " + address_ + " and cannot own it");
  }
  SetOwner(successor);
  AppendText(reply, "owner", owner_);
  return Audience::kSender;
}

void Room::Push(pugi::xml_node query, const std::string& except,
                std::vector<Delivery>& deliveries) {
  for (const Member& member : members_) {
    if (member.address != except) PushTo(query, member.address, deliveries);
  }
}

void Room::PushTo(pugi::xml_node query, const std::string& address,
                  std::vector<Delivery>& deliveries) {
  const std::string id = "push-" + std::to_string(nextPushId_++);
  deliveries.push_back(MakeIq("set", address_, address, id.c_str(), query));
}

}  // namespace quenlo::server
