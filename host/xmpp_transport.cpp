#include "host/xmpp_transport.h"

#include <strophe.h>

#include "host/host_error.h"
#include "xmpp/connection.h"
#include "xmpp/jid.h"
#include "xmpp/stanza.h"

namespace quenlo::host {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr char kNickNamespace[] = "http://jabber.org/protocol/nick";

std::string BareOf(std::string_view jid) { return xmpp::Jid::Parse(jid).Bare(); }

}  // namespace

XmppTransport::XmppTransport(XmppAccount account)
    : account_(std::move(account)),
      context_(std::make_unique<xmpp::Context>()),
      connection_(std::make_unique<xmpp::Connection>(*context_)) {
  connection_->OnStanza("iq", [this](xmpp_stanza_t* iq) { HandleIq(iq); });
  connection_->OnStanza("presence", [this](xmpp_stanza_t* presence) { HandlePresence(presence); });
  connection_->OnLink([this](xmpp::LinkEvent event, const std::string& reason) {
    if (event == xmpp::LinkEvent::kDisconnected) {
      joined_ = false;
      // libstrophe gives no reason for a refused login or an unreachable server.
      if (!reason.empty()) {
        refusal_ = reason;
      } else {
        refusal_ = loggedIn_ ? "the XMPP server closed the connection"
                             : "no server there, or the account or password refused";
      }
    }
  });
}

XmppTransport::~XmppTransport() {
  if (receiver_ != nullptr) Disconnect(endpoint_.address);
}

void XmppTransport::Connect(const Endpoint& endpoint, PacketReceiver& receiver) {
  if (receiver_ != nullptr) throw HostError("this XMPP transport carries one participant only");
  endpoint_ = endpoint;
  occupant_ = endpoint.room + "/" + endpoint.display_name;
  refusal_.clear();
  const std::string where = account_.host + ":" + std::to_string(account_.port);
  if (!connection_->ConnectClient(account_.host, account_.port, account_.jid, account_.password)) {
    throw HostError("cannot connect to " + where);
  }
  const auto until = Clock::now() + kJoinTimeout;
  while (!connection_->connected() && refusal_.empty() && Clock::now() < until) {
    context_->RunOnce(20ms);
  }
  if (!connection_->connected()) {
    throw HostError(account_.jid + " cannot log in at " + where + ": " +
                    (refusal_.empty() ? "no answer" : refusal_));
  }

  loggedIn_ = true;
  receiver_ = &receiver;
  const xmpp::Stanza presence(xmpp_presence_new(context_->get()));
  xmpp_stanza_set_to(presence.get(), occupant_.c_str());
  const xmpp::Stanza nick(xmpp_stanza_new(context_->get()));
  xmpp_stanza_set_name(nick.get(), "nick");
  xmpp_stanza_set_ns(nick.get(), kNickNamespace);
  const xmpp::Stanza nick_text(xmpp_stanza_new(context_->get()));
  xmpp_stanza_set_text(nick_text.get(), endpoint.display_name.c_str());
  xmpp_stanza_add_child(nick.get(), nick_text.get());
  xmpp_stanza_add_child(presence.get(), nick.get());
  SendStanza(presence.get());
  while (!joined_ && refusal_.empty() && Clock::now() < until) context_->RunOnce(20ms);
  if (!joined_) {
    receiver_ = nullptr;
    connection_->Disconnect();
    throw HostError("cannot join " + endpoint.room + ": " +
                    (refusal_.empty() ? "the room did not answer" : refusal_));
  }
}

void XmppTransport::Disconnect(const std::string& address) {
  if (receiver_ == nullptr || address != endpoint_.address) return;
  if (connection_->connected()) {
    const xmpp::Stanza presence(xmpp_presence_new(context_->get()));
    xmpp_stanza_set_to(presence.get(), occupant_.c_str());
    xmpp_stanza_set_type(presence.get(), "unavailable");
    SendStanza(presence.get());
    connection_->Disconnect();
    const auto until = Clock::now() + 2s;
    while (!connection_->disconnected() && Clock::now() < until) context_->RunOnce(20ms);
  }
  receiver_ = nullptr;
  joined_ = false;
  awaitedIds_.clear();
}

void XmppTransport::Send(const std::string&, std::string xml) {
  const xmpp::Stanza stanza =
      connection_->connected() ? xmpp::FromText(context_->get(), xml) : xmpp::Stanza();
  if (stanza == nullptr) {
    ++unsent_;
    return;
  }
  const std::string_view type = xmpp::AttributeOf(stanza.get(), "type");
  if (type == "get" || type == "set") {
    awaitedIds_.insert(std::string(xmpp::AttributeOf(stanza.get(), "id")));
  }
  SendStanza(stanza.get());
}

bool XmppTransport::connected() const { return connection_->connected(); }

std::size_t XmppTransport::Pump(std::chrono::milliseconds timeout) {
  const std::size_t before = delivered_;
  context_->RunOnce(timeout);
  return delivered_ - before;
}

bool XmppTransport::Settle(std::chrono::milliseconds quiet, std::chrono::milliseconds limit) {
  const auto until = Clock::now() + limit;
  auto quiet_since = Clock::now();
  while (Clock::now() < until && connection_->connected()) {
    if (Pump(10ms) > 0 || !awaitedIds_.empty()) {
      quiet_since = Clock::now();
    } else if (Clock::now() - quiet_since >= quiet) {
      return true;
    }
  }
  return awaitedIds_.empty();
}

void XmppTransport::SetWireObserver(WireObserver observer) { observer_ = std::move(observer); }

std::string XmppTransport::jid() const {
  return receiver_ == nullptr ? std::string() : connection_->BoundJid();
}

void XmppTransport::HandleIq(xmpp_stanza_t* iq) {
  const std::string_view type = xmpp::AttributeOf(iq, "type");
  const std::string id(xmpp::AttributeOf(iq, "id"));
  const std::string from(xmpp::AttributeOf(iq, "from"));
  // libstrophe's own login requests are answered to libstrophe.
  if (id.starts_with("_xmpp")) return;
  if (type == "result" || type == "error") awaitedIds_.erase(id);
  const bool from_room = BareOf(from) == endpoint_.room;
  if (receiver_ != nullptr && from_room) {
    const std::string text = xmpp::ToText(iq);
    Observe({from, connection_->BoundJid(), text});
    ++delivered_;
    receiver_->Receive(text);
  }
  if (type == "set" || type == "get") {
    const xmpp::Stanza answer =
        from_room ? xmpp::Stanza(xmpp_iq_new(context_->get(), "result", id.c_str()))
                  : xmpp::MakeErrorAnswer(context_->get(), iq, "cancel", "service-unavailable");
    xmpp_stanza_set_to(answer.get(), from.c_str());
    SendStanza(answer.get());
  }
}

void XmppTransport::HandlePresence(xmpp_stanza_t* presence) {
  if (xmpp::AttributeOf(presence, "from") != occupant_) return;
  const std::string_view type = xmpp::AttributeOf(presence, "type");
  if (type.empty()) {
    joined_ = true;
  } else if (type == "error") {
    refusal_ = "the room refused the join";
  } else if (type == "unavailable") {
    joined_ = false;
  }
}

void XmppTransport::SendStanza(xmpp_stanza_t* stanza) {
  if (observer_) {
    Observe({connection_->BoundJid(), std::string(xmpp::AttributeOf(stanza, "to")),
             xmpp::ToText(stanza)});
  }
  connection_->Send(stanza);
}

void XmppTransport::Observe(const WirePacket& packet) {
  if (observer_) observer_(packet);
}

}  // namespace quenlo::host
