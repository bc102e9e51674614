#include "server/service_lease.h"

#include <algorithm>
#include <thread>

namespace quenlo::server {

bool WaitForLease(ServiceLease& lease, const std::atomic<bool>& stop,
                  std::chrono::milliseconds period) {
  // Short naps, so that a stop is heard at once however long the period.
  const auto nap = std::min(period, std::chrono::milliseconds(50));
  while (!stop) {
    if (lease.TryAcquire()) return true;
    const auto until = std::chrono::steady_clock::now() + period;
    while (!stop && std::chrono::steady_clock::now() < until) std::this_thread::sleep_for(nap);
  }
  return false;
}

}  // namespace quenlo::server
