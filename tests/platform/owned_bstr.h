// Frees a test's strings on every path, so the leak checker sees only the runtime's leaks.
#pragma once

#include <platform/oleauto.h>

#include <memory>
#include <string_view>

struct BstrFree {
  void operator()(OLECHAR* text) const { SysFreeString(text); }
};
using OwnedBstr = std::unique_ptr<OLECHAR, BstrFree>;

inline OwnedBstr MakeBstr(std::u16string_view text) {
  return OwnedBstr(SysAllocStringLen(text.data(), static_cast<UINT>(text.size())));
}

inline std::u16string_view ViewOf(BSTR text) { return {text, SysStringLen(text)}; }
