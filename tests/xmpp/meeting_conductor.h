// Plays a meeting over XMPP with one confhost process per participant: starts an XMPP server of
// its own (the one StartXmppServer chooses) and confserver on it, feeds each participant's lines to
// its confhost shell one at a time, waiting each time until that participant has handled everything
// the line caused, and keeps what every participant printed.
//
// A script holds one step per line ('#' starts a comment):
//   start USER NICK    USER@example.net joins the room as NICK in a confhost of its own
//   USER: LINE         USER's confhost runs LINE (any confhost verb)
//   stop USER          USER's confhost quits, leaving the room and closing its stream
//   pause SECONDS      everybody waits
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace quenlo::xmpp_test {

class MeetingConductor {
 public:
  // Hears each line a participant prints, as soon as it is printed.
  using LineObserver = std::function<void(const std::string& user, const std::string& line)>;

  // Throws std::invalid_argument naming the script line that does not read. With `pages`,
  // confserver also serves the rooms' pages (on a free loopback port) and the first participant
  // to start asks for the room's.
  explicit MeetingConductor(const std::string& script, bool pages = false);

  // Plays the whole script, then runs `hold` (when given) before everything stops. Throws
  // std::runtime_error when a step cannot complete (a confhost that ends or stops answering, a
  // server that does not start).
  void Play(const LineObserver& observer = nullptr, const std::function<void()>& hold = nullptr);

  // The room page's address, once the first participant has asked for it; empty without pages.
  const std::string& page_address() const noexcept { return pageAddress_; }

  // What each user's confhost printed, in order (the marker lines left out).
  const std::map<std::string, std::string>& transcripts() const noexcept { return transcripts_; }

 private:
  struct Step {
    int line;
    std::vector<std::string> words;  // a directive and its arguments, or USER: and the line
    std::string text;                // the line given to a confhost
  };

  std::vector<Step> steps_;
  std::vector<std::string> users_;
  std::map<std::string, std::string> transcripts_;
  bool pages_ = false;
  std::string pageAddress_;
};

}  // namespace quenlo::xmpp_test
