// One announcement of the module, as the host keeps it: its own copy of the path and its own
// reference to the result object, so that it outlives the RaiseEvent call.
#pragma once

#include <quenlo/platform.h>

#include <functional>
#include <string>

#include "component/com_ptr.h"

namespace quenlo::host {

// The result object's code lives in the module: an event kept must go before the module is
// unloaded, that is before the last participant holding the module leaves.
struct HostEvent {
  std::u16string path;
  ComPtr<IUnknown> result;  // empty when the module announced a null object
};

using EventListener = std::function<void(const HostEvent&)>;

}  // namespace quenlo::host
