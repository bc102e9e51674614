// xmpp_meeting: plays a meeting script over a Prosody of its own, with confserver (serving the
// room's live page) and one confhost per participant, and tells what each participant saw as
// it happens. With --hold, the service and the page stay up after the script until Ctrl-C.
// Usage: xmpp_meeting [--hold] SCRIPT
#include <csignal>
#include <fstream>
#include <iostream>
#include <sstream>
#include <thread>

#include "tests/xmpp/meeting_conductor.h"
#include "tests/xmpp/meeting_narrator.h"

namespace {

volatile std::sig_atomic_t interrupted = 0;

extern "C" void Interrupt(int) { interrupted = 1; }

}  // namespace

int main(int argc, char** argv) {
  const bool hold = argc == 3 && std::string(argv[1]) == "--hold";
  if (argc != 2 && !hold) {
    std::cerr << "usage: xmpp_meeting [--hold] SCRIPT\n";
    return 2;
  }
  const char* path = argv[argc - 1];
  std::ifstream file(path);
  if (!file) {
    std::cerr << "xmpp_meeting: cannot read " << path << '\n';
    return 2;
  }
  std::ostringstream script;
  script << file.rdbuf();
  std::signal(SIGINT, Interrupt);
  try {
    quenlo::xmpp_test::MeetingConductor conductor(script.str(), true);
    std::cout << "A meeting over XMPP: a Prosody of its own on loopback, confserver as its "
                 "conference service, one confhost process per participant.\n\n";
    quenlo::xmpp_test::MeetingNarrator narrator(std::cout);
    bool told_page = false;
    conductor.Play(
        [&](const std::string& user, const std::string& line) {
          if (!told_page && !conductor.page_address().empty()) {
            narrator.Flush();
            std::cout << "\nThe room's live page: " << conductor.page_address()
                      << "\n  (projector view: " << conductor.page_address()
                      << "?view=projector)\n\n";
            told_page = true;
          }
          narrator.Line(user, line);
          std::cout.flush();
        },
        [&] {
          narrator.Flush();
          if (!hold) return;
          std::cout << "\nThe service and the page stay up: open " << conductor.page_address()
                    << "\nCtrl-C ends the meeting." << std::endl;
          while (!interrupted) std::this_thread::sleep_for(std::chrono::milliseconds(100));
        });
    narrator.Flush();
    std::cout << "\nThe meeting is over; everything it started has stopped." << std::endl;
    return 0;
  } catch (const std::exception& error) {
    std::cerr << "xmpp_meeting: " << error.what() << '\n';
    return 1;
  }
}
