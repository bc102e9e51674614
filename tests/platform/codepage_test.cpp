#include <gtest/gtest.h>
#include <platform/codepage.h>

#include <array>
#include <string>
#include <thread>

namespace {

using namespace std::string_literals;
using namespace std::string_view_literals;

struct Narrowed {
  std::string text;
  BOOL usedDefault;
};

Narrowed ToAnsi(std::u16string_view wide, LPCCH defaultChar = nullptr, DWORD flags = 0,
                UINT codePage = CP_ACP) {
  const int length = static_cast<int>(wide.size());
  const int needed =
      WideCharToMultiByte(codePage, flags, wide.data(), length, nullptr, 0, nullptr, nullptr);
  EXPECT_GT(needed, 0);
  Narrowed result{std::string(static_cast<std::size_t>(needed), '\0'), -1};
  EXPECT_EQ(WideCharToMultiByte(codePage, flags, wide.data(), length, result.text.data(), needed,
                                defaultChar, &result.usedDefault),
            needed);
  return result;
}

Narrowed ToAnsiWithoutBestFit(std::u16string_view wide) {
  return ToAnsi(wide, nullptr, WC_NO_BEST_FIT_CHARS);
}

std::u16string FromNarrow(UINT codePage, std::string_view narrow, DWORD flags = 0) {
  const int length = static_cast<int>(narrow.size());
  const int needed = MultiByteToWideChar(codePage, flags, narrow.data(), length, nullptr, 0);
  EXPECT_GT(needed, 0);
  std::u16string wide(static_cast<std::size_t>(needed), u'\0');
  EXPECT_EQ(MultiByteToWideChar(codePage, flags, narrow.data(), length, wide.data(), needed),
            needed);
  return wide;
}

std::string ToUtf8(std::u16string_view wide) {
  const int length = static_cast<int>(wide.size());
  const int needed =
      WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, nullptr, 0, nullptr, nullptr);
  EXPECT_GT(needed, 0);
  std::string narrow(static_cast<std::size_t>(needed), '\0');
  EXPECT_EQ(
      WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, narrow.data(), needed, nullptr, nullptr),
      needed);
  return narrow;
}

TEST(AnsiCodePage, EveryByteSurvivesARoundTrip) {
  for (int value = 1; value < 256; ++value) {
    const std::string byte(1, static_cast<char>(value));
    const std::u16string wide = FromNarrow(CP_ACP, byte);
    ASSERT_EQ(wide.size(), 1u);
    const Narrowed back = ToAnsi(wide);
    EXPECT_EQ(back.text, byte) << value;
    EXPECT_EQ(back.usedDefault, FALSE) << value;
  }
}

TEST(AnsiCodePage, MapsTheTypographicRangeAndKeepsUnassignedBytesAsControls) {
  EXPECT_EQ(FromNarrow(CP_ACP, "\x80\x85\x8A\x99\x9F"), u"\u20AC\u2026\u0160\u2122\u0178");
  EXPECT_EQ(FromNarrow(CP_ACP, "\x81\x8D\x8F\x90\x9D"), u"\u0081\u008D\u008F\u0090\u009D");
  EXPECT_EQ(FromNarrow(CP_ACP, "A\xE9\xFF"), u"A\u00E9\u00FF");
  EXPECT_EQ(FromNarrow(1252, "\x80"), u"\u20AC");
  EXPECT_EQ(ToAnsi(u"\u20AC\u0153").text, "\x80\x9C");
}

TEST(AnsiCodePage, SubstitutesWhatItCannotRepresent) {
  // U+0080 is a C1 control that Windows-1252 replaced with the euro sign.
  const Narrowed outside = ToAnsi(u"a\u4E2Db\u0080c");
  EXPECT_EQ(outside.text, "a?b?c");
  EXPECT_EQ(outside.usedDefault, TRUE);
  EXPECT_EQ(ToAnsi(u"x\u4E2D", "*").text, "x*");
}

TEST(AnsiCodePage, BestFitGivesALookAlikeWithoutUsingTheDefault) {
  // The table's first and last entries and one whose look-alike lies above ASCII (lira, pound).
  const Narrowed fitted = ToAnsi(u"\u0100\u0141\u2212\u20A4\uFF11\uFF1C\uFF5E");
  EXPECT_EQ(fitted.text,
            "AL-\xA3"
            "1<~");
  EXPECT_EQ(fitted.usedDefault, FALSE);
  EXPECT_EQ(ToAnsi(u"\uFF11", nullptr, 0, 1252).text, "1");
  // Just past the last entry, and a caller's default is used only where nothing fits.
  EXPECT_EQ(ToAnsi(u"\uFF5F").text, "?");
  const Narrowed mixed = ToAnsi(u"\uFF11\u4E2D", "*");
  EXPECT_EQ(mixed.text, "1*");
  EXPECT_EQ(mixed.usedDefault, TRUE);
}

TEST(AnsiCodePage, NoBestFitFlagSubstitutesEveryCharacterOutsideTheCodePage) {
  const Narrowed strict = ToAnsiWithoutBestFit(u"\uFF11a\u0100\u00E9\u20AC");
  EXPECT_EQ(strict.text, "?a?\xE9\x80");
  EXPECT_EQ(strict.usedDefault, TRUE);

  // Over every unit: without best fit a unit keeps its byte only if the byte widens back to it,
  // and best fit changes exactly the units that would otherwise be substituted.
  int bestFits = 0;
  for (unsigned value = 1; value <= 0xFFFF; ++value) {
    if (value >= 0xD800 && value <= 0xDFFF) continue;
    const std::u16string unit(1, static_cast<char16_t>(value));
    const Narrowed withoutFit = ToAnsiWithoutBestFit(unit);
    ASSERT_EQ(withoutFit.text.size(), 1u);
    const bool inCodePage = FromNarrow(CP_ACP, withoutFit.text) == unit;
    EXPECT_EQ(withoutFit.usedDefault, inCodePage ? FALSE : TRUE) << std::hex << value;
    if (!inCodePage) {
      EXPECT_EQ(withoutFit.text, "?") << std::hex << value;
    }
    const Narrowed withFit = ToAnsi(unit);
    if (withFit.text != withoutFit.text) {
      ++bestFits;
      EXPECT_FALSE(inCodePage) << std::hex << value;
      EXPECT_EQ(withFit.usedDefault, FALSE) << std::hex << value;
    }
  }
  EXPECT_EQ(bestFits, 441);  // as many as measured on the platform
}

TEST(AnsiCodePage, SurrogateHalvesAreSubstitutedOneByOne) {
  EXPECT_EQ(ToAnsi(u"a\U0001F600b").text, "a??b");
  EXPECT_EQ(ToAnsi(u"\U0001D7CF").text, "??");  // a mathematical one has no best fit
  EXPECT_EQ(ToAnsi(u"a\xD83D"
                   u"b")
                .text,
            "a?b");
  EXPECT_EQ(ToAnsi(u"\xDE00").text, "?");
}

TEST(Utf8CodePage, RoundTripsEveryPlane) {
  const std::u16string wide = u"A\u00E9\u20AC\U0001F600";
  const std::string utf8 = ToUtf8(wide);
  EXPECT_EQ(utf8, "A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
  EXPECT_EQ(FromNarrow(CP_UTF8, utf8), wide);
}

TEST(Utf8CodePage, LoneSurrogatesBecomeReplacementCharacter) {
  EXPECT_EQ(ToUtf8(u"a\xD800"), "a\xEF\xBF\xBD");
  EXPECT_EQ(ToUtf8(u"\xDC00"
                   u"b"),
            "\xEF\xBF\xBD"
            "b");
  const char16_t lone[] = u"\xD800";
  char buffer[8];
  EXPECT_EQ(
      WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, lone, 1, buffer, 8, nullptr, nullptr), 0);
  EXPECT_EQ(GetLastError(), ERROR_NO_UNICODE_TRANSLATION);
}

TEST(Utf8CodePage, MalformedInputCostsOneReplacementPerMaximalSubpart) {
  EXPECT_EQ(FromNarrow(CP_UTF8, "\xC3"), u"\uFFFD");
  EXPECT_EQ(FromNarrow(CP_UTF8,
                       "\xE2\x82"
                       "A"),
            u"\uFFFDA");
  EXPECT_EQ(FromNarrow(CP_UTF8, "\xC0\x80"), u"\uFFFD\uFFFD");            // overlong
  EXPECT_EQ(FromNarrow(CP_UTF8, "\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");  // encoded surrogate
  EXPECT_EQ(FromNarrow(CP_UTF8, "\xF4\x90\x80\x80"), u"\uFFFD\uFFFD\uFFFD\uFFFD");  // > U+10FFFF
  EXPECT_EQ(FromNarrow(CP_UTF8, "\x80x\xFF"), u"\uFFFDx\uFFFD");
  char16_t buffer[4];
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, "a\xC3", 2, buffer, 4), 0);
  EXPECT_EQ(GetLastError(), ERROR_NO_UNICODE_TRANSLATION);
}

TEST(CodePageBuffers, MinusOneCountsAndWritesTheTerminator) {
  EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, u"abc", -1, nullptr, 0, nullptr, nullptr), 4);
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "\xE2\x82\xAC", -1, nullptr, 0), 2);
  std::array<char, 8> narrow;
  narrow.fill('#');
  ASSERT_EQ(WideCharToMultiByte(CP_ACP, 0, u"abc", -1, narrow.data(), 8, nullptr, nullptr), 4);
  EXPECT_EQ(std::string(narrow.data(), 5), "abc\0#"s);
  ASSERT_EQ(WideCharToMultiByte(CP_ACP, 0, u"abc", 3, narrow.data(), 8, nullptr, nullptr), 3);
  EXPECT_EQ(narrow[3], '\0');  // left from the previous call: an explicit length adds none
  narrow.fill('#');
  ASSERT_EQ(WideCharToMultiByte(CP_ACP, 0, u"abc", 3, narrow.data(), 8, nullptr, nullptr), 3);
  EXPECT_EQ(narrow[3], '#');
}

TEST(CodePageBuffers, SizesCountOutputUnitsAndTooSmallFails) {
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"\u20AC\U0001F600", 3, nullptr, 0, nullptr, nullptr),
            7);
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "\xF0\x9F\x98\x80", 4, nullptr, 0), 2);
  char narrow[6];
  SetLastError(ERROR_SUCCESS);
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"\u20AC\U0001F600", 3, narrow, 6, nullptr, nullptr),
            0);
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  char16_t wide[1];
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "ab", 2, wide, 1), 0);
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  char16_t exact[2];
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "ab", 2, exact, 2), 2);
}

TEST(CodePageArguments, RefusesBadArgumentsAndUnknownCodePages) {
  char narrow[8];
  char16_t wide[8];
  const auto expectInvalid = [](int result) {
    EXPECT_EQ(result, 0);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  };
  expectInvalid(WideCharToMultiByte(CP_ACP, 0, nullptr, 3, narrow, 8, nullptr, nullptr));
  expectInvalid(WideCharToMultiByte(CP_ACP, 0, u"a", 0, narrow, 8, nullptr, nullptr));
  expectInvalid(WideCharToMultiByte(CP_ACP, 0, u"a", -2, narrow, 8, nullptr, nullptr));
  expectInvalid(WideCharToMultiByte(CP_ACP, 0, u"a", 1, narrow, -1, nullptr, nullptr));
  expectInvalid(WideCharToMultiByte(CP_ACP, 0, u"a", 1, nullptr, 8, nullptr, nullptr));
  expectInvalid(WideCharToMultiByte(437, 0, u"a", 1, narrow, 8, nullptr, nullptr));
  BOOL usedDefault = FALSE;
  expectInvalid(WideCharToMultiByte(CP_UTF8, 0, u"a", 1, narrow, 8, nullptr, &usedDefault));
  expectInvalid(MultiByteToWideChar(CP_ACP, 0, nullptr, 1, wide, 8));
  expectInvalid(MultiByteToWideChar(CP_ACP, 0, "a", 0, wide, 8));
  expectInvalid(MultiByteToWideChar(CP_ACP, 0, "a", 1, nullptr, 8));
  expectInvalid(MultiByteToWideChar(850, 0, "a", 1, wide, 8));

  EXPECT_EQ(WideCharToMultiByte(CP_ACP, WC_ERR_INVALID_CHARS, u"a", 1, narrow, 8, nullptr, nullptr),
            0);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_FLAGS);
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, MB_PRECOMPOSED, "a", 1, wide, 8), 0);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_FLAGS);
}

TEST(LastError, IsKeptPerThread) {
  SetLastError(5);
  DWORD seenByOtherThread = 1;
  std::thread other([&] {
    seenByOtherThread = GetLastError();
    MultiByteToWideChar(999, 0, "a", 1, nullptr, 0);
  });
  other.join();
  EXPECT_EQ(seenByOtherThread, ERROR_SUCCESS);
  EXPECT_EQ(GetLastError(), 5u);
}

TEST(AnsiLength, CountsBytesAndTreatsNullAsEmpty) {
  EXPECT_EQ(lstrlenA(nullptr), 0);
  EXPECT_EQ(lstrlenA(""), 0);
  EXPECT_EQ(lstrlenA("a\xE9z"), 3);
}

}  // namespace
