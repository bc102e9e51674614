// What libstrophe's log tells of one client login, kept so that a login that fails can say why
// in the server's own words. libstrophe reports a failed login as a bare disconnect; only its
// log shows the socket error, the stream features the server offered and its SASL failure.
#pragma once

#include <string>
#include <string_view>
#include <vector>

typedef struct _xmpp_ctx_t xmpp_ctx_t;

namespace quenlo::host {

class LoginTrace {
 public:
  // `context` parses the packets the log quotes.
  explicit LoginTrace(xmpp_ctx_t* context) : context_(context) {}

  // Forgets what an earlier attempt showed.
  void Reset();
  // One line of libstrophe's log.
  void Observe(std::string_view area, std::string_view message);

  // Why the login failed, in one line. `link_reason` is what the connection gave (a socket or
  // stream error, empty when it gave none); `certificate_problem` why the server's certificate
  // was not trusted (empty when it was, or when no TLS was tried).
  std::string Describe(const std::string& link_reason,
                       const std::string& certificate_problem) const;

 private:
  void ObserveReceived(std::string_view xml);

  xmpp_ctx_t* context_;
  bool featuresSeen_ = false;
  std::vector<std::string> mechanisms_;
  std::string saslCondition_;
  std::string saslText_;
  int socketError_ = 0;  // errno of a connection the server's port refused
};

}  // namespace quenlo::host
