#include "server/xmpp/xmpp_gateway.h"

#include <algorithm>
#include <string_view>

#include "server/namespaces.h"
#include "xmpp/jid.h"
#include "xmpp/stanza.h"

namespace quenlo::server {
namespace {

constexpr char kMucUserNamespace[] = "http://jabber.org/protocol/muc#user";
constexpr char kNickNamespace[] = "http://jabber.org/protocol/nick";
constexpr char kPingNamespace[] = "urn:xmpp:ping";
constexpr char kStanzaErrorNamespace[] = "urn:ietf:params:xml:ns:xmpp-stanzas";

// How long a member the store kept has to answer its check. No answer at all means something at
// that address takes stanzas without answering them (an XMPP server answers for an address with
// nobody behind it at once), so the member is kept then too.
constexpr auto kCheckTime = std::chrono::seconds(2);

// The stanza-error condition of an error answer; empty when it names none.
std::string ErrorCondition(xmpp_stanza_t* answer) {
  xmpp_stanza_t* error = xmpp_stanza_get_child_by_name(answer, "error");
  for (xmpp_stanza_t* child = error == nullptr ? nullptr : xmpp_stanza_get_children(error);
       child != nullptr; child = xmpp_stanza_get_next(child)) {
    const char* name = xmpp_stanza_get_name(child);
    if (name != nullptr && xmpp_stanza_is_tag(child) &&
        xmpp::AttributeOf(child, "xmlns") == kStanzaErrorNamespace &&
        std::string_view(name) != "text") {
      return name;
    }
  }
  return {};
}

// Whether the error answer to a member's check says nobody is at that address any more. The
// XMPP server answers service-unavailable for a resource that is offline (Prosody, ejabberd), and
// the other conditions for an account or a server that cannot be reached. Any other error came
// from the client itself, which is therefore there.
bool SaysGone(const std::string& condition) {
  return condition == "service-unavailable" || condition == "recipient-unavailable" ||
         condition == "item-not-found" || condition == "remote-server-not-found" ||
         condition == "remote-server-timeout";
}

// Packets the service drops unread get an XMPP error instead of the service's answer.
StanzaError StanzaErrorFor(ConferenceServer::Drop drop) {
  if (drop == ConferenceServer::Drop::kTooLarge) return {"modify", "not-acceptable"};
  return {"modify", "bad-request"};
}

// Joins the service turns away get presence errors in MUC's terms.
StanzaError StanzaErrorFor(ConferenceServer::JoinRefusal refusal) {
  switch (refusal) {
    case ConferenceServer::JoinRefusal::kNameTooLong:
      return {"modify", "not-acceptable"};
    case ConferenceServer::JoinRefusal::kNotStored:
      return {"wait", "internal-server-error"};
    default:
      return {"cancel", "item-not-found"};
  }
}

std::string_view DescribeRefusal(ConferenceServer::JoinRefusal refusal) {
  switch (refusal) {
    case ConferenceServer::JoinRefusal::kNameTooLong:
      return "its name is too long";
    case ConferenceServer::JoinRefusal::kNotStored:
      return "the store failed";
    default:
      return "no such room";
  }
}

// Outcomes as the metrics count them.
std::string_view OutcomeOf(ConferenceServer::JoinRefusal refusal) {
  switch (refusal) {
    case ConferenceServer::JoinRefusal::kNameTooLong:
      return "name_too_long";
    case ConferenceServer::JoinRefusal::kNotStored:
      return "not_stored";
    default:
      return "unknown_room";
  }
}

std::string_view OutcomeOf(ConferenceServer::Drop drop) {
  switch (drop) {
    case ConferenceServer::Drop::kTooLarge:
      return "too_large";
    case ConferenceServer::Drop::kMalformed:
      return "malformed";
    default:
      return "not_request";
  }
}

// The service's answer is its one error reply's code, or ok; pushes are never refusals.
std::string_view OutcomeOf(const std::vector<Delivery>& deliveries) {
  for (const Delivery& delivery : deliveries) {
    if (delivery.refusal) return ErrorCodeName(*delivery.refusal);
  }
  return "ok";
}

// A request's kind, as the metrics count it: the service its query's namespace names, a ping,
// or "other" (no child, or one of no namespace the service knows).
std::string_view KindOf(xmpp_stanza_t* iq) {
  for (xmpp_stanza_t* child = xmpp_stanza_get_children(iq); child != nullptr;
       child = xmpp_stanza_get_next(child)) {
    if (!xmpp_stanza_is_tag(child)) continue;
    const std::string_view space = xmpp::AttributeOf(child, "xmlns");
    if (space == kVotingNamespace) return "voting";
    if (space == kAgendaNamespace) return "agenda";
    if (space == kAdminNamespace) return "admin";
    if (space == kPingNamespace) return "ping";
    return "other";
  }
  return "other";
}

std::string_view DescribeDrop(ConferenceServer::Drop drop) {
  switch (drop) {
    case ConferenceServer::Drop::kTooLarge:
      return "over the size limit";
    case ConferenceServer::Drop::kMalformed:
      return "malformed";
    default:
      return "not a request";
  }
}

// The voter name of a joining participant: the nick element when it has one, else the nick of
// the occupant address.
std::string VoterName(xmpp_stanza_t* presence, const std::string& occupant_nick) {
  xmpp_stanza_t* nick = xmpp_stanza_get_child_by_name_and_ns(presence, "nick", kNickNamespace);
  if (nick != nullptr) {
    char* text = xmpp_stanza_get_text(nick);
    if (text != nullptr) {
      std::string name(text);
      xmpp_free(xmpp_stanza_get_context(presence), text);
      if (!name.empty()) return name;
    }
  }
  return occupant_nick;
}

}  // namespace

XmppGateway::XmppGateway(ConferenceServer& service, xmpp::Connection& connection,
                         const ServiceLog& log, ServiceMetrics* metrics)
    : service_(service), connection_(connection), log_(log), metrics_(metrics) {
  connection_.OnStanza("iq", [this](xmpp_stanza_t* iq) { HandleIq(iq); });
  connection_.OnStanza("presence", [this](xmpp_stanza_t* presence) { HandlePresence(presence); });
}

void XmppGateway::Tick() {
  Deliver(service_.Tick());
  const auto now = std::chrono::steady_clock::now();
  for (auto check = checks_.begin(); check != checks_.end();) {
    auto next = std::next(check);
    if (now >= check->second.deadline) EndCheck(check, true, "no answer");
    check = next;
  }
}

void XmppGateway::CheckMembers() {
  const auto deadline = std::chrono::steady_clock::now() + kCheckTime;
  for (auto& [room, member] : service_.Members()) {
    const std::string id = "check-" + std::to_string(nextCheckId_++);
    xmpp_ctx_t* context = connection_.context();
    const xmpp::Stanza ping(xmpp_iq_new(context, "get", id.c_str()));
    xmpp_stanza_set_from(ping.get(), (room + "/" + member.nick).c_str());
    xmpp_stanza_set_to(ping.get(), member.address.c_str());
    const xmpp::Stanza body(xmpp_stanza_new(context));
    xmpp_stanza_set_name(body.get(), "ping");
    xmpp_stanza_set_ns(body.get(), kPingNamespace);
    xmpp_stanza_add_child(ping.get(), body.get());
    Send(xmpp::ToText(ping.get()));
    checks_.emplace(id, Check{room, std::move(member), deadline});
  }
  if (!checks_.empty()) log_.Event("checking " + std::to_string(checks_.size()) + " members");
}

void XmppGateway::SayGoodbye() {
  for (const auto& [room, member] : service_.Members()) {
    SendSelfPresence(room + "/" + member.nick, member.address, false, "332");
  }
}

void XmppGateway::HandleCheckAnswer(xmpp_stanza_t* answer) {
  const auto check = checks_.find(std::string(xmpp::AttributeOf(answer, "id")));
  if (check == checks_.end() || xmpp::AttributeOf(answer, "from") != check->second.member.address) {
    return;
  }
  if (xmpp::AttributeOf(answer, "type") != "error") {
    EndCheck(check, true, "answered");
    return;
  }
  const std::string condition = ErrorCondition(answer);
  EndCheck(check, !SaysGone(condition), condition);
}

void XmppGateway::EndCheck(std::map<std::string, Check>::iterator check, bool present,
                           const std::string& answer) {
  const Check ended = std::move(check->second);
  checks_.erase(check);
  const Member& member = ended.member;
  if (!present) {
    if (service_.Leave(ended.room, member.address)) {
      log_.Event(member.address + " has gone from " + ended.room + " (" + answer + ")");
    }
    return;
  }
  const auto missed = service_.Join(ended.room, member.address, member.name, member.nick);
  if (!missed) return;  // the store refused it: the member stays as the store has it
  log_.Event(member.address + " is still in " + ended.room + " as " + member.nick + " (" + answer +
             ")");
  SendSelfPresence(ended.room + "/" + member.nick, member.address, true);
  Deliver(*missed);
}

void XmppGateway::ForgetCheck(const std::string& room, const std::string& address) {
  std::erase_if(checks_, [&](const auto& check) {
    return check.second.room == room && check.second.member.address == address;
  });
}

void XmppGateway::HandleIq(xmpp_stanza_t* iq) {
  const std::string_view type = xmpp::AttributeOf(iq, "type");
  // Answers are never answered, or two parties could bounce errors at each other for ever.
  if (type == "result" || type == "error") HandleCheckAnswer(iq);
  if (type != "get" && type != "set") return;
  const auto started = std::chrono::steady_clock::now();
  const std::string_view outcome = HandleRequest(iq);
  if (metrics_ != nullptr) {
    metrics_->CountRequest(KindOf(iq), outcome, std::chrono::steady_clock::now() - started);
  }
}

std::string_view XmppGateway::HandleRequest(xmpp_stanza_t* iq) {
  const std::string_view type = xmpp::AttributeOf(iq, "type");
  const std::string from(xmpp::AttributeOf(iq, "from"));
  const xmpp::Jid to = xmpp::Jid::Parse(xmpp::AttributeOf(iq, "to"));
  if (to.node.empty()) {
    Refuse(iq, "cancel", "service-unavailable", "iq for " + to.Bare() + " which is not a room");
    return "not_a_room";
  }
  if (!to.resource.empty()) return HandleOccupantIq(iq, to);
  const std::string text = xmpp::ToText(iq);
  ConferenceServer::Drop drop = ConferenceServer::Drop::kNone;
  std::vector<Delivery> deliveries = service_.Receive(from, text, &drop);
  if (drop != ConferenceServer::Drop::kNone) {
    const StanzaError error = StanzaErrorFor(drop);
    Refuse(iq, error.type, error.condition,
           "iq from " + from + " " + std::string(DescribeDrop(drop)));
    return OutcomeOf(drop);
  }
  log_.Detail("iq " + std::string(type) + " from " + from + " to " + to.Bare());
  Deliver(deliveries);
  return OutcomeOf(deliveries);
}

// An iq to an occupant address. A member pinging itself there (group chat self-pings) learns it
// is still in; anyone who is no member of the room is told it is not an occupant; nothing is
// relayed between occupants.
std::string_view XmppGateway::HandleOccupantIq(xmpp_stanza_t* iq, const xmpp::Jid& occupant) {
  const std::string_view from = xmpp::AttributeOf(iq, "from");
  const std::string room = occupant.Bare();
  const Member* self = nullptr;
  const auto members = service_.Members();
  for (const auto& [address, member] : members) {
    if (address == room && member.address == from) self = &member;
  }
  if (self == nullptr) {
    Refuse(iq, "cancel", "not-acceptable", "iq from " + std::string(from) + " not in " + room);
    return "not_occupant";
  }
  if (self->nick != occupant.resource ||
      xmpp_stanza_get_child_by_name_and_ns(iq, "ping", kPingNamespace) == nullptr) {
    Refuse(iq, "cancel", "service-unavailable",
           "iq for " + room + "/" + occupant.resource + " (iqs are not relayed)");
    return "not_relayed";
  }
  const xmpp::Stanza pong(xmpp_stanza_reply(iq));  // addressed back, without the ping
  xmpp_stanza_set_from(pong.get(), xmpp_stanza_get_to(iq));
  xmpp_stanza_set_type(pong.get(), "result");
  Send(xmpp::ToText(pong.get()));
  return "ok";
}

void XmppGateway::HandlePresence(xmpp_stanza_t* presence) {
  const std::string_view type = xmpp::AttributeOf(presence, "type");
  if (!type.empty() && type != "unavailable") return;  // probes, subscriptions and errors
  const auto started = std::chrono::steady_clock::now();
  const std::string from(xmpp::AttributeOf(presence, "from"));
  const xmpp::Jid occupant = xmpp::Jid::Parse(xmpp::AttributeOf(presence, "to"));
  std::string_view outcome = "ok";
  if (occupant.node.empty() || occupant.resource.empty()) {
    if (type.empty()) {
      Refuse(presence, "modify", "jid-malformed", "presence from " + from + " without a nick");
    }
    outcome = "no_nick";
  } else if (type == "unavailable") {
    const std::string room = occupant.Bare();
    ForgetCheck(room, from);
    if (service_.Leave(room, from)) log_.Event(from + " left " + room);
    SendSelfPresence(room + "/" + occupant.resource, from, false);
  } else {
    outcome = HandleJoin(presence, occupant);
  }
  if (metrics_ != nullptr) {
    metrics_->CountRequest(type.empty() ? "join" : "leave", outcome,
                           std::chrono::steady_clock::now() - started);
  }
}

std::string_view XmppGateway::HandleJoin(xmpp_stanza_t* presence, const xmpp::Jid& occupant) {
  const std::string from(xmpp::AttributeOf(presence, "from"));
  const std::string room = occupant.Bare();
  const std::string occupant_address = room + "/" + occupant.resource;
  ForgetCheck(room, from);
  service_.OpenRoom(room);  // false only means the room is open already
  ConferenceServer::JoinRefusal refusal = ConferenceServer::JoinRefusal::kNone;
  const auto missed = service_.Join(room, from, VoterName(presence, occupant.resource),
                                    occupant.resource, &refusal);
  if (!missed) {
    const StanzaError error = StanzaErrorFor(refusal);
    Refuse(presence, error.type, error.condition,
           "join of " + from + " to " + room + ": " + std::string(DescribeRefusal(refusal)));
    return OutcomeOf(refusal);
  }
  log_.Event(from + " joined " + room + " as " + occupant.resource);
  SendSelfPresence(occupant_address, from, true);
  // Votes that ended while the service was down are announced once the participant is back in.
  Deliver(*missed);
  return "ok";
}

void XmppGateway::Refuse(xmpp_stanza_t* request, const char* error_type, const char* condition,
                         const std::string& why) {
  log_.Event("refused " + why + " (" + condition + ")");
  const xmpp::Stanza answer =
      xmpp::MakeErrorAnswer(connection_.context(), request, error_type, condition);
  Send(xmpp::ToText(answer.get()));
}

void XmppGateway::Deliver(const std::vector<Delivery>& deliveries) {
  // Replies, error replies and pushes leave as the service wrote them: one iq element from the
  // room, written by an XML writer, error replies with their stanza error already in place.
  for (const Delivery& delivery : deliveries) Send(delivery.xml);
}

void XmppGateway::Send(const std::string& xml) {
  // The XMPP server closes the connection of a component that sends a stanza over its limit,
  // cutting off every room; the service keeps its answers under the limit, and this is the last
  // guard for what it cannot shrink (an error answer carrying back a request's huge id).
  if (xml.size() > service_.max_stanza_bytes()) {
    log_.Failure("not sent: a stanza of " + std::to_string(xml.size()) +
                 " bytes, over the limit of " + std::to_string(service_.max_stanza_bytes()));
    return;
  }
  if (!xml.empty()) connection_.SendText(xml);
}

void XmppGateway::SendSelfPresence(const std::string& occupant, const std::string& to,
                                   bool available, const char* status) {
  xmpp_ctx_t* context = connection_.context();
  const xmpp::Stanza presence(xmpp_presence_new(context));
  xmpp_stanza_set_from(presence.get(), occupant.c_str());
  xmpp_stanza_set_to(presence.get(), to.c_str());
  if (!available) xmpp_stanza_set_type(presence.get(), "unavailable");
  const xmpp::Stanza x(xmpp_stanza_new(context));
  xmpp_stanza_set_name(x.get(), "x");
  xmpp_stanza_set_ns(x.get(), kMucUserNamespace);
  const xmpp::Stanza item(xmpp_stanza_new(context));
  xmpp_stanza_set_name(item.get(), "item");
  xmpp_stanza_set_attribute(item.get(), "affiliation", "none");
  xmpp_stanza_set_attribute(item.get(), "role", available ? "participant" : "none");
  xmpp_stanza_add_child(x.get(), item.get());
  // Status 110: this presence is about the recipient itself, which is how it knows it is in.
  const xmpp::Stanza self(xmpp_stanza_new(context));
  xmpp_stanza_set_name(self.get(), "status");
  xmpp_stanza_set_attribute(self.get(), "code", "110");
  xmpp_stanza_add_child(x.get(), self.get());
  if (status != nullptr) {
    const xmpp::Stanza reason(xmpp_stanza_new(context));
    xmpp_stanza_set_name(reason.get(), "status");
    xmpp_stanza_set_attribute(reason.get(), "code", status);
    xmpp_stanza_add_child(x.get(), reason.get());
  }
  xmpp_stanza_add_child(presence.get(), x.get());
  Send(xmpp::ToText(presence.get()));
}

}  // namespace quenlo::server
