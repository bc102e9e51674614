// PropertyTable and PropertyRecord: change detection and when callbacks run.
#include "session/property_table.h"

#include <gtest/gtest.h>

#include <new>

namespace quenlo::confext {

namespace {

class CountingCallback final : public PropertyCallback {
 public:
  explicit CountingCallback(int& calls) : calls_(calls) {}
  void Invoke() override { ++calls_; }

 private:
  int& calls_;
};

TEST(PropertyRecordTest, RunsTheCallbackOnlyForANotifiedChange) {
  int calls = 0;
  PropertyRecord record(std::make_unique<CountingCallback>(calls));
  record.Set("a", true);
  EXPECT_EQ(calls, 1);
  record.Set("a", true);  // same bytes: no change
  EXPECT_EQ(calls, 1);
  record.Set("b", false);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(record.Value(), "b");
  record.Set(std::string("b\0", 2), true);  // length counts
  EXPECT_EQ(calls, 2);
}

// Fails its first run part-way, as a callback that runs out of memory does.
class FailingOnceCallback final : public PropertyCallback {
 public:
  explicit FailingOnceCallback(int& completed) : completed_(completed) {}
  void Invoke() override {
    if (!failed_) {
      failed_ = true;
      throw std::bad_alloc();
    }
    ++completed_;
  }

 private:
  int& completed_;
  bool failed_ = false;
};

// A retry of the same value must run the callback again, or what it left half done stays so.
TEST(PropertyRecordTest, AFailedCallbackRunsAgainWhenTheSameValueIsSetAgain) {
  int completed = 0;
  PropertyRecord record(std::make_unique<FailingOnceCallback>(completed));
  EXPECT_THROW(record.Set("room", true), std::bad_alloc);
  EXPECT_EQ(record.Value(), "room");
  record.Set("room", true);
  EXPECT_EQ(completed, 1);
  record.Set("room", true);  // now an unchanged value again
  EXPECT_EQ(completed, 1);
}

TEST(PropertyTableTest, NamesAreCaseSensitiveAndDeclaredOnce) {
  int calls = 0;
  PropertyTable table;
  table.Declare("voting.room_name", std::make_unique<CountingCallback>(calls));
  table.Declare("voting.room_name");  // ignored: the first record and its callback stay
  EXPECT_EQ(table.Find("Voting.room_name"), nullptr);
  EXPECT_EQ(table.Find("voting.room_nam"), nullptr);
  PropertyRecord* record = table.Find("voting.room_name");
  ASSERT_NE(record, nullptr);
  record->Set("room", true);
  EXPECT_EQ(calls, 1);
}

TEST(PropertyTableTest, DefaultsAreSilentAndIgnoreUndeclaredNames) {
  int calls = 0;
  PropertyTable table;
  table.Declare("p", std::make_unique<CountingCallback>(calls));
  table.SetDefault("p", "0");
  table.SetDefault("q", "1");
  EXPECT_EQ(calls, 0);
  EXPECT_EQ(table.Find("p")->Value(), "0");
  EXPECT_EQ(table.Find("q"), nullptr);
}

}  // namespace

}  // namespace quenlo::confext
