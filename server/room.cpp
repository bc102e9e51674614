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

// The requests that only read. Any other request that went through changed the room.
bool OnlyReads(std::string_view service, std::string_view type) {
  if (service == kVotingNamespace) {
    return type == "showall" || type == "content" || type == "kithe" || type == "result";
  }
  return service == kAgendaNamespace && (type == "browse" || type == "request");
}

bool Oversized(const Delivery& delivery, std::size_t max_stanza_bytes) {
  return delivery.xml.size() > max_stanza_bytes;
}

}  // namespace

Room::Room(Store& store, const RoomRecord& record, std::size_t max_stanza_bytes,
           const PageAddressing& pages)
    : store_(store),
      maxStanzaBytes_(max_stanza_bytes),
      pages_(pages),
      address_(record.address),
      // An owner kept by an earlier version may have been stored as it was written.
      owner_(record.owner.empty() ? "" : PersonOf(record.owner)),
      pageToken_(record.page_token),
      members_(record.members),
      voting_(store, record.address, record.votes, record.next_vote_id),
      agenda_(store, record.address, Agenda(record.agenda, record.in_progress)) {}

void Room::SetOwner(const std::string& owner) {
  const std::string person = PersonOf(owner);
  store_.SaveRoom(address_, person);
  owner_ = person;
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
  const std::size_t answer = deliveries.size();
  bool changed = false;
  try {
    const Member& sender = FindMember(sender_address);
    const pugi::xml_node request = iq.child("query");
    if (!request) throw RequestError(ErrorCode::kMalformedRequest, "missing element query");
    CheckAllowed(sender, request);
    pugi::xml_document written;
    const pugi::xml_node reply = AppendReplyQuery(written, request);
    const Audience audience = Dispatch(sender, request, reply, now);
    changed = !OnlyReads(request.attribute("xmlns").value(), request.attribute("type").value());
    deliveries.push_back(MakeIq("result", address_, sender.address, IdOf(iq), reply));
    if (audience == Audience::kRoom) Push(reply, sender.address, deliveries);
  } catch (const RequestError& error) {
    deliveries.push_back(MakeErrorReply(address_, sender_address, iq, error));
  }
  // A reply the XMPP server would refuse must not leave: it would cost the service its
  // connection, for every room. The request is refused instead, and a change it made is undone
  // by the caller, so that nobody is told of a change its author was told failed.
  const Delivery& reply = deliveries[answer];
  if (Oversized(reply, maxStanzaBytes_)) {
    const RequestError error(ErrorCode::kAnswerTooLarge,
                             "the answer would take " + std::to_string(reply.xml.size()) +
                                 " bytes, over the limit of " + std::to_string(maxStanzaBytes_));
    if (changed) throw error;
    deliveries.resize(answer);
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
  if (PersonOf(sender.address) != owner_) {
    throw RequestError(ErrorCode::kNotAllowed, "only the owner of " + address_ + " may do that");
  }
}

Audience Room::Dispatch(const Member& sender, pugi::xml_node request, pugi::xml_node reply,
                        TimePoint now) {
  const std::string_view service = request.attribute("xmlns").value();
  if (service == kVotingNamespace) return voting_.Handle(sender, request, reply, now);
  if (service == kAgendaNamespace) return agenda_.Handle(request, reply);
  if (service == kAdminNamespace) return Administer(request, reply);
  throw RequestError(ErrorCode::kUnknownRequestType,
                     "no service \"" + std::string(service) + "\" in this room");
}

Audience Room::Administer(pugi::xml_node request, pugi::xml_node reply) {
  const std::string_view type = request.attribute("type").value();
  if (type == "owner") {
    HandOver(request, reply);
  } else if (type == "page") {
    GivePage(request, reply);
  } else if (type == "tally") {
    const std::string qid = RequiredText(request, "qid");
    const bool hidden = ReadFlag(request, "hidden");
    voting_.HideTally(qid, hidden);
    AppendText(reply, "qid", qid);
    AppendText(reply, "hidden", hidden ? "true" : "false");
  } else {
    throw RequestError(ErrorCode::kUnknownRequestType,
                       "unknown admin request \"" + std::string(type) + "\"");
  }
  return Audience::kSender;
}

// The page's address, made on the first request; "renew" replaces it, and the old address then
// leads nowhere.
void Room::GivePage(pugi::xml_node request, pugi::xml_node reply) {
  if (pages_.base_url.empty()) {
    throw RequestError(ErrorCode::kNoPages, "this service serves no room pages");
  }
  if (pageToken_.empty() || ReadFlag(request, "renew")) {
    std::string token = pages_.new_token();
    store_.SavePageToken(address_, token);
    pageToken_ = std::move(token);
  }
  AppendText(reply, "address", pages_.AddressOf(pageToken_));
}

void Room::HandOver(pugi::xml_node request, pugi::xml_node reply) {
  const std::string named = RequiredText(request, "owner");
  const std::optional<std::string> normalized = NormalizedAddress(named);
  if (!normalized) {
    throw RequestError(ErrorCode::kMalformedRequest, named + " is not an XMPP address");
  }
  const std::string successor = BareAddress(*normalized);
  const bool present = std::any_of(members_.begin(), members_.end(), [&](const Member& p) {
    return PersonOf(p.address) == successor;
  });
  if (!present) {
    throw RequestError(ErrorCode::kOwnerNotPresent,
                       successor + " is not in " + address_ + " and cannot own it");
  }
  SetOwner(successor);
  AppendText(reply, "owner", owner_);
}

RoomPage Room::Page() const {
  RoomPage page;
  page.room = address_;
  page.agenda = agenda_.agenda().items();
  if (const AgendaItem* item = agenda_.agenda().InProgress()) page.in_progress = item->qid;
  std::vector<std::string> present;
  for (const Member& member : members_) present.push_back(BareAddress(member.address));
  if (const Vote* vote = voting_.Featured()) {
    page.vote = MakePageVote(*vote, present, page.members);
  } else {
    page.members = std::set<std::string>(present.begin(), present.end()).size();
  }
  return page;
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
  Delivery push = MakeIq("set", address_, address, id.c_str(), query);
  if (Oversized(push, maxStanzaBytes_)) {
    // The news still goes out, naming the vote or item; the rest is one request away.
    pugi::xml_document notice;
    push = MakeIq("set", address_, address, id.c_str(), AppendNotice(notice, query));
  }
  deliveries.push_back(std::move(push));
}

}  // namespace quenlo::server
