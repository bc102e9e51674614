// Whole meetings over the test's XMPP server with one confhost process per participant: what each
// participant saw, line by line, against its expected transcript (scenarios/NAME.USER.expected).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "tests/xmpp/child_process.h"
#include "tests/xmpp/meeting_conductor.h"

namespace quenlo::xmpp_test {
namespace {

const std::filesystem::path kScenarios = QUENLO_XMPP_SCENARIOS;

void PlayAndCompare(const std::string& scenario) {
  MeetingConductor conductor(ReadFile(kScenarios / (scenario + ".txt")));
  conductor.Play();
  std::size_t compared = 0;
  for (const auto& entry : std::filesystem::directory_iterator(kScenarios)) {
    const std::string file = entry.path().filename().string();
    if (!file.starts_with(scenario + ".") || entry.path().extension() != ".expected") continue;
    const std::string user = entry.path().stem().string().substr(scenario.size() + 1);
    const auto seen = conductor.transcripts().find(user);
    ASSERT_NE(seen, conductor.transcripts().end()) << user << " saw nothing";
    EXPECT_EQ(seen->second, ReadFile(entry.path())) << "what " << user << " saw";
    ++compared;
  }
  EXPECT_EQ(compared, conductor.transcripts().size()) << "a participant has no expected transcript";
}

TEST(MeetingTest, AgendaAndVotesOfThreeParticipantsInThreeProcesses) { PlayAndCompare("meeting"); }

TEST(MeetingTest, AParticipantBackInTheRoomGetsTheLaterPushesOnly) { PlayAndCompare("reconnect"); }

}  // namespace
}  // namespace quenlo::xmpp_test
