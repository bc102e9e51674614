// Tag lookups pass over text-only subtrees and turn most tags away by a short hash of the name;
// these are the cases where either shortcut could hide a match or give a wrong one.
#include <gtest/gtest.h>

#include "dom_test_support.h"

namespace quenlo {

namespace {

// "exr" and "jda" share the low 16 bits of their tag hash.
TEST(DomTagSearchTest, TagsWithTheSameShortHashAreToldApart) {
  const auto root = Parse("<r><exr/><jda n='1'/><exr><jda n='2'/></exr></r>");
  const auto jda = ElementsByTag(root.get(), u"jda");
  ASSERT_EQ(2u, jda.size());
  EXPECT_EQ(u"1", AttributeOf(jda[0].get(), u"n"));
  EXPECT_EQ(u"2", AttributeOf(jda[1].get(), u"n"));
  EXPECT_EQ(2u, ElementsByTag(root.get(), u"exr").size());
}

TEST(DomTagSearchTest, ElementsAppendedBelowTextOnlyElementsAreFound) {
  const auto document = NewDocument();
  const auto root = Parse("<r><a>text</a><b>more</b></r>");
  IXMLDOMNodeList* list = nullptr;
  ASSERT_EQ(S_OK, root->getElementsByTagName(MakeBstr(u"c").get(), &list));
  const Ref<IXMLDOMNodeList> owned(list);
  long length = -1;
  ASSERT_EQ(S_OK, list->get_length(&length));
  EXPECT_EQ(0, length);

  // Below an element that held only text.
  const auto a = ElementsByTag(root.get(), u"a");
  ASSERT_EQ(1u, a.size());
  const auto first = NewElement(document.get(), u"c");
  ASSERT_EQ(S_OK, SetAttribute(first.get(), u"n", u"1"));
  Append(a[0].get(), first.get());
  ASSERT_EQ(S_OK, list->get_length(&length));
  EXPECT_EQ(1, length);

  // Below an element whose element children were replaced by text, then given a new one.
  ASSERT_EQ(S_OK, a[0]->put_text(MakeBstr(u"plain").get()));
  ASSERT_EQ(S_OK, list->get_length(&length));
  EXPECT_EQ(0, length);
  const auto second = NewElement(document.get(), u"c");
  ASSERT_EQ(S_OK, SetAttribute(second.get(), u"n", u"2"));
  Append(a[0].get(), second.get());
  const auto found = ElementsByTag(root.get(), u"c");
  ASSERT_EQ(1u, found.size());
  EXPECT_EQ(u"2", AttributeOf(found[0].get(), u"n"));

  // Moved away and back: the element is found where it now stands.
  const auto b = ElementsByTag(root.get(), u"b");
  ASSERT_EQ(1u, b.size());
  Append(b[0].get(), second.get());
  ASSERT_EQ(S_OK, list->get_length(&length));
  EXPECT_EQ(1, length);
  Append(a[0].get(), second.get());
  ASSERT_EQ(S_OK, list->get_length(&length));
  EXPECT_EQ(1, length);
}

}  // namespace

}  // namespace quenlo
