#include "tests/xmpp/test_client.h"

#include <stdexcept>

#include "xmpp/stanza.h"

namespace quenlo::xmpp_test {

bool RunUntil(xmpp::Context& context, const std::function<bool()>& done,
              std::chrono::milliseconds timeout) {
  const auto until = std::chrono::steady_clock::now() + timeout;
  while (!done() && std::chrono::steady_clock::now() < until) context.RunOnce(5ms);
  return done();
}

TestClient::TestClient(xmpp::Context& context, const XmppServer& server, const std::string& user,
                       const std::string& resource)
    : context_(context),
      client_port_(server.ClientPort()),
      user_(user),
      jid_(user + "@" + XmppServer::kDomain + "/" + resource),
      connection_(context) {
  auto keep = [this](xmpp_stanza_t* stanza) {
    ReceivedStanza kept{xmpp_stanza_get_name(stanza),
                        std::string(xmpp::AttributeOf(stanza, "type")),
                        std::string(xmpp::AttributeOf(stanza, "id")),
                        std::string(xmpp::AttributeOf(stanza, "from")), xmpp::ToText(stanza)};
    if (kept.name == "iq" && (kept.type == "result" || kept.type == "error")) {
      if (!kept.id.starts_with("_xmpp")) ++answerCount_;
      if (++answers_[kept.id] == 1) firstAnswers_[kept.id] = received_.size();
    }
    received_.push_back(std::move(kept));
  };
  connection_.OnStanza("iq", keep);
  connection_.OnStanza("presence", keep);
  connection_.OnLink([this](xmpp::LinkEvent event, const std::string&) {
    if (event == xmpp::LinkEvent::kDisconnected) linkEnded_ = true;
  });
}

void TestClient::Connect() {
  linkEnded_ = false;
  if (!connection_.ConnectClient("127.0.0.1", client_port_, jid_, XmppServer::PasswordOf(user_)) ||
      !RunUntil(context_, [this] { return connection_.connected() || linkEnded_; }) ||
      !connection_.connected()) {
    throw std::runtime_error(jid_ + " cannot log in");
  }
}

void TestClient::Join(const std::string& room, const std::string& nick) {
  SendPresence(room + "/" + nick, "");
}

void TestClient::Leave(const std::string& room, const std::string& nick) {
  SendPresence(room + "/" + nick, "unavailable");
}

void TestClient::SendPresence(const std::string& occupant, const std::string& type) {
  const std::size_t before = received_.size();
  Send("<presence to='" + occupant + "'" + (type.empty() ? "" : " type='" + type + "'") + "/>");
  const bool answered = RunUntil(context_, [&] {
    for (std::size_t i = before; i < received_.size(); ++i) {
      if (received_[i].name == "presence" && received_[i].from == occupant &&
          received_[i].type == type) {
        return true;
      }
    }
    return false;
  });
  if (!answered) throw std::runtime_error(jid_ + " got no presence back from " + occupant);
}

void TestClient::Disconnect() {
  connection_.Disconnect();
  RunUntil(context_, [this] { return connection_.disconnected(); });
}

void TestClient::Send(const std::string& xml) {
  const xmpp::Stanza stanza = xmpp::FromText(context_.get(), xml);
  if (stanza == nullptr) throw std::runtime_error("libstrophe cannot read " + xml.substr(0, 80));
  connection_.Send(stanza.get());
}

const ReceivedStanza* TestClient::AnswerTo(const std::string& id) const {
  for (const ReceivedStanza& stanza : received_) {
    if (stanza.name == "iq" && stanza.id == id &&
        (stanza.type == "result" || stanza.type == "error"))
      return &stanza;
  }
  return nullptr;
}

}  // namespace quenlo::xmpp_test
