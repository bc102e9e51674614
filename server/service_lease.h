// Who may serve the rooms of a store. One service at a time holds the lease; another one waits
// for it (a standby) or gives up. A lease held across machines can lose its hold without its
// holder's doing (the network parts it from the lock's keeper): such a lease also fences the
// store's writes with a number that grows with each holding, so that a holder that has not yet
// noticed its loss cannot change what its successor serves, and the service asks StillHeld
// several times a second and stops serving as soon as it answers false.
#pragma once

#include <atomic>
#include <chrono>

namespace quenlo::server {

class ServiceLease {
 public:
  virtual ~ServiceLease() = default;

  // One try, without waiting: true when this service holds the lease now (or held it already),
  // false when another one does. Throws StoreError when it cannot tell.
  virtual bool TryAcquire() = 0;
  // False once a lease this service held is lost (or was never taken).
  virtual bool StillHeld() = 0;
};

// Tries `lease` every `period` until this service holds it (true) or `stop` is set (false).
bool WaitForLease(ServiceLease& lease, const std::atomic<bool>& stop,
                  std::chrono::milliseconds period);

}  // namespace quenlo::server
