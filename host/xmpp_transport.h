// One participant over a real XMPP server: logs in as a client (c2s, SASL; STARTTLS when the
// server offers it), joins the room by presence to room/nick, sends the module's packets as
// stanzas and hands incoming iq to the module. Every pushed iq set is answered with an empty
// result, as XMPP requires, and so is every XMPP ping. Nothing runs in the background: packets
// arrive during Pump and Settle, on the caller's thread, which is the thread the module expects
// them on.
//
// It keeps its place by itself. When the stream drops it logs in again, with a growing pause
// between attempts, and joins the room again under the same nick; when the room says it is no
// longer an occupant (an unavailable self-presence, a self-ping the room refuses, a reply saying
// it is not a member) it joins again. Each loss and each return is one notice. Nothing the module
// sent is sent again: a request that was on its way when the stream dropped, one the XMPP server
// answered in the service's place, and one without any answer within the time limit are each
// reported as unanswered, with the reason.
//
// A process that uses it should ignore SIGPIPE, as confhost does: libstrophe writes without
// MSG_NOSIGNAL, so a write to a connection the server has closed would otherwise end the process
// instead of failing.
#pragma once

#include <chrono>
#include <map>
#include <memory>
#include <string>

#include "host/login_trace.h"
#include "host/transport.h"
#include "host/transport_notice.h"

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

struct XmppTimings {
  // A request without an answer this long is reported as unanswered.
  std::chrono::milliseconds answer_limit{5000};
  // How often the transport asks the room whether it is still an occupant (self-ping).
  std::chrono::milliseconds self_ping_every{20000};
  // The pause before the first new attempt to log in, doubled after each failure.
  std::chrono::milliseconds first_retry{500};
  std::chrono::milliseconds longest_retry{4000};
  // How often a join is tried again while the room is away. The XMPP server refuses it at once
  // in the absent service's place, so trying costs little, and the participant is back within
  // this long of the service's return.
  std::chrono::milliseconds join_retry{1000};
};

class XmppTransport final : public Transport {
 public:
  // How long Connect waits for the login and for the room's answer to the join.
  static constexpr std::chrono::seconds kJoinTimeout{10};

  explicit XmppTransport(XmppAccount account, XmppTimings timings = {});
  XmppTransport(const XmppTransport&) = delete;
  XmppTransport& operator=(const XmppTransport&) = delete;
  ~XmppTransport() override;

  // Logs in and joins endpoint.room under the nick endpoint.display_name. One endpoint per
  // transport. Throws HostError with the reason when the login or the join fails.
  void Connect(const Endpoint& endpoint, PacketReceiver& receiver) override;
  // Leaves the room and closes the stream.
  void Disconnect(const std::string& address) override;
  // Never throws, as it is called from within the module: a packet that cannot go (no
  // connection, or text libstrophe cannot read) is counted in unsent() instead, and a request
  // among them is reported as unanswered.
  void Send(const std::string& from, std::string xml) override;

  // Handles what arrives within `timeout`, and what is due: new attempts to log in and join,
  // self-pings, requests past the time limit. Gives the number of packets delivered.
  std::size_t Pump(std::chrono::milliseconds timeout);
  // Pumps until every request sent has its answer (or is reported unanswered) and then nothing
  // more arrives for `quiet`, or `limit` passes. False when requests are still awaited.
  bool Settle(std::chrono::milliseconds quiet, std::chrono::milliseconds limit);

  void SetWireObserver(WireObserver observer);
  void SetNoticeListener(NoticeListener listener);
  const XmppTimings& timings() const noexcept { return timings_; }
  // The full JID the server bound; empty before Connect.
  std::string jid() const;
  std::size_t unanswered() const noexcept { return awaited_.size(); }
  std::size_t unsent() const noexcept { return unsent_; }
  bool connected() const;
  // True while the room counts this participant as an occupant, as far as the transport knows.
  bool joined() const noexcept { return joined_; }
  // Why the stream ended, or the join failed; empty while all is well.
  const std::string& failure() const noexcept { return refusal_; }
  // Packets handed to the module so far.
  std::size_t delivered() const noexcept { return delivered_; }

 private:
  using Clock = std::chrono::steady_clock;

  struct AwaitedRequest {
    Clock::time_point sent;
    std::string request;  // "voting ballot"
  };

  void HandleLink(bool connected, const std::string& reason);
  void HandleIq(xmpp_stanza_t* iq);
  void HandleAnswer(xmpp_stanza_t* iq, const std::string& id);
  void HandleSelfPingAnswer(xmpp_stanza_t* iq);
  void HandlePresence(xmpp_stanza_t* presence);
  void RunDueWork();
  void SendJoin();
  void SendSelfPing();
  void SendStanza(xmpp_stanza_t* stanza);
  void Observe(const WirePacket& packet);
  // The room no longer counts this participant: tells the user once and joins again soon.
  void LeftRoom(const std::string& why, std::chrono::milliseconds rejoin_after);
  void TellLost(const std::string& text);
  void TellBack();
  void ReportUnanswered(const std::string& id, const std::string& request,
                        const std::string& condition, const std::string& why);
  std::chrono::milliseconds NextRetryDelay();

  XmppAccount account_;
  XmppTimings timings_;
  std::unique_ptr<xmpp::Context> context_;
  std::unique_ptr<xmpp::Connection> connection_;
  LoginTrace loginTrace_;
  Endpoint endpoint_;
  std::string occupant_;  // room/nick
  PacketReceiver* receiver_ = nullptr;
  // From a successful Connect to Disconnect: the transport works to stay in the room.
  bool keepingPlace_ = false;
  bool streamUp_ = false;
  bool joined_ = false;
  bool lossTold_ = false;
  std::string refusal_;  // why the room refused the join, or the stream ended
  Clock::time_point nextLogin_ = Clock::time_point::max();
  Clock::time_point nextJoin_ = Clock::time_point::max();
  std::chrono::milliseconds retryDelay_;
  std::string selfPingId_;
  Clock::time_point selfPingSent_;
  Clock::time_point nextSelfPing_ = Clock::time_point::max();
  std::size_t selfPings_ = 0;
  std::map<std::string, AwaitedRequest> awaited_;
  std::size_t delivered_ = 0;
  std::size_t unsent_ = 0;
  WireObserver observer_;
  NoticeListener noticeListener_;
};

}  // namespace quenlo::host
