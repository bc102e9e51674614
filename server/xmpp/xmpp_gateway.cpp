#include "server/xmpp/xmpp_gateway.h"

#include <string_view>

#include "xmpp/jid.h"
#include "xmpp/stanza.h"

namespace quenlo::server {
namespace {

constexpr char kMucUserNamespace[] = "http://jabber.org/protocol/muc#user";
constexpr char kNickNamespace[] = "http://jabber.org/protocol/nick";

// Packets the service drops unread get an XMPP error instead of the service's answer.
StanzaError StanzaErrorFor(ConferenceServer::Drop drop) {
  if (drop == ConferenceServer::Drop::kTooLarge) return {"modify", "not-acceptable"};
  return {"modify", "bad-request"};
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
                         const ServiceLog& log)
    : service_(service), connection_(connection), log_(log) {
  connection_.OnStanza("iq", [this](xmpp_stanza_t* iq) { HandleIq(iq); });
  connection_.OnStanza("presence", [this](xmpp_stanza_t* presence) { HandlePresence(presence); });
}

void XmppGateway::Tick() { Deliver(service_.Tick()); }

void XmppGateway::HandleIq(xmpp_stanza_t* iq) {
  const std::string_view type = xmpp::AttributeOf(iq, "type");
  // Answers are never answered, or two parties could bounce errors at each other for ever.
  if (type != "get" && type != "set") return;
  const std::string from(xmpp::AttributeOf(iq, "from"));
  const xmpp::Jid to = xmpp::Jid::Parse(xmpp::AttributeOf(iq, "to"));
  if (to.node.empty() || !to.resource.empty()) {
    Refuse(iq, "cancel", "service-unavailable", "iq for " + to.Bare() + " which is not a room");
    return;
  }
  const std::string text = xmpp::ToText(iq);
  ConferenceServer::Drop drop = ConferenceServer::Drop::kNone;
  std::vector<Delivery> deliveries = service_.Receive(from, text, &drop);
  if (drop != ConferenceServer::Drop::kNone) {
    const StanzaError error = StanzaErrorFor(drop);
    Refuse(iq, error.type, error.condition,
           "iq from " + from + " " + std::string(DescribeDrop(drop)));
    return;
  }
  log_.Detail("iq " + std::string(type) + " from " + from + " to " + to.Bare());
  Deliver(deliveries);
}

void XmppGateway::HandlePresence(xmpp_stanza_t* presence) {
  const std::string_view type = xmpp::AttributeOf(presence, "type");
  if (!type.empty() && type != "unavailable") return;  // probes, subscriptions and errors
  const std::string from(xmpp::AttributeOf(presence, "from"));
  const xmpp::Jid occupant = xmpp::Jid::Parse(xmpp::AttributeOf(presence, "to"));
  if (occupant.node.empty() || occupant.resource.empty()) {
    if (type.empty()) {
      Refuse(presence, "modify", "jid-malformed", "presence from " + from + " without a nick");
    }
    return;
  }
  const std::string room = occupant.Bare();
  const std::string occupant_address = room + "/" + occupant.resource;
  if (type == "unavailable") {
    if (service_.Leave(room, from)) log_.Event(from + " left " + room);
    SendSelfPresence(occupant_address, from, false);
    return;
  }
  service_.OpenRoom(room);  // false only means the room is open already
  const auto missed = service_.Join(room, from, VoterName(presence, occupant.resource));
  log_.Event(from + " joined " + room + " as " + occupant.resource);
  SendSelfPresence(occupant_address, from, true);
  // Votes that ended while the service was down are announced once the participant is back in.
  if (missed) Deliver(*missed);
}

void XmppGateway::Refuse(xmpp_stanza_t* request, const char* error_type, const char* condition,
                         const std::string& why) {
  log_.Event("refused " + why + " (" + condition + ")");
  const xmpp::Stanza answer =
      xmpp::MakeErrorAnswer(connection_.context(), request, error_type, condition);
  connection_.Send(answer.get());
}

void XmppGateway::Deliver(const std::vector<Delivery>& deliveries) {
  // Replies, error replies and pushes leave as the service wrote them: one iq element from the
  // room, written by an XML writer, error replies with their stanza error already in place.
  for (const Delivery& delivery : deliveries) connection_.SendText(delivery.xml);
}

void XmppGateway::SendSelfPresence(const std::string& occupant, const std::string& to,
                                   bool available) {
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
  const xmpp::Stanza status(xmpp_stanza_new(context));
  xmpp_stanza_set_name(status.get(), "status");
  xmpp_stanza_set_attribute(status.get(), "code", "110");
  xmpp_stanza_add_child(x.get(), status.get());
  xmpp_stanza_add_child(presence.get(), x.get());
  connection_.Send(presence.get());
}

}  // namespace quenlo::server
