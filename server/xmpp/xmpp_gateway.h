// The conference service behind an XMPP external component: presence to room@domain/nick joins
// and leaves rooms, every iq get/set to a room goes to the service with the sender's full JID,
// and every delivery goes out as a stanza. Every iq get/set gets exactly one answer: what the
// service drops unanswered gets an XMPP error instead.
#pragma once

#include <strophe.h>

#include <string>
#include <vector>

#include "server/conference_server.h"
#include "server/xmpp/service_log.h"
#include "xmpp/connection.h"

namespace quenlo::server {

class XmppGateway {
 public:
  // Registers its handlers on `connection`; both must outlive the component's use of them.
  XmppGateway(ConferenceServer& service, xmpp::Connection& connection, const ServiceLog& log);

  // Ends the votes whose time ran out and sends their pushes.
  void Tick();

 private:
  void HandleIq(xmpp_stanza_t* iq);
  void HandlePresence(xmpp_stanza_t* presence);
  void Refuse(xmpp_stanza_t* request, const char* error_type, const char* condition,
              const std::string& why);
  void Deliver(const std::vector<Delivery>& deliveries);
  void SendSelfPresence(const std::string& occupant, const std::string& to, bool available);

  ConferenceServer& service_;
  xmpp::Connection& connection_;
  const ServiceLog& log_;
};

}  // namespace quenlo::server
