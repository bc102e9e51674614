// Names handed to the DOM: made once per name, and right even once the table of shared names is
// full. That only fixed text becomes a name is checked by building fixed_name_build.cpp.
#include "xml/dom_name.h"

#include <gtest/gtest.h>

#include <array>
#include <cstddef>
#include <utility>

namespace quenlo::confext {

namespace {

OleStringView ViewOfBstr(BSTR text) { return {text, SysStringLen(text)}; }

TEST(DomNameTest, ALiteralIsMadeOnce) {
  constexpr FixedName kSubject = OLESTR("subject");
  const DomName first(kSubject);
  const DomName second(kSubject);
  EXPECT_EQ(first.Get(), second.Get());
  EXPECT_EQ(ViewOfBstr(first.Get()), OleStringView(OLESTR("subject")));
  EXPECT_EQ(0u, SysStringLen(DomName(OLESTR("")).Get()));
}

// Arrays of text made while compiling, each a name of its own; a name ends at its first zero.
struct NameText {
  std::array<OLECHAR, 8> text;
};
constexpr std::size_t kManyNames = 300;
constexpr auto kNames = [] {
  std::array<NameText, kManyNames> names{};
  for (std::size_t index = 0; index < names.size(); ++index) {
    names[index].text = {'n', static_cast<OLECHAR>('0' + index / 100),
                         static_cast<OLECHAR>('0' + index / 10 % 10),
                         static_cast<OLECHAR>('0' + index % 10)};
  }
  return names;
}();

template <std::size_t... Index>
void ExpectEveryNameRight(std::index_sequence<Index...>) {
  const auto expectRight = [](FixedName fixed, std::size_t index) {
    const DomName name(fixed);
    EXPECT_EQ(ViewOfBstr(name.Get()), OleStringView(kNames[index].text.data(), 4)) << index;
  };
  (expectRight(kNames[Index].text.data(), Index), ...);
}

TEST(DomNameTest, NamesPastTheTableAreCopiedForTheCall) {
  ExpectEveryNameRight(std::make_index_sequence<kManyNames>());
  ExpectEveryNameRight(std::make_index_sequence<kManyNames>());  // shared or copied, once more
}

}  // namespace

}  // namespace quenlo::confext
