// confserver's log: one line per event on stderr. Quiet keeps only failures; verbose adds every
// stanza handled.
#pragma once

#include <iostream>
#include <string_view>

namespace quenlo::server {

enum class LogLevel { kQuiet, kNormal, kVerbose };

class ServiceLog {
 public:
  explicit ServiceLog(LogLevel level) : level_(level) {}

  void Failure(std::string_view line) const { Write(LogLevel::kQuiet, line); }
  void Event(std::string_view line) const { Write(LogLevel::kNormal, line); }
  void Detail(std::string_view line) const { Write(LogLevel::kVerbose, line); }

 private:
  void Write(LogLevel least, std::string_view line) const {
    if (level_ >= least) std::cerr << "confserver: " << line << std::endl;
  }

  LogLevel level_;
};

}  // namespace quenlo::server
