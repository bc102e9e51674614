// Asks the real platform how its ANSI code page narrows every UTF-16 code unit, so that the
// POSIX runtime's best-fit table is made from measurement rather than from memory.
// Cross-built and run under Wine by measure-best-fit next to this file.
//
// Output: one line "XXXX YY" (hex UTF-16 unit, hex byte) per best-fit character, that is a unit
// that narrows to one byte other than "?" although that byte widens to a different unit. Lines
// starting with "#" report the flags, *usedDefaultChar and the widening direction; a line
// starting with "!" is a finding that breaks what the table assumes.
#include <windows.h>

#include <cstdio>

namespace {

struct Narrowed {
  int length;
  char bytes[8];
  BOOL usedDefault;
};

Narrowed Narrow(UINT codePage, DWORD flags, WCHAR unit) {
  Narrowed result{};
  result.usedDefault = -1;
  result.length = WideCharToMultiByte(codePage, flags, &unit, 1, result.bytes, sizeof result.bytes,
                                      nullptr, &result.usedDefault);
  return result;
}

bool IsSurrogate(unsigned unit) { return unit >= 0xD800 && unit <= 0xDFFF; }

}  // namespace

int main() {
  std::printf("# ANSI code page %u\n", GetACP());

  // The plain table, measured in the widening direction: every byte has one character.
  WCHAR widened[256];
  for (unsigned byteValue = 0; byteValue < 256; ++byteValue) {
    const char narrow = static_cast<char>(byteValue);
    if (MultiByteToWideChar(CP_ACP, 0, &narrow, 1, &widened[byteValue], 1) != 1) {
      std::printf("! byte %02X does not widen to one unit\n", byteValue);
      return 1;
    }
    // Widening has no best fit when every flag gives the same unit and it narrows back.
    WCHAR other = 0;
    if (MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, &narrow, 1, &other, 1) != 1 ||
        other != widened[byteValue] ||
        MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, &narrow, 1, &other, 1) != 1 ||
        other != widened[byteValue] || MultiByteToWideChar(1252, 0, &narrow, 1, &other, 1) != 1 ||
        other != widened[byteValue]) {
      std::printf("! byte %02X widens differently by flag or code page\n", byteValue);
    }
    const Narrowed back = Narrow(CP_ACP, WC_NO_BEST_FIT_CHARS, widened[byteValue]);
    if (back.length != 1 || static_cast<unsigned char>(back.bytes[0]) != byteValue) {
      std::printf("! byte %02X does not survive a round trip\n", byteValue);
    }
  }
  std::printf(
      "# every byte widens to one unit alike with flags 0, MB_PRECOMPOSED, "
      "MB_ERR_INVALID_CHARS and code page 1252, and narrows back\n");

  unsigned bestFit = 0;
  unsigned usedDefaultOnBestFit = 0;
  unsigned substituted = 0;
  unsigned usedDefaultOnSubstitute = 0;
  for (unsigned value = 0; value <= 0xFFFF; ++value) {
    if (IsSurrogate(value)) continue;
    const auto unit = static_cast<WCHAR>(value);
    const Narrowed plain = Narrow(CP_ACP, 0, unit);
    const Narrowed strict = Narrow(CP_ACP, WC_NO_BEST_FIT_CHARS, unit);
    const Narrowed explicitPage = Narrow(1252, 0, unit);
    if (plain.length != 1 || strict.length != 1) {
      std::printf("! U+%04X narrows to %d bytes\n", value, plain.length);
      continue;
    }
    if (explicitPage.length != 1 || explicitPage.bytes[0] != plain.bytes[0]) {
      std::printf("! U+%04X narrows differently with code page 1252\n", value);
    }
    const auto narrowed = static_cast<unsigned char>(plain.bytes[0]);
    if (widened[narrowed] == unit) continue;
    if (narrowed == '?') {
      ++substituted;
      if (plain.usedDefault == TRUE) ++usedDefaultOnSubstitute;
      continue;
    }
    ++bestFit;
    if (plain.usedDefault == TRUE) ++usedDefaultOnBestFit;
    if (strict.bytes[0] != '?' || strict.usedDefault != TRUE) {
      std::printf("! U+%04X is not refused by WC_NO_BEST_FIT_CHARS\n", value);
    }
    std::printf("%04X %02X\n", value, narrowed);
  }
  std::printf("# %u best-fit units; *usedDefaultChar TRUE for %u of them\n", bestFit,
              usedDefaultOnBestFit);
  std::printf("# %u units become \"?\"; *usedDefaultChar TRUE for %u of them\n", substituted,
              usedDefaultOnSubstitute);
  std::printf(
      "# WC_NO_BEST_FIT_CHARS turns every best-fit unit into \"?\" with "
      "*usedDefaultChar TRUE unless a line above says otherwise\n");

  // Surrogates: a pair and lone halves, narrowed as a whole text.
  const WCHAR pair[] = {0xD83D, 0xDE00};
  Narrowed pairResult{};
  pairResult.length =
      WideCharToMultiByte(CP_ACP, 0, pair, 2, pairResult.bytes, sizeof pairResult.bytes, nullptr,
                          &pairResult.usedDefault);
  std::printf("# surrogate pair U+1F600 narrows to %d bytes \"%.*s\"\n", pairResult.length,
              pairResult.length, pairResult.bytes);
  const WCHAR mathOne[] = {0xD835, 0xDFCF};
  Narrowed mathResult{};
  mathResult.length =
      WideCharToMultiByte(CP_ACP, 0, mathOne, 2, mathResult.bytes, sizeof mathResult.bytes, nullptr,
                          &mathResult.usedDefault);
  std::printf("# surrogate pair U+1D7CF (mathematical bold one) narrows to %d bytes \"%.*s\"\n",
              mathResult.length, mathResult.length, mathResult.bytes);
  for (unsigned value = 0xD800; value <= 0xDFFF; ++value) {
    const Narrowed lone = Narrow(CP_ACP, 0, static_cast<WCHAR>(value));
    if (lone.length != 1 || lone.bytes[0] != '?' || lone.usedDefault != TRUE) {
      std::printf("! lone surrogate %04X is not substituted\n", value);
    }
  }
  std::printf("# every lone surrogate half narrows to \"?\" with *usedDefaultChar TRUE\n");

  // A caller's default character replaces only what has no best fit.
  const WCHAR mixed[] = {0xFF11, 0x4E2D};
  char star = '*';
  char out[8] = {};
  BOOL used = -1;
  const int mixedLength = WideCharToMultiByte(CP_ACP, 0, mixed, 2, out, sizeof out, &star, &used);
  std::printf("# U+FF11 U+4E2D with default \"*\" narrow to \"%.*s\" usedDefault %d\n", mixedLength,
              out, used);
  return 0;
}
