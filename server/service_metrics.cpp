#include "server/service_metrics.h"

#include <algorithm>

namespace quenlo::server {

void LatencyHistogram::Observe(std::chrono::steady_clock::duration took) {
  const double seconds = std::chrono::duration<double>(took).count();
  const auto bucket = std::lower_bound(kBounds.begin(), kBounds.end(), seconds) - kBounds.begin();
  ++counts_[static_cast<std::size_t>(bucket)];
  sum_ += seconds;
  ++count_;
}

void ServiceMetrics::CountRequest(std::string_view kind, std::string_view outcome,
                                  std::chrono::steady_clock::duration took) {
  ++requests_[{std::string(kind), std::string(outcome)}];
  requestSeconds_.Observe(took);
}

void ServiceMetrics::CountCommit(std::chrono::steady_clock::duration commit_took) {
  commitSeconds_.Observe(commit_took);
  storeWritable_ = true;
}

void ServiceMetrics::CountStoreFailure() {
  ++storeFailures_;
  storeWritable_ = false;
}

void ServiceMetrics::CountConnected() {
  connected_ = true;
  ++connections_;
}

void ServiceMetrics::CountDisconnected() { connected_ = false; }

}  // namespace quenlo::server
