#include "tests/xmpp/child_process.h"

#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace quenlo::xmpp_test {

ChildProcess::ChildProcess(std::vector<std::string> arguments, const std::string& output_file,
                           bool piped_input) {
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  int pipe_ends[2] = {-1, -1};
  if (piped_input && pipe2(pipe_ends, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  const int output = open(output_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (output < 0) throw std::runtime_error("cannot write " + output_file);
  const pid_t parent = getpid();
  pid_ = fork();
  if (pid_ == 0) {
    // A test that crashes must not leave servers behind.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(127);
    dup2(output, STDOUT_FILENO);
    dup2(output, STDERR_FILENO);
    if (piped_input) {
      dup2(pipe_ends[0], STDIN_FILENO);
    } else {
      const int null_input = open("/dev/null", O_RDONLY);
      dup2(null_input, STDIN_FILENO);
    }
    execvp(argv[0], argv.data());
    _exit(127);
  }
  close(output);
  if (piped_input) {
    close(pipe_ends[0]);
    input_ = pipe_ends[1];
  }
  if (pid_ < 0) throw std::runtime_error("cannot start " + arguments.front());
}

ChildProcess::~ChildProcess() {
  CloseInput();
  Stop(SIGTERM, std::chrono::seconds(5));
}

bool ChildProcess::Write(const std::string& text) {
  std::size_t written = 0;
  while (input_ >= 0 && written < text.size()) {
    const ssize_t count = write(input_, text.data() + written, text.size() - written);
    if (count <= 0) return false;
    written += static_cast<std::size_t>(count);
  }
  return input_ >= 0;
}

void ChildProcess::CloseInput() {
  if (input_ >= 0) close(input_);
  input_ = -1;
}

std::optional<int> ChildProcess::Stop(int signal, std::chrono::milliseconds timeout) {
  if (!running()) return status_;
  kill(pid_, signal);
  if (WaitForExit(timeout)) return status_;
  kill(pid_, SIGKILL);
  int status = 0;
  waitpid(pid_, &status, 0);
  status_ = status;
  return std::nullopt;
}

std::optional<int> ChildProcess::WaitForExit(std::chrono::milliseconds timeout) {
  const auto until = std::chrono::steady_clock::now() + timeout;
  while (running()) {
    if (std::chrono::steady_clock::now() >= until) return std::nullopt;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return status_;
}

bool ChildProcess::running() {
  if (status_ || pid_ <= 0) return false;
  int status = 0;
  if (waitpid(pid_, &status, WNOHANG) == pid_) status_ = status;
  return !status_;
}

std::string ReadFile(const std::string& path) {
  std::ifstream file(path);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

bool WaitForOutput(ChildProcess& process, const std::string& output_file, const std::string& text,
                   std::chrono::milliseconds timeout) {
  const auto until = std::chrono::steady_clock::now() + timeout;
  while (ReadFile(output_file).find(text) == std::string::npos) {
    if (!process.running() || std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

}  // namespace quenlo::xmpp_test
