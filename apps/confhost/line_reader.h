// Reads the shell's lines while the meeting goes on: with line editing and history (libedit) on
// a terminal, plainly from standard input otherwise, so that the shell can also be fed by a pipe.
// While no line is complete it keeps calling the idle function (a few dozen times a second), so
// that what arrives meanwhile is handled and printed at once; on a terminal, what is printed then
// appears above the line being typed, which is drawn again below it, unbroken.
#pragma once

#include <functional>
#include <optional>
#include <ostream>
#include <streambuf>
#include <string>

namespace quenlo::confhost {

class LineReader {
 public:
  explicit LineReader(std::function<void()> idle);
  LineReader(const LineReader&) = delete;
  LineReader& operator=(const LineReader&) = delete;
  ~LineReader();

  // Empty at the end of input.
  std::optional<std::string> Read(const std::string& prompt);
  // True when the lines come from a terminal.
  bool interactive() const noexcept { return interactive_; }
  // Where the shell prints: standard output, written line by line, around the line being typed.
  std::ostream& out() noexcept { return out_; }

 private:
  // Hands each complete line to the terminal as soon as it is written; at the prompt, what was
  // written since the last flush, all at once.
  class LineOutput final : public std::streambuf {
   public:
    explicit LineOutput(LineReader& reader) : reader_(reader) {}

   protected:
    int_type overflow(int_type c) override;
    std::streamsize xsputn(const char* text, std::streamsize count) override;
    int sync() override;

   private:
    LineReader& reader_;
    std::string pending_;
  };

  std::optional<std::string> ReadEdited(const std::string& prompt);
  std::optional<std::string> ReadPlain();
  // Waits a little for input; false at its end.
  bool WaitForInput();
  void Write(const std::string& text);
  static void TakeLine(char* line);

  std::function<void()> idle_;
  bool interactive_;
  bool atPrompt_ = false;
  std::optional<std::string> line_;
  bool lineDone_ = false;
  std::string unread_;  // input read from a pipe, not yet a whole line
  bool inputEnded_ = false;
  LineOutput buffer_{*this};
  std::ostream out_{&buffer_};
};

}  // namespace quenlo::confhost
