#pragma once

#include <chrono>
#include <functional>

namespace quenlo::server {

// Wall-clock time: a vote's start is stored, and its deadline must still mean the same moment
// after the service restarts.
using TimePoint = std::chrono::system_clock::time_point;

// Where the server reads the time; tests inject one they can move forward by hand.
using Clock = std::function<TimePoint()>;

}  // namespace quenlo::server
