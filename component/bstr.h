// Owning wrapper of one platform string (BSTR): freed when the wrapper goes, on every path.
#pragma once

#include "component/ole_text.h"
#include "component/unique_handle.h"

namespace quenlo {

struct BstrTraits {
  using Handle = BSTR;
  static BSTR Empty() noexcept { return nullptr; }
  // Most wrappers end empty (moved from, detached, never filled): those cost no platform call.
  static void Release(BSTR& text) noexcept {
    if (text != nullptr) SysFreeString(std::exchange(text, nullptr));
  }
};

class Bstr : public UniqueHandle<BstrTraits> {
 public:
  Bstr() noexcept = default;

  // A new string with a copy of the text (null copies as empty); never null. Throws
  // _com_error(E_OUTOFMEMORY) when the platform cannot allocate it.
  static Bstr Copy(OleStringView text);
  // As Copy, but a null string when the platform cannot allocate it, for callers that answer a
  // status rather than throw.
  static Bstr TryCopy(OleStringView text) noexcept;
  // Takes over a string that the caller owned.
  static Bstr Adopt(BSTR text) noexcept;

  // Makes this string a copy of the text, in its own memory where that is large enough, and
  // returns it: a string handed to one call after another that each copy what they are given
  // costs an allocation only when it grows. Throws _com_error(E_OUTOFMEMORY), the string then
  // unchanged.
  BSTR Rewrite(OleStringView text);

  // The text, embedded zero units included; empty for a null string.
  OleStringView View() const noexcept;
};

}  // namespace quenlo
