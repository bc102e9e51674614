// Tells what each participant of a played meeting saw in sentences and tables, from the event
// lines their confhost printed ("[Name] /path field=value ..." with entries indented below), as
// scripts/demo tells its meeting. Lines it does not know are passed on as they are.
#pragma once

#include <map>
#include <ostream>
#include <string>
#include <vector>

namespace quenlo::xmpp_test {

class MeetingNarrator {
 public:
  explicit MeetingNarrator(std::ostream& out) : out_(out) {}
  ~MeetingNarrator() { Flush(); }

  // One line `user`'s confhost printed.
  void Line(const std::string& user, const std::string& line);
  // Tells the event still waiting for its entries.
  void Flush();

 private:
  struct Event {
    std::string who;
    std::string path;
    std::map<std::string, std::string> fields;
    // Each entry's depth, kind and fields.
    std::vector<std::pair<int, std::map<std::string, std::string>>> entries;
  };

  void Tell(const Event& event);

  std::ostream& out_;
  Event pending_;
  bool hasPending_ = false;
};

}  // namespace quenlo::xmpp_test
