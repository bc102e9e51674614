#pragma once

#include <cstddef>

namespace quenlo::server {

// The longest texts the service keeps, in bytes of UTF-8. Whatever is stored is sent again, to
// many and for as long as the room lives, so a text is bounded where it comes in: a request over
// a bound is refused (code 8) and a join with a longer name is turned away. The bounds leave
// room for any real caption, subject or agenda entry.
inline constexpr std::size_t kMaxVoterNameBytes = 1023;  // what XMPP allows an occupant's nick
inline constexpr std::size_t kMaxCaptionBytes = 1024;
inline constexpr std::size_t kMaxSubjectTextBytes = 1024;
inline constexpr std::size_t kMaxSubjectIndexBytes = 64;
inline constexpr std::size_t kMaxAgendaQidBytes = 64;
inline constexpr std::size_t kMaxAgendaTextBytes = 1024;
inline constexpr std::size_t kMaxAgendaFieldBytes = 256;  // an item's time, type and value

}  // namespace quenlo::server
