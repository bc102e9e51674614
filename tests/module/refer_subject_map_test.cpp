// The pending subjects of a Refer, against an ordered map of owned strings as the model: the
// order, the first text kept for an index, and refilling after Clear, also past the capacity
// that Clear keeps.
#include "voting/refer_subject_map.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace quenlo::confext {
namespace {

using Entries = std::vector<std::pair<OleString, OleString>>;

Entries Listed(const ReferSubjectMap& subjects) {
  Entries listed;
  subjects.ForEach([&listed](OleStringView index, OleStringView text) {
    listed.emplace_back(OleString(index), OleString(text));
  });
  return listed;
}

Entries Listed(const std::map<OleString, OleString>& model) {
  return Entries(model.begin(), model.end());
}

TEST(ReferSubjectMapTest, ListsByCodeUnitsAndKeepsTheFirstText) {
  ReferSubjectMap subjects;
  EXPECT_TRUE(subjects.Empty());
  const std::pair<const OLECHAR*, const OLECHAR*> added[] = {
      {OLESTR("2"), OLESTR("two")},   {OLESTR("10"), OLESTR("ten")},
      {OLESTR("1"), OLESTR("one")},   {OLESTR("2"), OLESTR("again")},
      {OLESTR(""), OLESTR("none")},   {OLESTR("a"), OLESTR("")},
      {OLESTR("Z"), OLESTR("upper")}, {OLESTR("1"), OLESTR("1 again")},
  };
  for (const auto& [index, text] : added) subjects.Add(ViewOf(index), ViewOf(text));
  const Entries expected = {{OLESTR(""), OLESTR("none")},   {OLESTR("1"), OLESTR("one")},
                            {OLESTR("10"), OLESTR("ten")},  {OLESTR("2"), OLESTR("two")},
                            {OLESTR("Z"), OLESTR("upper")}, {OLESTR("a"), OLESTR("")}};
  EXPECT_EQ(Listed(subjects), expected);

  // Units above 0x7FFF order as unsigned numbers, after every ASCII unit.
  subjects.Clear();
  EXPECT_TRUE(subjects.Empty());
  const OleString high(1, static_cast<OLECHAR>(0xFFFD));
  const OleString middle(1, static_cast<OLECHAR>(0x00E9));
  subjects.Add(high, OLESTR("high"));
  subjects.Add(middle, OLESTR("middle"));
  subjects.Add(OLESTR("z"), OLESTR("z"));
  const Entries unsignedOrder = {
      {OLESTR("z"), OLESTR("z")}, {middle, OLESTR("middle")}, {high, OLESTR("high")}};
  EXPECT_EQ(Listed(subjects), unsignedOrder);
}

// Rounds of growing size, each cleared and refilled: the third round passes what Clear keeps.
TEST(ReferSubjectMapTest, RefillsAfterClearAsAnEmptyMapWould) {
  ReferSubjectMap subjects;
  for (const int count : {12, 3, 2000, 40}) {
    std::map<OleString, OleString> model;
    for (int step = 0; step < count; ++step) {
      // A spread of indexes with repeats, texts long enough to make the buffer move.
      const std::string index = std::to_string(step * 7919 % (count / 2 + 1));
      const OleString wide(index.begin(), index.end());
      const OleString text = wide + OleString(step % 50, static_cast<OLECHAR>('x')) + OLESTR("#") +
                             OleString(1, static_cast<OLECHAR>('a' + step % 26));
      subjects.Add(wide, text);
      model.try_emplace(wide, text);
    }
    ASSERT_EQ(Listed(subjects), Listed(model)) << count;
    subjects.Clear();
    EXPECT_TRUE(Listed(subjects).empty());
  }
}

}  // namespace
}  // namespace quenlo::confext
