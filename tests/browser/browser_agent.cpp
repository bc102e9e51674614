#include "tests/browser/browser_agent.h"

#include <csignal>
#include <stdexcept>
#include <thread>

namespace quenlo::browser_test {

std::string Json(const std::string& text) {
  std::string json = "\"";
  for (const char c : text) {
    if (c == '"' || c == '\\') json += '\\';
    json += c;
  }
  return json + "\"";
}

BrowserAgent::BrowserAgent(const std::string& folder)
    : outputFile_(folder + "/browser-agent.out"),
      process_(std::make_unique<xmpp_test::ChildProcess>(
          std::vector<std::string>{"node", QUENLO_PAGE_AGENT}, outputFile_, true)) {}

BrowserAgent::~BrowserAgent() {
  process_->CloseInput();
  process_->Stop(SIGTERM, std::chrono::seconds(5));
}

int BrowserAgent::Start(const std::string& members) {
  process_->Write("{\"id\":" + std::to_string(++nextId_) + "," + members + "}\n");
  return nextId_;
}

std::string BrowserAgent::Await(int id, std::chrono::milliseconds timeout) {
  const std::string tag = "@@" + std::to_string(id) + " ";
  const auto until = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < until) {
    const std::string output = xmpp_test::ReadFile(outputFile_);
    const std::size_t at = output.find(tag);
    const std::size_t end = at == std::string::npos ? at : output.find('\n', at);
    if (end != std::string::npos) {
      const std::string answer = output.substr(at + tag.size(), end - at - tag.size());
      if (answer.starts_with("ok ")) return answer.substr(3);
      throw std::runtime_error("the browser: " + answer);
    }
    if (!process_->running()) throw std::runtime_error("the browser agent ended:\n" + output);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  throw std::runtime_error("the browser did not answer command " + std::to_string(id) + ":\n" +
                           xmpp_test::ReadFile(outputFile_));
}

}  // namespace quenlo::browser_test
