// The conference service behind an XMPP external component: presence to room@domain/nick joins
// and leaves rooms, every iq get/set to a room goes to the service with the sender's full JID,
// and every delivery goes out as a stanza. Every iq get/set gets exactly one answer: what the
// service drops unanswered gets an XMPP error instead. Members outlive a restart: once connected,
// the gateway pings each member the store kept from its room address, keeps those still there
// (and tells them they are in) and drops those gone; a stop tells every member the service is
// going away. No stanza larger than the service's max_stanza_bytes() leaves: the XMPP server
// would close the connection. Every request (an iq get or set, a join or a leave) is counted in
// the metrics given, with its outcome and the time its handling took.
#pragma once

#include <strophe.h>

#include <chrono>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "server/conference_server.h"
#include "server/service_metrics.h"
#include "server/xmpp/service_log.h"
#include "xmpp/connection.h"
#include "xmpp/jid.h"

namespace quenlo::server {

class XmppGateway {
 public:
  // Registers its handlers on `connection`; both (and `metrics`, when given) must outlive the
  // component's use of them.
  XmppGateway(ConferenceServer& service, xmpp::Connection& connection, const ServiceLog& log,
              ServiceMetrics* metrics = nullptr);

  // Ends the votes whose time ran out and sends their pushes; keeps the members whose check went
  // unanswered for too long.
  void Tick();
  // Asks every member whether it is still there; called once connected.
  void CheckMembers();
  // Tells every member the service is going away (status 332, system shutdown). They stay
  // members: the next start checks them again.
  void SayGoodbye();

 private:
  // A ping to a member the store kept, waiting for its answer.
  struct Check {
    std::string room;
    Member member;
    std::chrono::steady_clock::time_point deadline;
  };

  // The Handle* functions of requests give the outcome counted: "ok" or why it was refused.
  void HandleIq(xmpp_stanza_t* iq);
  std::string_view HandleRequest(xmpp_stanza_t* iq);
  void HandleCheckAnswer(xmpp_stanza_t* answer);
  std::string_view HandleOccupantIq(xmpp_stanza_t* iq, const xmpp::Jid& occupant);
  // `answer` says what the member's address answered, for the log.
  void EndCheck(std::map<std::string, Check>::iterator check, bool present,
                const std::string& answer);
  void ForgetCheck(const std::string& room, const std::string& address);
  void HandlePresence(xmpp_stanza_t* presence);
  std::string_view HandleJoin(xmpp_stanza_t* presence, const xmpp::Jid& occupant);
  void Refuse(xmpp_stanza_t* request, const char* error_type, const char* condition,
              const std::string& why);
  void Deliver(const std::vector<Delivery>& deliveries);
  // Sends one stanza's text, unless it is over the service's size limit.
  void Send(const std::string& xml);
  // `status` adds a second status code to 110 (this presence is about you).
  void SendSelfPresence(const std::string& occupant, const std::string& to, bool available,
                        const char* status = nullptr);

  ConferenceServer& service_;
  xmpp::Connection& connection_;
  const ServiceLog& log_;
  ServiceMetrics* metrics_;
  std::map<std::string, Check> checks_;  // by the ping's id
  std::uint64_t nextCheckId_ = 1;
};

}  // namespace quenlo::server
