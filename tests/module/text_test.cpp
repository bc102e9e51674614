// Text helpers: ASCII-only case folding, integer texts, the ANSI code page, and WideString.
#include <gtest/gtest.h>

#include <limits>

#include "component/ole_text.h"
#include "component/variant.h"
#include "session/ansi_text.h"
#include "session/integer_text.h"
#include "session/wide_string.h"

namespace quenlo::confext {

namespace {

TEST(OleTextTest, FoldsOnlyAsciiLetters) {
  EXPECT_TRUE(EqualsIgnoringAsciiCase(OLESTR("IQ"), OLESTR("iq")));
  EXPECT_TRUE(EqualsIgnoringAsciiCase(OLESTR("Quenlo:Conf:VOTING"), OLESTR("quenlo:conf:voting")));
  EXPECT_FALSE(EqualsIgnoringAsciiCase(OLESTR("\u00C4"), OLESTR("\u00E4")));  // A/a umlaut
  EXPECT_FALSE(EqualsIgnoringAsciiCase(OLESTR("["), OLESTR("{")));  // 0x5B vs 0x7B: not letters
  EXPECT_FALSE(EqualsIgnoringAsciiCase(OLESTR("apply"), OLESTR(" apply")));
  EXPECT_FALSE(EqualsIgnoringAsciiCase(OLESTR("apply"), OLESTR("appl")));
  EXPECT_TRUE(EqualsIgnoringAsciiCase(ViewOf(nullptr), OLESTR("")));
}

TEST(IntegerTextTest, ReadsLikeAtoi) {
  EXPECT_EQ(ParseIntegerText(std::string_view("12ab")), 12);
  EXPECT_EQ(ParseIntegerText(std::string_view("")), 0);
  EXPECT_EQ(ParseIntegerText(std::string_view("abc")), 0);
  EXPECT_EQ(ParseIntegerText(std::string_view(" \t\n\v\f\r-7x")), -7);
  EXPECT_EQ(ParseIntegerText(std::string_view("+5")), 5);
  EXPECT_EQ(ParseIntegerText(std::string_view("- 3")), 0);
  EXPECT_EQ(ParseIntegerText(std::string_view("007")), 7);
}

TEST(IntegerTextTest, SaturatesAtTheThirtyTwoBitLimits) {
  constexpr LONG kMax = std::numeric_limits<LONG>::max();
  constexpr LONG kMin = std::numeric_limits<LONG>::min();
  EXPECT_EQ(ParseIntegerText(std::string_view("2147483647")), kMax);
  EXPECT_EQ(ParseIntegerText(std::string_view("2147483648")), kMax);
  EXPECT_EQ(ParseIntegerText(std::string_view("-2147483648")), kMin);
  EXPECT_EQ(ParseIntegerText(std::string_view("-2147483649")), kMin);
  EXPECT_EQ(ParseIntegerText(std::string_view("99999999999999999999999999")), kMax);
  EXPECT_EQ(ParseIntegerText(std::string_view("-99999999999999999999999999")), kMin);
}

TEST(IntegerTextTest, WideTextIsReadThroughTheCodePage) {
  EXPECT_EQ(ParseIntegerText(OleStringView(OLESTR(" 42 votes"))), 42);
  // The code page's best fit makes a full-width digit an ASCII one; one without a look-alike
  // becomes "?" and ends the number.
  EXPECT_EQ(ParseIntegerText(OleStringView(OLESTR("\uFF11\uFF12"))), 12);
  EXPECT_EQ(ParseIntegerText(OleStringView(OLESTR("7\u4E2D1"))), 7);
}

TEST(AnsiTextTest, SubstitutesWhatTheCodePageLacks) {
  EXPECT_EQ(ToAnsi(OLESTR("a\u20ACb\u4E2D")), std::string("a\x80"
                                                          "b?"));
  EXPECT_EQ(ToAnsi(ViewOf(nullptr)), "");
  const Bstr back = AnsiToBstr(
      "a\x80"
      "b");
  EXPECT_EQ(back.View(), OleStringView(OLESTR("a\u20ACb")));
  const Bstr empty = AnsiToBstr("");
  ASSERT_NE(empty.Get(), nullptr);
  EXPECT_EQ(SysStringLen(empty.Get()), 0u);
}

TEST(WideStringTest, MakesTextsFromEachSource) {
  EXPECT_TRUE(WideString().IsNull());
  EXPECT_EQ(WideString::FromWide(OLESTR("x")).View(), OleStringView(OLESTR("x")));
  EXPECT_EQ(WideString::FromWide(static_cast<const OLECHAR*>(nullptr)).Text(), nullptr);
  EXPECT_FALSE(WideString::FromWide(static_cast<const OLECHAR*>(nullptr)).IsNull());
  EXPECT_EQ(WideString::FromAnsi("\x80").View(), OleStringView(OLESTR("\u20AC")));
  EXPECT_EQ(WideString::FromAnsi(static_cast<const char*>(nullptr)).Text(), nullptr);

  VARIANT number;
  VariantInit(&number);
  number.vt = VT_I4;
  number.lVal = -12;
  EXPECT_EQ(WideString::FromVariant(number).View(), OleStringView(OLESTR("-12")));
  const Variant text = Variant::FromText(OLESTR("t"));
  EXPECT_EQ(WideString::FromVariant(text.Get()).View(), OleStringView(OLESTR("t")));
}

TEST(WideStringTest, NullVariantDoesNotConvert) {
  VARIANT null;
  VariantInit(&null);
  null.vt = VT_NULL;
  try {
    WideString::FromVariant(null);
    FAIL() << "a null variant converted";
  } catch (const _com_error& error) {
    EXPECT_EQ(error.Error(), DISP_E_TYPEMISMATCH);
  }
}

TEST(WideStringTest, CopiesShareTheText) {
  const WideString original = WideString::FromWide(OLESTR("shared"));
  WideString copy = original;
  EXPECT_EQ(copy.Text(), original.Text());
  copy = WideString::FromWide(OLESTR("other"));
  EXPECT_EQ(original.View(), OleStringView(OLESTR("shared")));
}

TEST(WideStringTest, OrdersNullHandleThenNullTextThenTexts) {
  const WideString nothing;
  const WideString nullText = WideString::FromWide(static_cast<const OLECHAR*>(nullptr));
  const WideString empty = WideString::FromWide(OLESTR(""));
  EXPECT_LT(nothing, nullText);
  EXPECT_LT(nullText, empty);
  EXPECT_EQ(nothing, WideString());
  EXPECT_EQ(nullText, WideString::FromWide(static_cast<const OLECHAR*>(nullptr)));
  EXPECT_LT(empty, WideString::FromWide(OLESTR("a")));
}

TEST(WideStringTest, ComparesUnitByUnitWithAPrefixFirst) {
  const auto text = [](const OLECHAR* value) { return WideString::FromWide(value); };
  EXPECT_LT(text(OLESTR("10")), text(OLESTR("2")));
  EXPECT_LT(text(OLESTR("ab")), text(OLESTR("abc")));
  EXPECT_LT(text(OLESTR("B")), text(OLESTR("a")));       // no case folding
  EXPECT_GT(text(OLESTR("\uFFFF")), text(OLESTR("z")));  // units compare unsigned
  EXPECT_EQ(text(OLESTR("same")), text(OLESTR("same")));
  const OLECHAR withZero[] = {'a', 0, 'b'};
  EXPECT_GT(WideString::FromWide(OleStringView(withZero, 3)), text(OLESTR("a")));
}

}  // namespace

}  // namespace quenlo::confext
