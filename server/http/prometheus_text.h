// Metrics written in Prometheus' text exposition format (version 0.0.4): each family as its HELP
// and TYPE lines followed by its samples, label values and help texts escaped, histograms as
// cumulative buckets up to +Inf with their _sum and _count. The caller keeps each family's
// samples together and names them validly ([a-zA-Z_:][a-zA-Z0-9_:]*); the writer escapes the
// rest.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "server/service_metrics.h"

namespace quenlo::server::http {

inline constexpr char kPrometheusContentType[] = "text/plain; version=0.0.4; charset=utf-8";

using Labels = std::vector<std::pair<std::string_view, std::string_view>>;

class PrometheusText {
 public:
  // Starts the family `name` of `type` ("counter", "gauge", "histogram").
  void Family(std::string_view name, std::string_view type, std::string_view help);
  void Sample(std::string_view name, const Labels& labels, double value);
  // A whole histogram family of one unlabelled series.
  void Histogram(std::string_view name, std::string_view help, const LatencyHistogram& histogram);

  const std::string& text() const { return text_; }

 private:
  std::string text_;
};

}  // namespace quenlo::server::http
