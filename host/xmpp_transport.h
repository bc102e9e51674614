// One participant over a real XMPP server: logs in as a client (c2s, SASL; STARTTLS when the
// server offers it), joins the room by presence to room/nick, sends the module's packets as
// stanzas and hands incoming iq to the module. Every pushed iq set is answered with an empty
// result, as XMPP requires. Nothing runs in the background: packets arrive during Pump and
// Settle, on the caller's thread, which is the thread the module expects them on.
//
// A process that uses it should ignore SIGPIPE, as confhost does: libstrophe writes without
// MSG_NOSIGNAL, so a write to a connection the server has closed would otherwise end the process
// instead of failing.
#pragma once

#include <chrono>
#include <memory>
#include <set>
#include <string>

#include "host/transport.h"

// libstrophe's stanza, declared as its header does, so that hosts need not include it.
typedef struct _xmpp_stanza_t xmpp_stanza_t;

namespace quenlo::xmpp {
class Connection;
class Context;
}  // namespace quenlo::xmpp

namespace quenlo::host {

struct XmppAccount {
  std::string host;
  unsigned short port = 0;
  std::string jid;  // user@domain, or user@domain/resource
  std::string password;
};

class XmppTransport final : public Transport {
 public:
  // How long Connect waits for the login and for the room's answer to the join.
  static constexpr std::chrono::seconds kJoinTimeout{10};

  explicit XmppTransport(XmppAccount account);
  XmppTransport(const XmppTransport&) = delete;
  XmppTransport& operator=(const XmppTransport&) = delete;
  ~XmppTransport() override;

  // Logs in and joins endpoint.room under the nick endpoint.display_name. One endpoint per
  // transport. Throws HostError with the reason when the login or the join fails.
  void Connect(const Endpoint& endpoint, PacketReceiver& receiver) override;
  // Leaves the room and closes the stream.
  void Disconnect(const std::string& address) override;
  // Never throws, as it is called from within the module: a packet that cannot go (no
  // connection, or text libstrophe cannot read) is counted in unsent() instead.
  void Send(const std::string& from, std::string xml) override;

  // Handles what arrives within `timeout`; gives the number of packets delivered.
  std::size_t Pump(std::chrono::milliseconds timeout);
  // Pumps until every request sent has its answer and then nothing more arrives for `quiet`,
  // or `limit` passes. False when requests are still unanswered at the limit.
  bool Settle(std::chrono::milliseconds quiet, std::chrono::milliseconds limit);

  void SetWireObserver(WireObserver observer);
  // The full JID the server bound; empty before Connect.
  std::string jid() const;
  std::size_t unanswered() const noexcept { return awaitedIds_.size(); }
  std::size_t unsent() const noexcept { return unsent_; }
  bool connected() const;
  // Why the stream ended, or the join failed; empty while all is well.
  const std::string& failure() const noexcept { return refusal_; }
  // Packets handed to the module so far.
  std::size_t delivered() const noexcept { return delivered_; }

 private:
  void HandleIq(xmpp_stanza_t* iq);
  void HandlePresence(xmpp_stanza_t* presence);
  void SendStanza(xmpp_stanza_t* stanza);
  void Observe(const WirePacket& packet);

  XmppAccount account_;
  std::unique_ptr<xmpp::Context> context_;
  std::unique_ptr<xmpp::Connection> connection_;
  Endpoint endpoint_;
  std::string occupant_;  // room/nick
  PacketReceiver* receiver_ = nullptr;
  bool loggedIn_ = false;
  bool joined_ = false;
  std::string refusal_;  // why the room refused the join, or the stream ended
  std::set<std::string> awaitedIds_;
  std::size_t delivered_ = 0;
  std::size_t unsent_ = 0;
  WireObserver observer_;
};

}  // namespace quenlo::host
