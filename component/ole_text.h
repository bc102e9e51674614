// Views of wide text as the module receives it: zero-terminated, with null meaning "empty".
#pragma once

#include <quenlo/platform.h>

#include <string_view>

using OleStringView = std::basic_string_view<OLECHAR>;

// A null pointer stands for the empty string.
inline OleStringView ViewOf(const OLECHAR* text) noexcept {
  return text == nullptr ? OleStringView{} : OleStringView{text};
}

// Compares two texts folding only the ASCII letters A-Z; every other unit must match exactly.
bool EqualsIgnoringAsciiCase(OleStringView left, OleStringView right) noexcept;
