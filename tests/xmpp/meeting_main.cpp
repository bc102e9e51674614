// xmpp_meeting: plays a meeting script over a Prosody of its own, with confserver and one
// confhost per participant, and prints what each participant saw as it happens.
// Usage: xmpp_meeting SCRIPT
#include <fstream>
#include <iostream>
#include <sstream>

#include "tests/xmpp/meeting_conductor.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: xmpp_meeting SCRIPT\n";
    return 2;
  }
  std::ifstream file(argv[1]);
  if (!file) {
    std::cerr << "xmpp_meeting: cannot read " << argv[1] << '\n';
    return 2;
  }
  std::ostringstream script;
  script << file.rdbuf();
  try {
    quenlo::xmpp_test::MeetingConductor conductor(script.str());
    conductor.Play([](const std::string& user, const std::string& line) {
      std::cout << user << " saw: " << line << std::endl;
    });
    return 0;
  } catch (const std::exception& error) {
    std::cerr << "xmpp_meeting: " << error.what() << '\n';
    return 1;
  }
}
