#include "server/http/operator_site.h"

#include <string_view>

#include "server/http/prometheus_text.h"
#include "server/vote.h"

namespace quenlo::server::http {
namespace {

constexpr std::string_view kVoteStates[] = {"drafted", "ready", "running", "ended"};
static_assert(std::size(kVoteStates) == std::tuple_size_v<VoteCounts>);

HttpAnswer Text(unsigned status, std::string body) {
  HttpAnswer answer;
  answer.status = status;
  answer.body = std::move(body);
  return answer;
}

}  // namespace

HttpAnswer OperatorSite::Answer(const HttpRequest& request) {
  if (request.method != "GET" && request.method != "HEAD") {
    HttpAnswer refused = Text(405, "only GET and HEAD\n");
    refused.headers.emplace_back("Allow", "GET, HEAD");
    return refused;
  }
  const std::string_view path =
      std::string_view(request.target).substr(0, request.target.find('?'));
  if (path == "/healthz") return Text(200, "ok\n");
  if (path == "/readyz") return Readiness();
  if (path == "/metrics") return Metrics();
  return Text(404, "not found\n");
}

HttpAnswer OperatorSite::Readiness() const {
  if (!metrics_.connected()) return Text(503, "not ready: not connected to the XMPP server\n");
  if (!metrics_.store_writable()) {
    return Text(503, "not ready: the store failed to keep the last change\n");
  }
  return Text(200, "ready\n");
}

HttpAnswer OperatorSite::Metrics() {
  const ConferenceServer::Census census = service_.Count();
  PrometheusText out;
  out.Family("confserver_rooms", "gauge", "Rooms open.");
  out.Sample("confserver_rooms", {}, static_cast<double>(census.rooms));
  out.Family("confserver_members", "gauge", "Members in the rooms, over all rooms.");
  out.Sample("confserver_members", {}, static_cast<double>(census.members));
  out.Family("confserver_votes", "gauge", "Votes kept, by state, over all rooms.");
  for (std::size_t state = 0; state < census.votes.size(); ++state) {
    out.Sample("confserver_votes", {{"state", kVoteStates[state]}},
               static_cast<double>(census.votes[state]));
  }
  out.Family("confserver_requests_total", "counter",
             "Requests handled, by kind and outcome (ok, or why they were refused).");
  for (const auto& [key, count] : metrics_.requests()) {
    out.Sample("confserver_requests_total", {{"kind", key.first}, {"outcome", key.second}},
               static_cast<double>(count));
  }
  out.Histogram("confserver_request_duration_seconds",
                "Time from a request's arrival to its answers being queued.",
                metrics_.request_seconds());
  out.Histogram("confserver_store_commit_duration_seconds",
                "Time the store took to commit one transaction.", metrics_.commit_seconds());
  out.Family("confserver_store_failures_total", "counter",
             "Transactions the store failed to keep (each one refused and undone).");
  out.Sample("confserver_store_failures_total", {}, static_cast<double>(metrics_.store_failures()));
  out.Family("confserver_store_writable", "gauge",
             "1 unless the store failed to keep the last transaction.");
  out.Sample("confserver_store_writable", {}, metrics_.store_writable() ? 1 : 0);
  out.Family("confserver_xmpp_connected", "gauge",
             "1 while the component is connected to the XMPP server.");
  out.Sample("confserver_xmpp_connected", {}, metrics_.connected() ? 1 : 0);
  out.Family("confserver_reconnects_total", "counter",
             "Connections to the XMPP server made again after one was lost.");
  out.Sample("confserver_reconnects_total", {}, static_cast<double>(metrics_.reconnects()));
  out.Family("confserver_page_streams", "gauge", "Room page event streams open now.");
  out.Sample("confserver_page_streams", {}, static_cast<double>(openStreams_()));
  HttpAnswer answer = Text(200, out.text());
  answer.content_type = kPrometheusContentType;
  return answer;
}

}  // namespace quenlo::server::http
