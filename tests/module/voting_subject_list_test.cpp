// VotingSubjectList: one entry per distinct id, in code-unit order of the ids.
#include <gtest/gtest.h>

#include "voting_fixture.h"

namespace quenlo::confext {

namespace {

using VotingSubjectListTest = AttachedVotingTest;

struct Item {
  std::string text;
  std::string id;
  LONG type;
  bool operator==(const Item&) const = default;
};

std::vector<Item> Items(IVotingSubjectList* list) {
  LONG count = -1;
  EXPECT_EQ(list->GetCount(&count), S_OK);
  std::vector<Item> items;
  for (LONG position = 0; position < count; ++position) {
    Bstr text;
    Bstr id;
    LONG type = -99;
    EXPECT_EQ(list->GetItem(position, text.Put(), id.Put(), &type), S_OK);
    items.push_back({ToUtf8(text), ToUtf8(id), type});
  }
  return items;
}

TEST_F(VotingSubjectListTest, FirstSubjectOfEachIdInIdOrder) {
  const ComPtr<IVotingSubjectList> list = Announced<IVotingSubjectList>(
      "showall",
      "<subject id='b' type='2'>Bee</subject><subject id='a' type='1'>Ay</subject>"
      "<w><subject id='a' type='5'>Again</subject></w>"
      "<subject id='10' type=' 3z'>Ten</subject><subject id='2' type='x'>Two</subject>");
  ASSERT_TRUE(list);
  EXPECT_EQ(
      Items(list.Get()),
      (std::vector<Item>{{"Ten", "10", 3}, {"Two", "2", 0}, {"Ay", "a", 1}, {"Bee", "b", 2}}));
}

TEST_F(VotingSubjectListTest, OutOfRangeWritesNothing) {
  const ComPtr<IVotingSubjectList> list =
      Announced<IVotingSubjectList>("showall", "<subject id='a' type='1'>A</subject>");
  ASSERT_TRUE(list);
  BSTR text = reinterpret_cast<BSTR>(&host_);
  BSTR id = reinterpret_cast<BSTR>(&host_);
  LONG type = 77;
  EXPECT_EQ(list->GetItem(1, &text, &id, &type), S_FALSE);
  EXPECT_EQ(list->GetItem(-1, &text, &id, &type), S_FALSE);
  EXPECT_EQ(text, reinterpret_cast<BSTR>(&host_));
  EXPECT_EQ(id, reinterpret_cast<BSTR>(&host_));
  EXPECT_EQ(type, 77);
  EXPECT_EQ(list->GetItem(0, nullptr, &id, &type), E_POINTER);
}

TEST_F(VotingSubjectListTest, AListWithoutSubjectsIsEmpty) {
  const ComPtr<IVotingSubjectList> list = Announced<IVotingSubjectList>("showall", "<qid>1</qid>");
  ASSERT_TRUE(list);
  EXPECT_TRUE(Items(list.Get()).empty());
}

TEST_F(VotingSubjectListTest, TypesSaturateAtTheIntegerLimits) {
  const ComPtr<IVotingSubjectList> list = Announced<IVotingSubjectList>(
      "showall", "<subject id='a' type='12345678901'/><subject id='b' type='-12345678901'/>");
  ASSERT_TRUE(list);
  EXPECT_EQ(Items(list.Get()),
            (std::vector<Item>{{"", "a", 2147483647}, {"", "b", -2147483647 - 1}}));
}

}  // namespace

}  // namespace quenlo::confext
