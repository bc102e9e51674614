// A program the XMPP tests start: its standard output and error go to files, its standard input
// may be a pipe. It dies with the test process (even one that crashes) and is ended by PID when
// its owner goes.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace quenlo::xmpp_test {

class ChildProcess {
 public:
  // Throws std::runtime_error when the program cannot be started.
  ChildProcess(std::vector<std::string> arguments, const std::string& output_file,
               bool piped_input = false);
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  ~ChildProcess();

  pid_t pid() const noexcept { return pid_; }
  // Writes to the program's standard input (when piped); false when the pipe is closed.
  bool Write(const std::string& text);
  void CloseInput();

  // Sends `signal` and waits up to `timeout` for the exit; SIGKILL after that. The exit status
  // (as waitpid gives it), or nothing when it had to be killed.
  std::optional<int> Stop(int signal, std::chrono::milliseconds timeout);
  // Waits up to `timeout` for the program to end by itself.
  std::optional<int> WaitForExit(std::chrono::milliseconds timeout);
  bool running();

 private:
  pid_t pid_ = -1;
  int input_ = -1;
  std::optional<int> status_;
};

// Reads a whole file; empty when it cannot be read.
std::string ReadFile(const std::string& path);

// Waits until `process` has written `text` to `output_file`; false when it ends first or
// `timeout` passes.
bool WaitForOutput(ChildProcess& process, const std::string& output_file, const std::string& text,
                   std::chrono::milliseconds timeout);

}  // namespace quenlo::xmpp_test
