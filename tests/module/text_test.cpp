// Text helpers: ASCII-only case folding, integer texts, the ANSI code page, variants as text.
#include <gtest/gtest.h>

#include <limits>

#include "component/ole_text.h"
#include "component/variant.h"
#include "session/ansi_text.h"
#include "session/integer_text.h"

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

// Variants become text through the platform's conversion; a null one is refused, not emptied.
TEST(VariantTextTest, ConvertsNumbersAndTextsAndRefusesNull) {
  VARIANT number;
  VariantInit(&number);
  number.vt = VT_I4;
  number.lVal = -12;
  EXPECT_EQ(ViewOfBstr(Variant::TextOf(number).Get().bstrVal), OleStringView(OLESTR("-12")));
  const Variant text = Variant::FromText(OLESTR("t"));
  EXPECT_EQ(ViewOfBstr(Variant::TextOf(text.Get()).Get().bstrVal), OleStringView(OLESTR("t")));
  VARIANT null;
  VariantInit(&null);
  null.vt = VT_NULL;
  try {
    Variant::TextOf(null);
    FAIL() << "a null variant converted";
  } catch (const _com_error& error) {
    EXPECT_EQ(error.Error(), DISP_E_TYPEMISMATCH);
  }
}

}  // namespace

}  // namespace quenlo::confext
