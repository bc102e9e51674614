// What the service counts for its operators: requests by kind and outcome, how long they and the
// store's commits take, connections to the XMPP server and the store's last word. Counted where
// things happen, in memory only; whoever shows them (the operators' HTTP endpoint) reads them on
// the same thread that counts, the service's one thread.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <utility>

namespace quenlo::server {

// Durations in fixed buckets, in seconds: from half a millisecond (a read answered from memory)
// to seconds (a commit waiting for a slow disk or a distant database).
class LatencyHistogram {
 public:
  static constexpr std::array<double, 13> kBounds{0.0005, 0.001, 0.0025, 0.005, 0.01, 0.025, 0.05,
                                                  0.1,    0.25,  0.5,    1,     2.5,  5};

  void Observe(std::chrono::steady_clock::duration took);

  // How many observations fell in each bucket alone: [i] those above kBounds[i-1] up to
  // kBounds[i], the last one those above every bound.
  const std::array<std::uint64_t, kBounds.size() + 1>& counts() const { return counts_; }
  double sum_seconds() const { return sum_; }
  std::uint64_t count() const { return count_; }

 private:
  std::array<std::uint64_t, kBounds.size() + 1> counts_{};
  double sum_ = 0;
  std::uint64_t count_ = 0;
};

class ServiceMetrics {
 public:
  // (kind, outcome): the request's kind ("voting", "join", ...) and "ok" or why it was refused.
  using RequestKey = std::pair<std::string, std::string>;

  // One request handled: its answer's outcome and how long handling it took.
  void CountRequest(std::string_view kind, std::string_view outcome,
                    std::chrono::steady_clock::duration took);
  // One transaction kept; `commit_took` is the commit alone.
  void CountCommit(std::chrono::steady_clock::duration commit_took);
  // One transaction the store failed to keep.
  void CountStoreFailure();
  void CountConnected();
  void CountDisconnected();

  const std::map<RequestKey, std::uint64_t>& requests() const { return requests_; }
  const LatencyHistogram& request_seconds() const { return requestSeconds_; }
  const LatencyHistogram& commit_seconds() const { return commitSeconds_; }
  std::uint64_t store_failures() const { return storeFailures_; }
  // False from a failed transaction until one is kept again.
  bool store_writable() const { return storeWritable_; }
  bool connected() const { return connected_; }
  // Connections made after the first: each one a connection that was lost and made again.
  std::uint64_t reconnects() const { return connections_ == 0 ? 0 : connections_ - 1; }

 private:
  std::map<RequestKey, std::uint64_t> requests_;
  LatencyHistogram requestSeconds_;
  LatencyHistogram commitSeconds_;
  std::uint64_t storeFailures_ = 0;
  bool storeWritable_ = true;
  bool connected_ = false;
  std::uint64_t connections_ = 0;
};

}  // namespace quenlo::server
