#include <gtest/gtest.h>
#include <platform/oleauto.h>

#include <cstring>
#include <string>

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

// Rewritten again and again, as a builder hands one string to call after call: every text must
// read exactly, whether it fits the string's memory or not, and the memory must be whole for the
// leak checker and for the next rewrite.
TEST(Bstr, ReallocationGivesEachTextWhetherItFitsOrNot) {
  BSTR text = nullptr;
  for (const std::size_t length : {0, 3, 1, 7, 8, 200, 5, 130, 131, 0, 2}) {
    const std::u16string expected(length, static_cast<char16_t>(u'a' + length % 26));
    ASSERT_NE(SysReAllocStringLen(&text, expected.data(), static_cast<UINT>(length)), 0);
    EXPECT_EQ(ViewOf(text), expected) << length;
    EXPECT_EQ(text[length], 0) << length;
  }
  SysFreeString(text);
}

TEST(Bstr, ReallocationReadsItsSourceBeforeOverwritingIt) {
  OwnedBstr grown = MakeBstr(u"abcdef");
  BSTR text = grown.release();
  // The tail of the string itself, moved to its front in its own memory.
  ASSERT_NE(SysReAllocStringLen(&text, text + 2, 4), 0);
  EXPECT_EQ(ViewOf(text), u"cdef"sv);
  // No source keeps what the string held, here in new, larger memory.
  ASSERT_NE(SysReAllocStringLen(&text, nullptr, 100), 0);
  EXPECT_EQ(ViewOf(text).substr(0, 4), u"cdef"sv);
  EXPECT_EQ(SysStringLen(text), 100u);
  grown.reset(text);
}

TEST(Bstr, FailedReallocationLeavesTheStringAsItWas) {
  OwnedBstr kept = MakeBstr(u"kept");
  BSTR text = kept.get();
  EXPECT_EQ(SysReAllocStringLen(&text, nullptr, 0x80000000u), 0);
  EXPECT_EQ(text, kept.get());
  EXPECT_EQ(ViewOf(text), u"kept"sv);
  EXPECT_EQ(SysReAllocStringLen(nullptr, u"x", 1), 0);
}

}  // namespace
