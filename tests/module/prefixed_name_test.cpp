// Elements are found by the whole tag name on every platform: msxml's own lookup also matches a
// prefixed name by its local part, which the module must not take for the element it asked for.
#include <gtest/gtest.h>

#include "support/xml_equivalence.h"
#include "voting_fixture.h"
#include "xml/element_lookup.h"

namespace quenlo::confext {

namespace {

TEST(PrefixedNameTest, APrefixedElementIsNotTheOneNamed) {
  const ComPtr<IXMLDOMElement> iq = ParseXml(
      "<iq><v:query xmlns:v='quenlo:conf:voting' type='apply'><v:qid>1</v:qid></v:query>"
      "<query type='end'><qid>2</qid></query></iq>");
  ASSERT_TRUE(iq);
  const ComPtr<IXMLDOMElement> query = FindElement(iq.Get(), OLESTR("query"));
  ASSERT_TRUE(query);
  EXPECT_TRUE(XmlEquivalent(query.Get(), "<query type='end'><qid>2</qid></query>"));
  std::vector<ComPtr<IXMLDOMElement>> qids;
  ASSERT_TRUE(FindElements(iq.Get(), OLESTR("qid"), qids));
  EXPECT_EQ(qids.size(), 1u);
}

using PrefixedReplyTest = AttachedVotingTest;

TEST_F(PrefixedReplyTest, AReplyWhoseQueryIsPrefixedIsNotAnnounced) {
  Deliver(
      "<iq type='result' from='room7@conference.example'><v:query "
      "xmlns:v='quenlo:conf:voting' type='apply'><v:qid>1</v:qid></v:query></iq>");
  EXPECT_TRUE(host_.Events().empty());
}

}  // namespace

}  // namespace quenlo::confext
