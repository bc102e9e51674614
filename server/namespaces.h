#pragma once

namespace quenlo::server {

inline constexpr char kVotingNamespace[] = "quenlo:conf:voting";
inline constexpr char kAgendaNamespace[] = "quenlo:conf:agenda";
inline constexpr char kAdminNamespace[] = "quenlo:conf:admin";

}  // namespace quenlo::server
