#include "service_process.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>
#include <utility>

namespace quenlo::server::testing {

ServiceProcess::ServiceProcess(std::string store_path) : store_path_(std::move(store_path)) {
  // A write to a service just killed must fail, not end the test.
  signal(SIGPIPE, SIG_IGN);
}

ServiceProcess::~ServiceProcess() {
  Kill();
  if (from_service_ != nullptr) fclose(from_service_);
}

void ServiceProcess::Start() {
  Kill();
  if (from_service_ != nullptr) fclose(std::exchange(from_service_, nullptr));
  int input[2];
  int output[2];
  if (pipe(input) != 0 || pipe(output) != 0) throw std::runtime_error("pipe failed");
  pid_ = fork();
  if (pid_ < 0) throw std::runtime_error("fork failed");
  if (pid_ == 0) {
    dup2(input[0], STDIN_FILENO);
    dup2(output[1], STDOUT_FILENO);
    close(input[0]);
    close(input[1]);
    close(output[0]);
    close(output[1]);
    execl(QUENLO_STORE_SERVICE, QUENLO_STORE_SERVICE, store_path_.c_str(),
          static_cast<char*>(nullptr));
    _exit(127);
  }
  close(input[0]);
  close(output[1]);
  to_service_ = fdopen(input[1], "w");
  from_service_ = fdopen(output[0], "r");
}

void ServiceProcess::Kill() {
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }
  if (to_service_ != nullptr) fclose(std::exchange(to_service_, nullptr));
  // What the service wrote before it died stays readable until the next start.
}

void ServiceProcess::Write(const std::string& line) {
  if (to_service_ == nullptr) return;
  fputs((line + "\n").c_str(), to_service_);
  fflush(to_service_);
}

std::optional<std::vector<std::string>> ServiceProcess::ReadAnswer() {
  std::vector<std::string> lines;
  char* buffer = nullptr;
  std::size_t capacity = 0;
  std::optional<std::vector<std::string>> answer;
  while (from_service_ != nullptr) {
    const ssize_t length = getline(&buffer, &capacity, from_service_);
    if (length <= 0 || buffer[length - 1] != '\n') break;
    std::string line(buffer, static_cast<std::size_t>(length - 1));
    if (line == ".") {
      answer = std::move(lines);
      break;
    }
    lines.push_back(std::move(line));
  }
  free(buffer);
  return answer;
}

std::vector<std::string> ServiceProcess::Call(const std::string& line) {
  Write(line);
  auto answer = ReadAnswer();
  if (!answer) throw std::runtime_error("the service died answering: " + line);
  return std::move(*answer);
}

}  // namespace quenlo::server::testing
