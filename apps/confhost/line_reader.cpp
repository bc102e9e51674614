#include "apps/confhost/line_reader.h"

#include <editline/readline.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <utility>

namespace quenlo::confhost {
namespace {

// How long the reader waits for a key before it lets the meeting run again.
constexpr int kIdleEveryMs = 20;

// libedit's line handler carries no pointer of the caller's; one reader reads at a time.
LineReader* reading = nullptr;

}  // namespace

LineReader::LineReader(std::function<void()> idle)
    : idle_(std::move(idle)), interactive_(isatty(STDIN_FILENO) != 0) {}

LineReader::~LineReader() { out_.flush(); }

std::optional<std::string> LineReader::Read(const std::string& prompt) {
  out_.flush();
  return interactive_ ? ReadEdited(prompt) : ReadPlain();
}

std::optional<std::string> LineReader::ReadEdited(const std::string& prompt) {
  line_.reset();
  lineDone_ = false;
  reading = this;
  rl_callback_handler_install(prompt.c_str(), &LineReader::TakeLine);
  atPrompt_ = true;
  while (!lineDone_) {
    if (!WaitForInput()) break;
    if (!lineDone_) idle_();
  }
  atPrompt_ = false;
  rl_callback_handler_remove();
  reading = nullptr;
  if (line_ && !line_->empty()) add_history(line_->c_str());
  return line_;
}

void LineReader::TakeLine(char* line) {
  const std::unique_ptr<char, decltype(&std::free)> owned(line, &std::free);
  reading->lineDone_ = true;
  if (line != nullptr) reading->line_ = std::string(line);
}

bool LineReader::WaitForInput() {
  pollfd input{STDIN_FILENO, POLLIN, 0};
  const int ready = poll(&input, 1, kIdleEveryMs);
  if (ready < 0) return errno == EINTR;
  if (ready == 0) return true;
  // A terminal that hung up stays readable for ever without giving a key.
  if ((input.revents & POLLIN) == 0) return false;
  if (interactive_) {
    rl_callback_read_char();
    return true;
  }
  char chunk[4096];
  const ssize_t count = read(STDIN_FILENO, chunk, sizeof chunk);
  if (count < 0) return errno == EINTR || errno == EAGAIN;
  if (count == 0) return false;
  unread_.append(chunk, static_cast<std::size_t>(count));
  return true;
}

std::optional<std::string> LineReader::ReadPlain() {
  while (true) {
    if (const std::size_t end = unread_.find('\n'); end != std::string::npos) {
      std::string line = unread_.substr(0, end);
      unread_.erase(0, end + 1);
      return line;
    }
    if (inputEnded_) {
      if (unread_.empty()) return std::nullopt;
      return std::exchange(unread_, {});
    }
    if (!WaitForInput()) {
      inputEnded_ = true;
    } else if (unread_.find('\n') == std::string::npos) {
      idle_();
    }
  }
}

void LineReader::Write(const std::string& text) {
  if (!atPrompt_) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
    return;
  }
  // The terminal is in libedit's mode, where a newline may not return the carriage: the text
  // goes over the cleared line with explicit returns, and libedit draws the prompt and what was
  // typed so far below it.
  std::string shown = "\r\033[K";
  for (const char c : text) {
    if (c == '\n') shown += '\r';
    shown += c;
  }
  std::fwrite(shown.data(), 1, shown.size(), stdout);
  std::fflush(stdout);
  rl_forced_update_display();
}

LineReader::LineOutput::int_type LineReader::LineOutput::overflow(int_type c) {
  if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
  const char ch = traits_type::to_char_type(c);
  xsputn(&ch, 1);
  return c;
}

std::streamsize LineReader::LineOutput::xsputn(const char* text, std::streamsize count) {
  pending_.append(text, static_cast<std::size_t>(count));
  // At the prompt, what is printed waits for the flush, so that an event of several lines comes
  // out in one piece, with the typed line drawn once after it.
  if (reader_.atPrompt_) return count;
  if (const std::size_t end = pending_.rfind('\n'); end != std::string::npos) {
    reader_.Write(pending_.substr(0, end + 1));
    pending_.erase(0, end + 1);
  }
  return count;
}

int LineReader::LineOutput::sync() {
  if (!pending_.empty()) reader_.Write(std::exchange(pending_, {}));
  return 0;
}

}  // namespace quenlo::confhost
