// A bare XMPP client for the tests: connects to the test's XMPP server, joins rooms by presence,
// sends stanzas given as text and keeps what arrives. Several clients may share one Context and
// so one thread.
#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "tests/xmpp/xmpp_server.h"
#include "xmpp/connection.h"

namespace quenlo::xmpp_test {

using namespace std::chrono_literals;

// Runs `context` until `done` holds or `timeout` passes; gives `done()` at the end.
bool RunUntil(xmpp::Context& context, const std::function<bool()>& done,
              std::chrono::milliseconds timeout = 10s);

struct ReceivedStanza {
  std::string name;  // iq, presence, message
  std::string type;
  std::string id;
  std::string from;
  std::string text;
};

class TestClient {
 public:
  // A client of `user` (the password XmppServer::PasswordOf) on `server`.
  TestClient(xmpp::Context& context, const XmppServer& server, const std::string& user,
             const std::string& resource = "test");

  // Throws std::runtime_error when the client cannot log in within ten seconds.
  void Connect();
  // Send presence to room/nick and wait for the room's answer. Throw when none comes.
  void Join(const std::string& room, const std::string& nick);
  void Leave(const std::string& room, const std::string& nick);
  void Disconnect();

  // Sends one stanza written as XML text. Throws when libstrophe cannot read it.
  void Send(const std::string& xml);

  const std::string& jid() const noexcept { return jid_; }
  const std::vector<ReceivedStanza>& received() const noexcept { return received_; }
  // How many answers (iq result or error) arrived for each id.
  const std::map<std::string, int>& answers() const noexcept { return answers_; }
  // Answers counted, those to libstrophe's own login requests aside.
  std::size_t AnswerCount() const noexcept { return answerCount_; }
  // The answer of that id, or nullptr.
  const ReceivedStanza* AnswerTo(const std::string& id) const;
  bool connected() const { return connection_.connected(); }
  xmpp::Context& context() const noexcept { return context_; }

 private:
  void SendPresence(const std::string& occupant, const std::string& type);

  xmpp::Context& context_;
  unsigned short client_port_;
  std::string user_;
  std::string jid_;
  xmpp::Connection connection_;
  bool linkEnded_ = false;
  std::vector<ReceivedStanza> received_;
  std::map<std::string, int> answers_;
  std::map<std::string, std::size_t> firstAnswers_;
  std::size_t answerCount_ = 0;
};

}  // namespace quenlo::xmpp_test
