// WideCharToMultiByte and MultiByteToWideChar for the ANSI code page (Windows-1252) and UTF-8.
// Both write while the buffer has room and count everything, so one pass serves "how much is
// needed" and the conversion itself.
#include <platform/codepage.h>

#include <climits>
#include <cstring>

#include "unicode.h"
#include "windows1252.h"
#include "windows1252_best_fit.h"

namespace {

using quenlo::platform::DecodedCodePoint;
using quenlo::platform::ReadUtf16;
using quenlo::platform::ReadUtf8;
using quenlo::platform::Utf16ToWindows1252;
using quenlo::platform::Windows1252BestFit;
using quenlo::platform::Windows1252ToUtf16;
using quenlo::platform::WriteUtf16;
using quenlo::platform::WriteUtf8;

enum class Encoding { Windows1252, Utf8 };

bool EncodingOf(UINT codePage, Encoding& encoding) {
  constexpr UINT kWindows1252 = 1252;
  if (codePage == CP_ACP || codePage == kWindows1252) {
    encoding = Encoding::Windows1252;
    return true;
  }
  if (codePage == CP_UTF8) {
    encoding = Encoding::Utf8;
    return true;
  }
  return false;
}

int Fail(DWORD error) {
  SetLastError(error);
  return 0;
}

template <typename Unit>
class Output {
 public:
  Output(Unit* buffer, int capacity)
      : buffer_(buffer), capacity_(static_cast<std::size_t>(capacity)) {}

  void operator()(Unit unit) {
    if (count_ < capacity_) buffer_[count_] = unit;
    ++count_;
  }

  // The count, or 0 with the last error set when it does not fit the caller's buffer or an int.
  int Result() const {
    if (count_ > static_cast<std::size_t>(INT_MAX)) return Fail(ERROR_INVALID_PARAMETER);
    if (capacity_ != 0 && count_ > capacity_) return Fail(ERROR_INSUFFICIENT_BUFFER);
    return static_cast<int>(count_);
  }

 private:
  Unit* buffer_;
  std::size_t capacity_;
  std::size_t count_ = 0;
};

// Shared argument checks: a source, a length that is -1 or positive, a buffer size that is
// 0 (query) or positive with a buffer, and a destination that does not alias the source.
bool ValidArguments(const void* source, int sourceLength, const void* destination,
                    int destinationSize) {
  if (source == nullptr || sourceLength == 0 || sourceLength < -1) return false;
  if (destinationSize < 0 || (destinationSize > 0 && destination == nullptr)) return false;
  return destinationSize == 0 || source != destination;
}

std::size_t WideLength(const char16_t* text, int length) {
  if (length != -1) return static_cast<std::size_t>(length);
  std::size_t count = 0;
  while (text[count] != 0) ++count;
  return count + 1;
}

std::size_t NarrowLength(const char* text, int length) {
  return length == -1 ? std::strlen(text) + 1 : static_cast<std::size_t>(length);
}

}  // namespace

extern "C" {

int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWCH wide, int wideLength, LPSTR narrow,
                        int narrowSize, LPCCH defaultChar, LPBOOL usedDefault) {
  Encoding encoding{};
  if (!ValidArguments(wide, wideLength, narrow, narrowSize) || !EncodingOf(codePage, encoding)) {
    return Fail(ERROR_INVALID_PARAMETER);
  }
  const DWORD allowedFlags =
      encoding == Encoding::Utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
  if ((flags & ~allowedFlags) != 0) return Fail(ERROR_INVALID_FLAGS);
  // UTF-8 represents every character, so asking for a substitute there is a caller's mistake.
  if (encoding == Encoding::Utf8 && (defaultChar != nullptr || usedDefault != nullptr)) {
    return Fail(ERROR_INVALID_PARAMETER);
  }

  const std::size_t length = WideLength(wide, wideLength);
  Output<char> output(narrow, narrowSize);
  const char substitute = defaultChar != nullptr ? *defaultChar : '?';
  const bool bestFit = (flags & WC_NO_BEST_FIT_CHARS) == 0;
  bool substituted = false;
  for (std::size_t position = 0; position < length;) {
    if (encoding == Encoding::Windows1252) {
      // Unit by unit, as the platform does: the two halves of a surrogate pair are two
      // characters the code page lacks. A best fit is no substitution for usedDefault.
      const char16_t unit = wide[position++];
      std::optional<unsigned char> byte = Utf16ToWindows1252(unit);
      if (!byte && bestFit) byte = Windows1252BestFit(unit);
      if (byte) {
        output(static_cast<char>(*byte));
      } else {
        output(substitute);
        substituted = true;
      }
      continue;
    }
    const DecodedCodePoint decoded = ReadUtf16(wide, length, position);
    if (!decoded.valid && (flags & WC_ERR_INVALID_CHARS) != 0) {
      return Fail(ERROR_NO_UNICODE_TRANSLATION);
    }
    WriteUtf8(decoded.value, output);
  }
  const int result = output.Result();
  if (result != 0 && usedDefault != nullptr) *usedDefault = substituted ? TRUE : FALSE;
  return result;
}

int MultiByteToWideChar(UINT codePage, DWORD flags, LPCCH narrow, int narrowLength, LPWSTR wide,
                        int wideSize) {
  Encoding encoding{};
  if (!ValidArguments(narrow, narrowLength, wide, wideSize) || !EncodingOf(codePage, encoding)) {
    return Fail(ERROR_INVALID_PARAMETER);
  }
  const DWORD allowedFlags =
      encoding == Encoding::Utf8 ? MB_ERR_INVALID_CHARS : MB_PRECOMPOSED | MB_ERR_INVALID_CHARS;
  if ((flags & ~allowedFlags) != 0) return Fail(ERROR_INVALID_FLAGS);

  const std::size_t length = NarrowLength(narrow, narrowLength);
  const auto* bytes = reinterpret_cast<const unsigned char*>(narrow);
  Output<char16_t> output(wide, wideSize);
  for (std::size_t position = 0; position < length;) {
    if (encoding == Encoding::Windows1252) {
      // Every byte has a character, so nothing here is invalid.
      output(Windows1252ToUtf16(bytes[position++]));
      continue;
    }
    const DecodedCodePoint decoded = ReadUtf8(bytes, length, position);
    if (!decoded.valid && (flags & MB_ERR_INVALID_CHARS) != 0) {
      return Fail(ERROR_NO_UNICODE_TRANSLATION);
    }
    WriteUtf16(decoded.value, output);
  }
  return output.Result();
}

int lstrlenA(LPCSTR text) {
  if (text == nullptr) return 0;
  const std::size_t length = std::strlen(text);
  return length > static_cast<std::size_t>(INT_MAX) ? INT_MAX : static_cast<int>(length);
}

}  // extern "C"
