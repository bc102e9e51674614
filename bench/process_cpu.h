// CPU time of processes the benchmarks start, read from /proc, so that a figure can say which
// process a request's time went to whatever else the machine runs.
#pragma once

#include <sys/types.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

namespace quenlo::bench {

// The fields of /proc/PID/stat after the command's name: [0] is the state, [1] the parent,
// [11] and [12] the user and system time in clock ticks.
inline bool StatFields(const std::string& stat_path, std::string (&fields)[13]) {
  std::ifstream stat(stat_path);
  const std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  const auto name_end = text.rfind(')');
  if (name_end == std::string::npos) return false;
  std::istringstream rest(text.substr(name_end + 2));
  for (std::string& field : fields) {
    if (!(rest >> field)) return false;
  }
  return true;
}

// CPU seconds (user and system) a process has spent so far; with `children`, those of the
// processes it started and that still run too (a database server's sessions and workers).
inline double CpuSeconds(pid_t pid, bool children = false) {
  unsigned long long ticks = 0;
  std::string fields[13];
  if (StatFields("/proc/" + std::to_string(pid) + "/stat", fields)) {
    ticks += std::stoull(fields[11]) + std::stoull(fields[12]);
  }
  if (children) {
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
      const std::string name = entry.path().filename();
      if (name.find_first_not_of("0123456789") != std::string::npos) continue;
      if (StatFields(entry.path() / "stat", fields) && fields[1] == std::to_string(pid)) {
        ticks += std::stoull(fields[11]) + std::stoull(fields[12]);
      }
    }
  }
  return static_cast<double>(ticks) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

}  // namespace quenlo::bench
