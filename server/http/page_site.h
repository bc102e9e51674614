// The rooms' pages on the HTTP listener. Every address is under /room/TOKEN, where TOKEN is the
// room page's secret token:
//   /room/TOKEN              the page (?view=projector for the wall, the phone view otherwise)
//   /room/TOKEN/events       its live updates, as Server-Sent Events
//   /room/TOKEN/result.csv   the final result, once the vote has ended
//   /room/TOKEN/page.js, /room/TOKEN/page.css
// Anything else, and every address of a token that is unknown or was replaced, gets the same
// 404: nothing tells a room that exists from one that does not.
#pragma once

#include "server/conference_server.h"
#include "server/http/http_listener.h"

namespace quenlo::server::http {

class PageSite : public HttpSite {
 public:
  explicit PageSite(ConferenceServer& service) : service_(service) {}

  HttpAnswer Answer(const HttpRequest& request) override;
  std::optional<std::uint64_t> Revision(const std::string& channel) override;
  std::string Event(const std::string& channel) override;
  std::string Farewell() override;

 private:
  ConferenceServer& service_;
};

}  // namespace quenlo::server::http
