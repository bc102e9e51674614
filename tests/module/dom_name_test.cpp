// Names handed to the DOM: made once per name, and right whatever buffer holds the text, even
// one whose text changes or once the table of shared names is full.
#include "xml/dom_name.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quenlo::confext {

namespace {

OleStringView ViewOfBstr(BSTR text) { return {text, SysStringLen(text)}; }

TEST(DomNameTest, ALiteralIsMadeOnce) {
  const OLECHAR* const literal = OLESTR("subject");
  const DomName first(literal);
  const DomName second(literal);
  EXPECT_EQ(first.Get(), second.Get());
  EXPECT_EQ(ViewOfBstr(first.Get()), OleStringView(OLESTR("subject")));
  EXPECT_EQ(0u, SysStringLen(DomName(nullptr).Get()));
}

TEST(DomNameTest, ABufferWhoseTextChangesGivesTheNewText) {
  OleString buffer = OLESTR("subjects");
  const DomName before(buffer.c_str());
  buffer = OLESTR("subject");  // shorter, same storage
  const DomName shorter(buffer.c_str());
  buffer = OLESTR("subjectz");
  const DomName changed(buffer.c_str());
  EXPECT_EQ(ViewOfBstr(before.Get()), OleStringView(OLESTR("subjects")));
  EXPECT_EQ(ViewOfBstr(shorter.Get()), OleStringView(OLESTR("subject")));
  EXPECT_EQ(ViewOfBstr(changed.Get()), OleStringView(OLESTR("subjectz")));
}

TEST(DomNameTest, NamesPastTheTableAreCopiedForTheCall) {
  std::vector<OleString> texts;
  for (int index = 0; index < 300; ++index) {
    const std::string narrow = "name" + std::to_string(index);
    texts.emplace_back(narrow.begin(), narrow.end());
  }
  for (const OleString& text : texts) {
    const DomName name(text.c_str());
    ASSERT_EQ(ViewOfBstr(name.Get()), OleStringView(text));
  }
}

}  // namespace

}  // namespace quenlo::confext
