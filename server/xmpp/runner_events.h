// What GatewayRunner tells whoever watches over the process (a service manager, a health check):
// when the component connects and disconnects, and that its loop still turns.
#pragma once

#include <string>

namespace quenlo::server {

class RunnerEvents {
 public:
  virtual ~RunnerEvents() = default;

  // The component is connected and serving.
  virtual void Connected() = 0;
  // The connection ended; `reason` says why (empty when the runner was told to stop).
  virtual void Disconnected(const std::string& reason) = 0;
  // The runner's loop turned: called at least every 250 ms while it runs, connected or not, and
  // never while it is stuck (in a request, on the store).
  virtual void Alive() = 0;
};

}  // namespace quenlo::server
