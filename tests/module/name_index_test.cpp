// The index of a voting result's subjects by name, against an unordered map as the model: the
// first value of a name kept, every name found after growth, names alike but for one unit.
#include "voting/name_index.h"

#include <gtest/gtest.h>

#include <string>
#include <unordered_map>
#include <vector>

namespace quenlo::confext {
namespace {

OleString Wide(const std::string& text) { return OleString(text.begin(), text.end()); }

TEST(NameIndexTest, KeepsTheFirstValueOfANameAndFindsNothingElse) {
  NameIndex<const int> index;
  EXPECT_EQ(index.Find(OLESTR("any")), nullptr);  // empty, never reserved
  const int first = 1;
  const int second = 2;
  EXPECT_EQ(index.Keep(OLESTR("Pizza"), &first), &first);
  EXPECT_EQ(index.Keep(OLESTR("Pizza"), &second), &first);
  EXPECT_EQ(index.Keep(OLESTR(""), &second), &second);  // an empty name is a name
  EXPECT_EQ(index.Size(), 2u);
  EXPECT_EQ(index.Find(OLESTR("Pizza")), &first);
  EXPECT_EQ(index.Find(OLESTR("")), &second);
  EXPECT_EQ(index.Find(OLESTR("pizza")), nullptr);
  EXPECT_EQ(index.Find(OLESTR("Pizz")), nullptr);
}

// Reserved for too few, so that the index grows several times while it fills; names share long
// prefixes and differ in one unit, and every third repeats an earlier one.
TEST(NameIndexTest, AgreesWithAMapThroughGrowth) {
  std::vector<OleString> names;
  for (int at = 0; at < 3000; ++at) {
    names.push_back(Wide("subject-" + std::to_string(at % 3 == 2 ? at / 3 : at)));
  }
  std::vector<int> values(names.size());
  NameIndex<int> index;
  index.Reserve(4);
  std::unordered_map<OleString, int*> model;
  for (std::size_t at = 0; at < names.size(); ++at) {
    int* kept = index.Keep(names[at], &values[at]);
    EXPECT_EQ(kept, model.try_emplace(names[at], &values[at]).first->second) << at;
  }
  EXPECT_EQ(index.Size(), model.size());
  for (const auto& [name, value] : model) EXPECT_EQ(index.Find(name), value);
  EXPECT_EQ(index.Find(OLESTR("subject-3000")), nullptr);
}

}  // namespace
}  // namespace quenlo::confext
