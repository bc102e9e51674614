#include "xmpp/connection.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <cstring>
#include <map>
#include <mutex>

namespace quenlo::xmpp {
namespace {

// libstrophe's global state is set up once per process and left for the process's exit: several
// contexts may live at once (a test's clients next to each other), and shutting it down under
// one of them would break the others.
void InitialiseLibraryOnce() {
  static std::once_flag once;
  std::call_once(once, [] { xmpp_initialize(); });
}

std::string DescribeFailure(int error, const xmpp_stream_error_t* stream_error) {
  if (stream_error != nullptr) {
    switch (stream_error->type) {
      case XMPP_SE_NOT_AUTHORIZED:
        return "the XMPP server refused the credentials (not-authorized)";
      case XMPP_SE_CONFLICT:
        return "the XMPP server replaced this stream with another one (conflict)";
      case XMPP_SE_HOST_UNKNOWN:
        return "the XMPP server does not serve that domain (host-unknown)";
      case XMPP_SE_SYSTEM_SHUTDOWN:
        return "the XMPP server is shutting down";
      case XMPP_SE_POLICY_VIOLATION:
        return "the XMPP server closed the stream (policy-violation, a stanza too large?)";
      default:
        return "the XMPP server closed the stream with an error";
    }
  }
  if (error != 0) return std::string("connection failed: ") + std::strerror(error);
  return {};
}

// While set, the socket-option callback refuses every socket, so that a connect attempt fails
// before it reaches the network (see PrepareForComponent).
thread_local bool refuse_sockets = false;

// Stanzas are small and answered one by one: without TCP_NODELAY, Nagle's algorithm holds each
// one back waiting for the previous one's acknowledgement.
int PrepareSocket(xmpp_conn_t*, void* socket_fd) {
  if (refuse_sockets) return -1;
  const int on = 1;
  setsockopt(*static_cast<int*>(socket_fd), IPPROTO_TCP, TCP_NODELAY, &on, sizeof(on));
  return 0;
}

// libstrophe 0.12.2 allocates a connection's stream-management state only on the client connect
// path, yet reads it on every stanza sent or received and on every disconnect, whatever the
// connection's kind: a component connection crashes on its first stanza or disconnect. A client
// connect attempt whose sockets the socket-option callback refuses allocates that state and
// fails at once, without touching the network, leaving the connection disconnected and ready.
void PrepareForComponent(xmpp_conn_t* connection, const std::string& domain) {
  xmpp_conn_set_jid(connection, domain.c_str());
  refuse_sockets = true;
  xmpp_connect_client(connection, "127.0.0.1", 1, nullptr, nullptr);
  refuse_sockets = false;
}

// libstrophe's handler for an untrusted certificate carries no pointer of the caller's: the
// connections are found by their libstrophe handle.
std::mutex connections_mutex;
std::map<const xmpp_conn_t*, Connection*> connections_by_handle;

}  // namespace

Context::Context(bool verbose, LogListener listener) : logListener_(std::move(listener)) {
  InitialiseLibraryOnce();
  if (verbose) verboseLog_ = xmpp_get_default_logger(XMPP_LEVEL_DEBUG);
  const bool logged = verbose || logListener_;
  context_ = xmpp_ctx_new(nullptr, logged ? &log_ : nullptr);
}

void Context::Log(void* self, xmpp_log_level_t level, const char* area, const char* message) {
  auto& context = *static_cast<Context*>(self);
  if (context.verboseLog_ != nullptr) {
    context.verboseLog_->handler(context.verboseLog_->userdata, level, area, message);
  }
  if (context.logListener_) context.logListener_(area, message);
}

Context::~Context() { xmpp_ctx_free(context_); }

void Context::RunOnce(std::chrono::milliseconds timeout) {
  xmpp_run_once(context_, static_cast<unsigned long>(timeout.count()));
}

Connection::Connection(Context& context)
    : context_(context), connection_(xmpp_conn_new(context.get())) {
  xmpp_conn_set_sockopt_callback(connection_, &PrepareSocket);
  xmpp_conn_set_certfail_handler(connection_, &Connection::OnUntrustedCertificate);
  const std::lock_guard lock(connections_mutex);
  connections_by_handle[connection_] = this;
}

Connection::~Connection() {
  {
    const std::lock_guard lock(connections_mutex);
    connections_by_handle.erase(connection_);
  }
  // Releasing a connection that is still up reports its disconnect; the owner that registered
  // the handler may be half destroyed by now, so it hears nothing more.
  linkHandler_ = nullptr;
  xmpp_conn_release(connection_);
}

void Connection::OnStanza(const char* name, StanzaHandler handler) {
  StanzaHandler& stored = stanzaHandlers_.emplace_back(std::move(handler));
  xmpp_handler_add(connection_, &Connection::OnStanzaEvent, nullptr, name, nullptr, &stored);
}

void Connection::OnLink(LinkHandler handler) { linkHandler_ = std::move(handler); }

bool Connection::ConnectClient(const std::string& host, unsigned short port, const std::string& jid,
                               const std::string& password) {
  xmpp_conn_set_jid(connection_, jid.c_str());
  xmpp_conn_set_pass(connection_, password.c_str());
  certificateProblem_.clear();
  // No stream resumption: after a drop libstrophe would send again what the server had not
  // acknowledged, behind the back of a client that has already reported those requests lost.
  xmpp_conn_set_flags(connection_, xmpp_conn_get_flags(connection_) | XMPP_CONN_FLAG_DISABLE_SM);
  return xmpp_connect_client(connection_, host.c_str(), port, &Connection::OnLinkEvent, this) ==
         XMPP_EOK;
}

bool Connection::ConnectComponent(const std::string& host, unsigned short port,
                                  const std::string& domain, const std::string& secret) {
  PrepareForComponent(connection_, domain);
  xmpp_conn_set_pass(connection_, secret.c_str());
  return xmpp_connect_component(connection_, host.c_str(), port, &Connection::OnLinkEvent, this) ==
         XMPP_EOK;
}

void Connection::Disconnect() {
  if (!xmpp_conn_is_disconnected(connection_)) xmpp_disconnect(connection_);
}

bool Connection::connected() const { return established_; }

bool Connection::disconnected() const { return xmpp_conn_is_disconnected(connection_) != 0; }

std::string Connection::BoundJid() const {
  const char* jid = xmpp_conn_get_bound_jid(connection_);
  if (jid == nullptr) jid = xmpp_conn_get_jid(connection_);
  return jid == nullptr ? std::string() : std::string(jid);
}

int Connection::SendQueueLength() const { return xmpp_conn_send_queue_len(connection_); }

void Connection::Send(xmpp_stanza_t* stanza) { xmpp_send(connection_, stanza); }

void Connection::SendText(const std::string& xml) {
  xmpp_send_raw(connection_, xml.data(), xml.size());
}

void Connection::OnLinkEvent(xmpp_conn_t*, xmpp_conn_event_t event, int error,
                             xmpp_stream_error_t* stream_error, void* self) {
  auto& connection = *static_cast<Connection*>(self);
  if (event == XMPP_CONN_CONNECT) connection.established_ = true;
  if (event == XMPP_CONN_DISCONNECT || event == XMPP_CONN_FAIL) connection.established_ = false;
  if (!connection.linkHandler_) return;
  if (event == XMPP_CONN_CONNECT) {
    connection.linkHandler_(LinkEvent::kConnected, "");
  } else if (event == XMPP_CONN_DISCONNECT || event == XMPP_CONN_FAIL) {
    connection.linkHandler_(LinkEvent::kDisconnected, DescribeFailure(error, stream_error));
  }
}

int Connection::OnUntrustedCertificate(const xmpp_tlscert_t* certificate, const char* reason) {
  const std::lock_guard lock(connections_mutex);
  const auto found = connections_by_handle.find(xmpp_tlscert_get_conn(certificate));
  if (found != connections_by_handle.end()) {
    found->second->certificateProblem_ = reason == nullptr ? "no reason given" : reason;
  }
  return 0;  // refused: a certificate nobody vouches for is never taken
}

int Connection::OnStanzaEvent(xmpp_conn_t*, xmpp_stanza_t* stanza, void* handler) {
  (*static_cast<StanzaHandler*>(handler))(stanza);
  return 1;  // stay registered
}

}  // namespace quenlo::xmpp
