#pragma once

namespace quenlo::server {

// Who must learn of an answered request: its sender alone, or also everybody else in the room
// (then the others receive the same query as an unsolicited push).
enum class Audience { kSender, kRoom };

}  // namespace quenlo::server
