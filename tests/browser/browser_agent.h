// Headless Chromium steered by tests/browser/page_agent.mjs (playwright-core): the C++ tests send
// it commands and read their answers.
#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "tests/xmpp/child_process.h"

namespace quenlo::browser_test {

class BrowserAgent {
 public:
  // `folder` keeps the agent's output. Throws std::runtime_error when it cannot start.
  explicit BrowserAgent(const std::string& folder);
  ~BrowserAgent();

  // Runs one command (a JSON object's members without the braces, e.g. "\"command\":\"content\"")
  // and gives its answer's JSON value. Throws std::runtime_error with the browser's reason when
  // it fails, or when no answer comes within `timeout`.
  std::string Do(const std::string& members,
                 std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
    return Await(Start(members), timeout);
  }
  // The same in two halves: the command starts, and the test goes on until it awaits the answer.
  int Start(const std::string& members);
  std::string Await(int id, std::chrono::milliseconds timeout = std::chrono::seconds(20));

 private:
  std::string outputFile_;
  std::unique_ptr<xmpp_test::ChildProcess> process_;
  int nextId_ = 0;
};

// A JSON string literal of `text` (quotes included).
std::string Json(const std::string& text);

}  // namespace quenlo::browser_test
