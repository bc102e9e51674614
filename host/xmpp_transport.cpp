#include "host/xmpp_transport.h"

#include <strophe.h>

#include <algorithm>
#include <thread>

#include "host/host_error.h"
#include "xmpp/connection.h"
#include "xmpp/jid.h"
#include "xmpp/stanza.h"

namespace quenlo::host {
namespace {

using namespace std::chrono_literals;

constexpr char kNickNamespace[] = "http://jabber.org/protocol/nick";
constexpr char kPingNamespace[] = "urn:xmpp:ping";
constexpr char kMucUserNamespace[] = "http://jabber.org/protocol/muc#user";
constexpr char kSelfPingPrefix[] = "self-ping-";
// The service's code for a request from somebody who is not a member of the room.
constexpr char kNotMemberCode[] = "4";

std::string BareOf(std::string_view jid) { return xmpp::Jid::Parse(jid).Bare(); }

// The stanza error an iq or presence of type "error" carries: its condition and its text.
struct StanzaError {
  std::string condition;
  std::string text;
  std::string service_code;  // the service's own code, on the error of a reply it wrote
};

StanzaError ErrorOf(xmpp_stanza_t* stanza) {
  StanzaError error;
  xmpp_stanza_t* element = xmpp_stanza_get_child_by_name(stanza, "error");
  if (element == nullptr) return error;
  error.service_code = std::string(xmpp::AttributeOf(element, "code"));
  for (xmpp_stanza_t* child = xmpp_stanza_get_children(element); child != nullptr;
       child = xmpp_stanza_get_next(child)) {
    const char* name = xmpp_stanza_get_name(child);
    if (name == nullptr || !xmpp_stanza_is_tag(child)) continue;
    if (std::string_view(name) == "text") {
      if (char* text = xmpp_stanza_get_text(child)) {
        error.text = text;
        xmpp_free(xmpp_stanza_get_context(child), text);
      }
    } else if (error.condition.empty() &&
               xmpp::AttributeOf(child, "xmlns") == "urn:ietf:params:xml:ns:xmpp-stanzas") {
      error.condition = name;
    }
  }
  if (error.condition.empty()) error.condition = "undefined-condition";
  return error;
}

// What a request asks, for people: its service (the query's namespace, last word) and type.
std::string RequestOf(xmpp_stanza_t* iq) {
  xmpp_stanza_t* query = xmpp_stanza_get_child_by_name(iq, "query");
  if (query == nullptr) return "iq";
  std::string_view service = xmpp::AttributeOf(query, "xmlns");
  service = service.substr(service.find_last_of(':') + 1);
  const std::string_view type = xmpp::AttributeOf(query, "type");
  return std::string(service) + (type.empty() ? "" : " " + std::string(type));
}

bool IsPing(xmpp_stanza_t* iq) {
  return xmpp_stanza_get_child_by_name_and_ns(iq, "ping", kPingNamespace) != nullptr;
}

bool HasStatus(xmpp_stanza_t* presence, std::string_view code) {
  xmpp_stanza_t* x = xmpp_stanza_get_child_by_name_and_ns(presence, "x", kMucUserNamespace);
  for (xmpp_stanza_t* child = x == nullptr ? nullptr : xmpp_stanza_get_children(x);
       child != nullptr; child = xmpp_stanza_get_next(child)) {
    const char* name = xmpp_stanza_get_name(child);
    if (name != nullptr && std::string_view(name) == "status" &&
        xmpp::AttributeOf(child, "code") == code) {
      return true;
    }
  }
  return false;
}

// How a room's answer to a self-ping reads (group chat self-pings): a result, or an error the
// room could only give to an occupant, means still in; the XMPP server answering that the room's
// service is unreachable decides nothing; any other error means the room has forgotten us.
enum class SelfPingVerdict { kIn, kUndecided, kOut };

SelfPingVerdict ReadSelfPingError(const std::string& condition) {
  if (condition == "service-unavailable" || condition == "feature-not-implemented" ||
      condition == "item-not-found") {
    return SelfPingVerdict::kIn;
  }
  if (condition == "remote-server-timeout" || condition == "remote-server-not-found") {
    return SelfPingVerdict::kUndecided;
  }
  return SelfPingVerdict::kOut;
}

std::string Seconds(std::chrono::milliseconds duration) {
  const auto tenths = duration.count() / 100;
  return std::to_string(tenths / 10) + (tenths % 10 == 0 ? "" : "." + std::to_string(tenths % 10)) +
         " s";
}

}  // namespace

XmppTransport::XmppTransport(XmppAccount account, XmppTimings timings)
    : account_(std::move(account)),
      timings_(timings),
      context_(std::make_unique<xmpp::Context>(
          false, [this](std::string_view area,
                        std::string_view message) { loginTrace_.Observe(area, message); })),
      connection_(std::make_unique<xmpp::Connection>(*context_)),
      loginTrace_(context_->get()),
      retryDelay_(timings.first_retry) {
  connection_->OnStanza("iq", [this](xmpp_stanza_t* iq) { HandleIq(iq); });
  connection_->OnStanza("presence", [this](xmpp_stanza_t* presence) { HandlePresence(presence); });
  connection_->OnLink([this](xmpp::LinkEvent event, const std::string& reason) {
    HandleLink(event == xmpp::LinkEvent::kConnected, reason);
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
  loginTrace_.Reset();
  const std::string where = account_.host + ":" + std::to_string(account_.port);
  if (!connection_->ConnectClient(account_.host, account_.port, account_.jid, account_.password)) {
    throw HostError("cannot connect to " + where);
  }
  const auto until = Clock::now() + kJoinTimeout;
  while (!connection_->connected() && refusal_.empty() && Clock::now() < until) {
    context_->RunOnce(20ms);
  }
  if (!connection_->connected()) {
    connection_->Disconnect();
    throw HostError(account_.jid + " cannot log in at " + where + ": " +
                    (refusal_.empty() ? "no answer" : refusal_));
  }

  receiver_ = &receiver;
  SendJoin();
  while (!joined_ && refusal_.empty() && Clock::now() < until) context_->RunOnce(20ms);
  if (!joined_) {
    receiver_ = nullptr;
    connection_->Disconnect();
    throw HostError("cannot join " + endpoint.room + ": " +
                    (refusal_.empty() ? "the room did not answer" : refusal_));
  }
  keepingPlace_ = true;
  nextSelfPing_ = Clock::now() + timings_.self_ping_every;
}

void XmppTransport::Disconnect(const std::string& address) {
  if (receiver_ == nullptr || address != endpoint_.address) return;
  keepingPlace_ = false;
  if (connection_->connected()) {
    const xmpp::Stanza presence(xmpp_presence_new(context_->get()));
    xmpp_stanza_set_to(presence.get(), occupant_.c_str());
    xmpp_stanza_set_type(presence.get(), "unavailable");
    SendStanza(presence.get());
  }
  connection_->Disconnect();
  const auto until = Clock::now() + 2s;
  while (!connection_->disconnected() && Clock::now() < until) context_->RunOnce(20ms);
  receiver_ = nullptr;
  joined_ = false;
  awaited_.clear();
}

void XmppTransport::Send(const std::string&, std::string xml) {
  const xmpp::Stanza stanza = xmpp::FromText(context_->get(), xml);
  if (stanza == nullptr) {
    ++unsent_;
    return;
  }
  const std::string_view type = xmpp::AttributeOf(stanza.get(), "type");
  const bool request = type == "get" || type == "set";
  const std::string id(xmpp::AttributeOf(stanza.get(), "id"));
  if (!connection_->connected()) {
    ++unsent_;
    if (request) {
      ReportUnanswered(id, RequestOf(stanza.get()), "not-connected",
                       "not sent, there is no connection to the XMPP server now");
    }
    return;
  }
  if (request) awaited_[id] = {Clock::now(), RequestOf(stanza.get())};
  SendStanza(stanza.get());
}

bool XmppTransport::connected() const { return connection_->connected(); }

std::size_t XmppTransport::Pump(std::chrono::milliseconds timeout) {
  const std::size_t before = delivered_;
  if (connection_->disconnected()) {
    // libstrophe has no socket to wait on: the pause between attempts is spent here.
    std::this_thread::sleep_for(timeout);
  } else {
    context_->RunOnce(timeout);
  }
  RunDueWork();
  return delivered_ - before;
}

bool XmppTransport::Settle(std::chrono::milliseconds quiet, std::chrono::milliseconds limit) {
  const auto until = Clock::now() + limit;
  auto quiet_since = Clock::now();
  while (Clock::now() < until) {
    if (Pump(10ms) > 0 || !awaited_.empty()) {
      quiet_since = Clock::now();
    } else if (Clock::now() - quiet_since >= quiet) {
      return true;
    }
  }
  return awaited_.empty();
}

void XmppTransport::SetWireObserver(WireObserver observer) { observer_ = std::move(observer); }

void XmppTransport::SetNoticeListener(NoticeListener listener) {
  noticeListener_ = std::move(listener);
}

std::string XmppTransport::jid() const {
  return receiver_ == nullptr ? std::string() : connection_->BoundJid();
}

void XmppTransport::HandleLink(bool connected, const std::string& reason) {
  if (connected) {
    streamUp_ = true;
    // The pause before the next login grows until the participant is back in the room: a
    // server that lets it in and drops it at once is not hammered.
    if (keepingPlace_) nextJoin_ = Clock::now();
    return;
  }
  const bool was_up = streamUp_;
  streamUp_ = false;
  joined_ = false;
  if (was_up) {
    refusal_ = reason.empty() ? "the XMPP server closed the connection" : reason;
  } else {
    // libstrophe reports a refused login as a bare disconnect: its log says what happened.
    refusal_ = loginTrace_.Describe(reason, connection_->certificateProblem());
  }
  if (!keepingPlace_) return;
  selfPingId_.clear();
  nextJoin_ = Clock::time_point::max();
  for (const auto& [id, awaited] : awaited_) {
    ReportUnanswered(id, awaited.request, "connection-lost",
                     "the connection to the XMPP server was lost before the answer came; "
                     "not sent again");
  }
  awaited_.clear();
  TellLost("lost the connection to the XMPP server (" + refusal_ + "); reconnecting");
  nextLogin_ = Clock::now() + NextRetryDelay();
}

void XmppTransport::HandleIq(xmpp_stanza_t* iq) {
  const std::string_view type = xmpp::AttributeOf(iq, "type");
  const std::string id(xmpp::AttributeOf(iq, "id"));
  const std::string from(xmpp::AttributeOf(iq, "from"));
  // libstrophe's own login requests are answered to libstrophe.
  if (id.starts_with("_xmpp")) return;
  if (type == "get" && IsPing(iq)) {
    // Whoever asks (the XMPP server, or the service checking who is still there) learns that
    // this client is alive; the module has no part in it.
    const xmpp::Stanza answer(xmpp_iq_new(context_->get(), "result", id.c_str()));
    xmpp_stanza_set_to(answer.get(), from.c_str());
    SendStanza(answer.get());
    return;
  }
  if (type == "result" || type == "error") {
    if (!selfPingId_.empty() && id == selfPingId_) {
      HandleSelfPingAnswer(iq);
      return;
    }
    HandleAnswer(iq, id);
  }
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

void XmppTransport::HandleAnswer(xmpp_stanza_t* iq, const std::string& id) {
  const auto found = awaited_.find(id);
  if (found == awaited_.end()) return;
  const std::string request = found->second.request;
  awaited_.erase(found);
  if (xmpp::AttributeOf(iq, "type") != "error") return;
  const StanzaError error = ErrorOf(iq);
  if (xmpp_stanza_get_child_by_name(iq, "query") == nullptr) {
    // The service writes its query into every error reply; an error without one was written
    // by the XMPP server in the service's place, and the module cannot read it.
    ReportUnanswered(id, request, error.condition,
                     "the XMPP server answered in the service's place" +
                         (error.text.empty() ? std::string() : ": " + error.text));
  } else if (error.service_code == kNotMemberCode && joined_) {
    LeftRoom("the service no longer counts " + endpoint_.display_name + " as a member", 0ms);
  }
}

void XmppTransport::HandleSelfPingAnswer(xmpp_stanza_t* iq) {
  selfPingId_.clear();
  nextSelfPing_ = Clock::now() + timings_.self_ping_every;
  if (xmpp::AttributeOf(iq, "type") != "error") return;
  const StanzaError error = ErrorOf(iq);
  if (ReadSelfPingError(error.condition) == SelfPingVerdict::kOut && joined_) {
    LeftRoom("the room answered " + error.condition + " to a check", 0ms);
  }
}

void XmppTransport::HandlePresence(xmpp_stanza_t* presence) {
  if (xmpp::AttributeOf(presence, "from") != occupant_) return;
  const std::string_view type = xmpp::AttributeOf(presence, "type");
  if (type.empty()) {
    joined_ = true;
    nextJoin_ = Clock::time_point::max();
    nextSelfPing_ = Clock::now() + timings_.self_ping_every;
    TellBack();
  } else if (type == "error") {
    if (!keepingPlace_) {
      refusal_ = "the room refused the join";
      return;
    }
    // While the service is away the XMPP server refuses the join in its place: try again later.
    joined_ = false;
    TellLost("cannot join " + endpoint_.room + " now (" + ErrorOf(presence).condition +
             "); trying again");
  } else if (type == "unavailable" && keepingPlace_) {
    // Status 332: the service is stopping and will be back; anything else put us out.
    LeftRoom(HasStatus(presence, "332") ? "the service is going away (system shutdown)"
                                        : "the room removed " + endpoint_.display_name,
             timings_.first_retry);
  }
}

void XmppTransport::RunDueWork() {
  if (!keepingPlace_) return;
  const auto now = Clock::now();
  if (connection_->disconnected() && now >= nextLogin_) {
    nextLogin_ = Clock::time_point::max();  // the link handler schedules the next one
    loginTrace_.Reset();
    if (!connection_->ConnectClient(account_.host, account_.port, account_.jid,
                                    account_.password)) {
      nextLogin_ = now + NextRetryDelay();
    }
  }
  if (connection_->connected() && !joined_ && now >= nextJoin_) {
    SendJoin();
    nextJoin_ = now + timings_.join_retry;
  }
  for (auto request = awaited_.begin(); request != awaited_.end();) {
    if (now - request->second.sent < timings_.answer_limit) {
      ++request;
      continue;
    }
    ReportUnanswered(request->first, request->second.request, "timeout",
                     "no answer within " + Seconds(timings_.answer_limit));
    request = awaited_.erase(request);
  }
  if (!selfPingId_.empty() && now - selfPingSent_ >= timings_.answer_limit) {
    // No answer decides nothing: the stream itself tells when the server is gone.
    selfPingId_.clear();
    nextSelfPing_ = now + timings_.self_ping_every;
  }
  if (joined_ && selfPingId_.empty() && now >= nextSelfPing_) SendSelfPing();
}

void XmppTransport::SendJoin() {
  const xmpp::Stanza presence(xmpp_presence_new(context_->get()));
  xmpp_stanza_set_to(presence.get(), occupant_.c_str());
  const xmpp::Stanza nick(xmpp_stanza_new(context_->get()));
  xmpp_stanza_set_name(nick.get(), "nick");
  xmpp_stanza_set_ns(nick.get(), kNickNamespace);
  const xmpp::Stanza nick_text(xmpp_stanza_new(context_->get()));
  xmpp_stanza_set_text(nick_text.get(), endpoint_.display_name.c_str());
  xmpp_stanza_add_child(nick.get(), nick_text.get());
  xmpp_stanza_add_child(presence.get(), nick.get());
  SendStanza(presence.get());
}

void XmppTransport::SendSelfPing() {
  selfPingId_ = kSelfPingPrefix + std::to_string(++selfPings_);
  selfPingSent_ = Clock::now();
  const xmpp::Stanza iq(xmpp_iq_new(context_->get(), "get", selfPingId_.c_str()));
  xmpp_stanza_set_to(iq.get(), occupant_.c_str());
  const xmpp::Stanza ping(xmpp_stanza_new(context_->get()));
  xmpp_stanza_set_name(ping.get(), "ping");
  xmpp_stanza_set_ns(ping.get(), kPingNamespace);
  xmpp_stanza_add_child(iq.get(), ping.get());
  SendStanza(iq.get());
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

void XmppTransport::LeftRoom(const std::string& why, std::chrono::milliseconds rejoin_after) {
  joined_ = false;
  selfPingId_.clear();
  nextJoin_ = Clock::now() + rejoin_after;
  TellLost("no longer in " + endpoint_.room + ": " + why + "; joining again");
}

void XmppTransport::TellLost(const std::string& text) {
  if (lossTold_) return;
  lossTold_ = true;
  if (noticeListener_) noticeListener_({TransportNotice::Kind::kLost, text, {}, {}, {}});
}

void XmppTransport::TellBack() {
  retryDelay_ = timings_.first_retry;
  if (!lossTold_) return;
  lossTold_ = false;
  if (noticeListener_) {
    noticeListener_({TransportNotice::Kind::kBack,
                     "back in " + endpoint_.room + " as " + endpoint_.display_name,
                     {},
                     {},
                     {}});
  }
}

void XmppTransport::ReportUnanswered(const std::string& id, const std::string& request,
                                     const std::string& condition, const std::string& why) {
  if (!noticeListener_) return;
  noticeListener_({TransportNotice::Kind::kUnanswered,
                   "request " + id + " (" + request + ") not answered: " + condition + ", " + why,
                   id, request, condition});
}

std::chrono::milliseconds XmppTransport::NextRetryDelay() {
  const std::chrono::milliseconds delay = retryDelay_;
  retryDelay_ = std::min(retryDelay_ * 2, timings_.longest_retry);
  return delay;
}

}  // namespace quenlo::host
