#pragma once

#include <chrono>
#include <functional>

namespace quenlo::server {

using TimePoint = std::chrono::steady_clock::time_point;

// Where the server reads the time; tests inject one they can move forward by hand.
using Clock = std::function<TimePoint()>;

}  // namespace quenlo::server
