// A host that calls a command on a thread where COM was never initialised: the module cannot
// create its XML document there, and the command must say so (1) and send nothing, not crash.
// This program has a main of its own, which initialises nothing.
#include <gtest/gtest.h>

#include "agenda_fixture.h"
#include "voting_fixture.h"

namespace quenlo::confext {
namespace {

TEST_F(AttachedVotingTest, ACommandWithoutComSendsNothingAndReturnsOne) {
  EXPECT_EQ(commands_->Apply(OLESTR("r1")), S_FALSE);
  EXPECT_EQ(commands_->Delete(OLESTR("r2"), OLESTR("7")), S_FALSE);
  EXPECT_TRUE(host_.Sent().empty());
}

TEST_F(AttachedAgendaTest, ACommandWithoutComSendsNothingAndReturnsOne) {
  EXPECT_EQ(commands_->Browse(OLESTR("r1")), S_FALSE);
  EXPECT_TRUE(host_.Sent().empty());
}

}  // namespace
}  // namespace quenlo::confext

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
