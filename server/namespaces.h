#pragma once

namespace quenlo::server {

inline constexpr char kVotingNamespace[] = "quenlo:conf:voting";
inline constexpr char kAgendaNamespace[] = "quenlo:conf:agenda";

}  // namespace quenlo::server
