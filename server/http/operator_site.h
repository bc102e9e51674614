// What operators and their monitoring ask of the service, on a listener of its own (loopback
// unless told otherwise), never on the public pages' one:
//   /healthz   200 while the service's loop turns (it answers from that loop)
//   /readyz    200 when the component is connected and the store kept its last transaction,
//              503 with the reason otherwise
//   /metrics   the metrics in Prometheus' text format
// Anything else gets 404, and any method but GET or HEAD 405.
#pragma once

#include <cstddef>
#include <functional>

#include "server/conference_server.h"
#include "server/http/http_listener.h"
#include "server/service_metrics.h"

namespace quenlo::server::http {

class OperatorSite : public HttpSite {
 public:
  // `open_streams` tells how many page streams are open now.
  OperatorSite(ConferenceServer& service, const ServiceMetrics& metrics,
               std::function<std::size_t()> open_streams)
      : service_(service), metrics_(metrics), openStreams_(std::move(open_streams)) {}

  HttpAnswer Answer(const HttpRequest& request) override;
  std::optional<std::uint64_t> Revision(const std::string&) override { return std::nullopt; }
  std::string Event(const std::string&) override { return {}; }
  std::string Farewell() override { return {}; }

 private:
  HttpAnswer Readiness() const;
  HttpAnswer Metrics();

  ConferenceServer& service_;
  const ServiceMetrics& metrics_;
  std::function<std::size_t()> openStreams_;
};

}  // namespace quenlo::server::http
