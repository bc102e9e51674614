#pragma once

#include <sys/types.h>

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace quenlo::server::testing {

// store_service running in a child process on one store file, spoken to over pipes, and
// killable at any moment. Killed when destroyed.
class ServiceProcess {
 public:
  explicit ServiceProcess(std::string store_path);
  ServiceProcess(const ServiceProcess&) = delete;
  ServiceProcess& operator=(const ServiceProcess&) = delete;
  ~ServiceProcess();

  void Start();
  // SIGKILL, then waits for the child.
  void Kill();

  // Writes one command line; the process may die before it answers.
  void Write(const std::string& line);
  // The deliveries ("ADDRESS XML" lines) answering the last command written, or nothing when
  // the process died before its answer was complete.
  std::optional<std::vector<std::string>> ReadAnswer();
  // Write and ReadAnswer; the process must answer.
  std::vector<std::string> Call(const std::string& line);

 private:
  std::string store_path_;
  pid_t pid_ = -1;
  FILE* to_service_ = nullptr;
  FILE* from_service_ = nullptr;
};

}  // namespace quenlo::server::testing
