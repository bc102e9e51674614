// A strict reader of Prometheus' text exposition format (0.0.4), written from the format's
// documentation rather than from our writer, so that each checks the other: lines end in line
// feeds, HELP and TYPE at most once per family and TYPE before its samples, a family's samples
// together, valid metric and label names, only the escapes \\, \" and \n, numbers as Go's
// ParseFloat reads them, no sample twice, histograms with increasing `le` bounds, cumulative
// buckets ending in +Inf equal to _count, and a _sum. Our own rule is checked too: a counter's
// name ends in _total.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace quenlo::server::testing {

struct PrometheusSample {
  std::string name;
  std::map<std::string, std::string> labels;
  double value = 0;
};

struct PrometheusFamily {
  std::string type = "untyped";  // unless a TYPE line said otherwise
  std::string help;              // unescaped
};

struct PrometheusExposition {
  std::map<std::string, PrometheusFamily> families;
  std::vector<PrometheusSample> samples;

  // The value of the sample of that name whose labels are exactly these; throws
  // std::out_of_range when there is none.
  double Value(const std::string& name,
               const std::map<std::string, std::string>& labels = {}) const;
};

// Throws std::invalid_argument naming the line and the first fault.
PrometheusExposition ParsePrometheus(std::string_view text);

}  // namespace quenlo::server::testing
