#include "tests/xmpp/terminal_process.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <optional>
#include <stdexcept>

namespace quenlo::xmpp_test {

TerminalProcess::TerminalProcess(std::vector<std::string> arguments) {
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  winsize size{};
  size.ws_row = 40;
  size.ws_col = 200;
  const pid_t parent = getpid();
  pid_ = forkpty(&terminal_, nullptr, nullptr, &size);
  if (pid_ == 0) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(127);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  if (pid_ < 0) throw std::runtime_error("cannot start " + arguments.front() + " on a terminal");
  fcntl(terminal_, F_SETFL, fcntl(terminal_, F_GETFL) | O_NONBLOCK);
}

TerminalProcess::~TerminalProcess() {
  kill(pid_, SIGTERM);
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  int status = 0;
  while (waitpid(pid_, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > until) {
      kill(pid_, SIGKILL);
      waitpid(pid_, &status, 0);
      break;
    }
    ReadAvailable();  // a program blocked on a full terminal could not end
    usleep(10'000);
  }
  close(terminal_);
}

void TerminalProcess::Type(const std::string& keys) {
  std::size_t written = 0;
  while (written < keys.size()) {
    const ssize_t count = write(terminal_, keys.data() + written, keys.size() - written);
    if (count <= 0) throw std::runtime_error("cannot type into the terminal");
    written += static_cast<std::size_t>(count);
  }
}

std::optional<std::size_t> TerminalProcess::WaitFor(const std::string& text, std::size_t from,
                                                    std::chrono::milliseconds timeout) {
  const auto until = std::chrono::steady_clock::now() + timeout;
  while (true) {
    ReadAvailable();
    if (const std::size_t found = screen_.find(text, from); found != std::string::npos) {
      return found + text.size();
    }
    if (std::chrono::steady_clock::now() >= until) return std::nullopt;
    pollfd output{terminal_, POLLIN, 0};
    poll(&output, 1, 10);
  }
}

const std::string& TerminalProcess::screen() {
  ReadAvailable();
  return screen_;
}

void TerminalProcess::ReadAvailable() {
  char chunk[4096];
  for (ssize_t count; (count = read(terminal_, chunk, sizeof chunk)) > 0;) {
    screen_.append(chunk, static_cast<std::size_t>(count));
  }
}

}  // namespace quenlo::xmpp_test
