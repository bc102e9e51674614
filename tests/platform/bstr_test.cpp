#include <gtest/gtest.h>
#include <platform/oleauto.h>

#include <cstring>

#include "owned_bstr.h"

namespace {

using namespace std::string_view_literals;

TEST(Bstr, CopiesTextAndTerminatesIt) {
  const OwnedBstr text(SysAllocString(u"abc"));
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(SysStringLen(text.get()), 3u);
  EXPECT_EQ(SysStringByteLen(text.get()), 6u);
  EXPECT_EQ(ViewOf(text.get()), u"abc"sv);
  EXPECT_EQ(text.get()[3], 0);
}

TEST(Bstr, LengthPrefixHoldsByteLengthRightBeforeText) {
  // Code built against the Windows layout reads the prefix directly.
  const OwnedBstr text(SysAllocString(u"hello"));
  std::uint32_t prefix = 0;
  std::memcpy(&prefix, reinterpret_cast<const char*>(text.get()) - sizeof prefix, sizeof prefix);
  EXPECT_EQ(prefix, 10u);
}

TEST(Bstr, KeepsEmbeddedZeroUnits) {
  constexpr std::u16string_view withZeros = u"a\0b\0"sv;
  const OwnedBstr text = MakeBstr(withZeros);
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(SysStringLen(text.get()), 4u);
  EXPECT_EQ(SysStringByteLen(text.get()), 8u);
  EXPECT_EQ(ViewOf(text.get()), withZeros);
  EXPECT_EQ(text.get()[4], 0);
}

TEST(Bstr, StopsAtFirstZeroWhenLengthIsNotGiven) {
  const OwnedBstr text(SysAllocString(u"ab\0cd"));
  EXPECT_EQ(SysStringLen(text.get()), 2u);
}

TEST(Bstr, AllocatesUninitialisedUnitsWithoutSource) {
  const OwnedBstr text(SysAllocStringLen(nullptr, 5));
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(SysStringLen(text.get()), 5u);
  EXPECT_EQ(text.get()[5], 0);
  std::u16string_view(u"12345").copy(text.get(), 5);
  EXPECT_EQ(ViewOf(text.get()), u"12345"sv);
}

TEST(Bstr, EmptyTextIsAllocatedNotNull) {
  const OwnedBstr text(SysAllocString(u""));
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(SysStringLen(text.get()), 0u);
  EXPECT_EQ(text.get()[0], 0);
}

TEST(Bstr, NullStandsForTheEmptyString) {
  EXPECT_EQ(SysAllocString(nullptr), nullptr);
  EXPECT_EQ(SysStringLen(nullptr), 0u);
  EXPECT_EQ(SysStringByteLen(nullptr), 0u);
  SysFreeString(nullptr);
}

TEST(Bstr, LengthBeyondThePrefixFailsWithNull) {
  // 2^31 units is 2^32 bytes: one more than the prefix can hold.
  EXPECT_EQ(SysAllocStringLen(nullptr, 0x80000000u), nullptr);
  EXPECT_EQ(SysAllocStringLen(nullptr, 0x7FFFFFFFu), nullptr);
  EXPECT_EQ(SysAllocStringLen(nullptr, 0xFFFFFFFFu), nullptr);
}

}  // namespace
