// A program the tests drive as a person at a terminal would: it runs on a pseudo-terminal of its
// own, keys are typed into it, and the test reads the screen's output as it comes. It dies with
// the test process and is ended by PID when its owner goes.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace quenlo::xmpp_test {

class TerminalProcess {
 public:
  // Throws std::runtime_error when the program cannot be started.
  explicit TerminalProcess(std::vector<std::string> arguments);
  TerminalProcess(const TerminalProcess&) = delete;
  TerminalProcess& operator=(const TerminalProcess&) = delete;
  ~TerminalProcess();

  void Type(const std::string& keys);
  // Waits until the output since `from` (an offset into screen()) holds `text`; the offset just
  // after it, or nothing when `timeout` passes first.
  std::optional<std::size_t> WaitFor(const std::string& text, std::size_t from,
                                     std::chrono::milliseconds timeout);
  // Everything the program wrote to its terminal so far.
  const std::string& screen();

 private:
  void ReadAvailable();

  pid_t pid_ = -1;
  int terminal_ = -1;
  std::string screen_;
};

}  // namespace quenlo::xmpp_test
