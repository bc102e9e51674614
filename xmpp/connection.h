// One libstrophe event loop (Context) and one XMPP stream on it (Connection), either a client
// (c2s, SASL) or an external component. Everything runs on the thread that calls RunOnce:
// handlers are called from there, and no call may come from another thread.
#pragma once

#include <strophe.h>

#include <chrono>
#include <functional>
#include <list>
#include <string>
#include <string_view>

namespace quenlo::xmpp {

class Context {
 public:
  // Hears every line of libstrophe's log, at every level: the only place libstrophe tells how a
  // login went (what the server offered, and its SASL failure).
  using LogListener = std::function<void(std::string_view area, std::string_view message)>;

  // `verbose` sends libstrophe's own debug log to stderr. Without it or a listener libstrophe
  // formats no log line at all, which a busy component notices.
  explicit Context(bool verbose = false, LogListener listener = nullptr);
  Context(const Context&) = delete;
  Context& operator=(const Context&) = delete;
  ~Context();

  xmpp_ctx_t* get() const noexcept { return context_; }
  // Waits up to `timeout` for network events and runs the handlers they trigger.
  void RunOnce(std::chrono::milliseconds timeout);

 private:
  static void Log(void* self, xmpp_log_level_t level, const char* area, const char* message);

  xmpp_log_t* verboseLog_ = nullptr;
  xmpp_log_t log_{&Context::Log, this};
  LogListener logListener_;
  xmpp_ctx_t* context_ = nullptr;
};

// What a connection attempt or a connected stream came to.
enum class LinkEvent { kConnected, kDisconnected };

class Connection {
 public:
  using StanzaHandler = std::function<void(xmpp_stanza_t*)>;
  // `reason` is empty for a connect and for a disconnect that was asked for.
  using LinkHandler = std::function<void(LinkEvent, const std::string& reason)>;

  explicit Connection(Context& context);
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;
  ~Connection();

  // Handlers stay registered across reconnects. `name` is "iq", "presence" or "message".
  void OnStanza(const char* name, StanzaHandler handler);
  void OnLink(LinkHandler handler);

  // Starts connecting; the link handler hears how it ends. False when it cannot even start.
  bool ConnectClient(const std::string& host, unsigned short port, const std::string& jid,
                     const std::string& password);
  bool ConnectComponent(const std::string& host, unsigned short port, const std::string& domain,
                        const std::string& secret);
  void Disconnect();

  // True from the connect event (a client logged in and bound, a component authenticated) to
  // the disconnect; libstrophe's own test says yes as soon as the socket is up.
  bool connected() const;
  bool disconnected() const;
  // The full JID the server bound for a client; the domain for a component.
  std::string BoundJid() const;
  // Stanzas handed to libstrophe but not yet written to the socket.
  int SendQueueLength() const;
  // Why the last TLS handshake did not trust the server's certificate; empty when it did.
  const std::string& certificateProblem() const noexcept { return certificateProblem_; }

  void Send(xmpp_stanza_t* stanza);
  // Sends XML text as it is: it must be one well-formed stanza, or the server ends the stream.
  void SendText(const std::string& xml);
  xmpp_ctx_t* context() const noexcept { return context_.get(); }

 private:
  static void OnLinkEvent(xmpp_conn_t* connection, xmpp_conn_event_t event, int error,
                          xmpp_stream_error_t* stream_error, void* self);
  static int OnStanzaEvent(xmpp_conn_t* connection, xmpp_stanza_t* stanza, void* handler);
  static int OnUntrustedCertificate(const xmpp_tlscert_t* certificate, const char* reason);

  Context& context_;
  xmpp_conn_t* connection_;
  LinkHandler linkHandler_;
  bool established_ = false;
  std::string certificateProblem_;
  // A list, so that the handlers libstrophe points at never move.
  std::list<StanzaHandler> stanzaHandlers_;
};

}  // namespace quenlo::xmpp
