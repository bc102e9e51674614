// A meeting of three participants on the module loaded by path, recording every event with
// everything its result object tells.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/in_process_conference.h"
#include "host/result_snapshot.h"
#include "host/utf8_text.h"

namespace quenlo::host {

struct SeenEvent {
  std::string participant;
  std::string path;
  ResultSnapshot result;
};

class MeetingTest : public ::testing::Test {
 protected:
  MeetingTest();

  // Delivers what is on the wire and hands over the events it caused, in order.
  std::vector<SeenEvent> Settle();
  // The one event that a settle is expected to bring.
  SeenEvent SettleOne();

  static void SetProperty(IConferenceSession& session, std::u16string_view name,
                          std::u16string_view value);
  // A vote applied for and uploaded by alice with the subjects "1" Pizza and "2" Sushi;
  // its qid.
  std::u16string UploadLunchVote(std::u16string_view registered, std::u16string_view timeout);

  InProcessConference conference_;
  Participant& alice_;
  Participant& bob_;
  Participant& carol_;

 private:
  std::vector<SeenEvent> events_;
};

// Texts of a field of every entry, e.g. the voter names of a subject.
std::vector<std::string> EntryValues(const ResultSnapshot& snapshot, std::string_view field);

}  // namespace quenlo::host
