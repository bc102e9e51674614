#include <thread>
#include <vector>

#include "dom_test_support.h"
#include "platform/allocation_probe.h"

namespace quenlo {

namespace {

TEST(DomLifetimeTest, ParentHoldsOneReferencePerChild) {
  const auto document = NewDocument();
  const auto parent = NewElement(document.get(), u"parent");
  const auto child = NewElement(document.get(), u"child");
  EXPECT_EQ(1u, ReferencesOf(document.get()));  // nodes do not hold their document
  EXPECT_EQ(1u, ReferencesOf(child.get()));
  Append(parent.get(), child.get());
  EXPECT_EQ(2u, ReferencesOf(child.get()));
  EXPECT_EQ(1u, ReferencesOf(parent.get()));

  IXMLDOMNode* first = nullptr;
  ASSERT_EQ(S_OK, parent->get_firstChild(&first));
  EXPECT_EQ(3u, ReferencesOf(child.get()));
  first->Release();
  IXMLDOMNodeList* list = nullptr;
  ASSERT_EQ(S_OK, parent->get_childNodes(&list));
  EXPECT_EQ(3u, ReferencesOf(child.get()));
  EXPECT_EQ(1u, ReferencesOf(parent.get()));  // a child list holds the children only
  list->Release();
  EXPECT_EQ(2u, ReferencesOf(child.get()));
  IXMLDOMNamedNodeMap* map = nullptr;
  ASSERT_EQ(S_OK, parent->get_attributes(&map));
  EXPECT_EQ(2u, ReferencesOf(parent.get()));
  map->Release();
  EXPECT_EQ(1u, ReferencesOf(parent.get()));
}

TEST(DomLifetimeTest, TagListKeepsItsRootAlive) {
  IXMLDOMElement* root = Parse("<r><a/><b><a/></b></r>").release();
  IXMLDOMNodeList* list = nullptr;
  ASSERT_EQ(S_OK, root->getElementsByTagName(MakeBstr(u"a").get(), &list));
  EXPECT_EQ(2u, ReferencesOf(root));
  IXMLDOMNode* first = nullptr;
  ASSERT_EQ(S_OK, list->get_item(0, &first));
  first->Release();  // the list remembers the first match without holding it
  root->Release();
  IXMLDOMNode* second = nullptr;
  ASSERT_EQ(S_OK, list->get_item(1, &second));
  long length = 0;
  ASSERT_EQ(S_OK, list->get_length(&length));
  EXPECT_EQ(2, length);
  list->Release();
  EXPECT_EQ(1u, ReferencesOf(second));  // the tree went with the list; the held item lives on
  second->Release();
}

TEST(DomLifetimeTest, HeldChildOutlivesParentAndDocument) {
  IXMLDOMDocument* document = NewDocument().release();
  IXMLDOMElement* parent = NewElement(document, u"iq").release();
  IXMLDOMElement* child = NewElement(document, u"query").release();
  ASSERT_EQ(S_OK, SetAttribute(child, u"type", u"apply"));
  Append(parent, child);
  ASSERT_EQ(S_OK, child->put_text(MakeBstr(u"body").get()));

  IXMLDOMDocument* owner = nullptr;
  ASSERT_EQ(S_OK, child->get_ownerDocument(&owner));
  EXPECT_EQ(document, owner);
  EXPECT_EQ(1u, owner->Release());

  EXPECT_EQ(0u, document->Release());
  EXPECT_EQ(0u, parent->Release());
  EXPECT_EQ(u"<query type=\"apply\">body</query>", Xml(child));
  EXPECT_EQ(S_FALSE, child->get_ownerDocument(&owner));
  EXPECT_EQ(nullptr, owner);
  IXMLDOMNode* parentNode = nullptr;
  EXPECT_EQ(S_FALSE, child->get_parentNode(&parentNode));
  EXPECT_EQ(0u, child->Release());
}

TEST(DomLifetimeTest, ParsedChildOutlivesTheReplyTree) {
  IXMLDOMElement* iq =
      Parse("<iq from='r'><x><query xmlns='ns'><a>1</a><b>2</b></query></x></iq>").release();
  auto query = ElementsByTag(iq, u"query");
  ASSERT_EQ(1u, query.size());
  EXPECT_EQ(0u, iq->Release());
  EXPECT_EQ(1u, ReferencesOf(query[0].get()));
  EXPECT_EQ(u"12", TextOf(query[0].get()));
  EXPECT_EQ(u"ns", NamespaceOf(query[0].get()));
  EXPECT_EQ(2u, ElementsByTag(query[0].get(), u"*").size());
}

TEST(DomLifetimeTest, EveryReleaseOrderFreesEverything) {
  // Run under the leak checker: each order must free all nodes, with nothing freed early.
  for (int order = 0; order < 6; ++order) {
    IXMLDOMDocument* document = NewDocument().release();
    IXMLDOMElement* parent = NewElement(document, u"parent").release();
    IXMLDOMElement* child = NewElement(document, u"child").release();
    Append(parent, child);
    Append(document, parent);
    IUnknown* objects[3] = {document, parent, child};
    const int permutations[6][3] = {{0, 1, 2}, {0, 2, 1}, {1, 0, 2},
                                    {1, 2, 0}, {2, 0, 1}, {2, 1, 0}};
    for (const int index : permutations[order]) {
      for (IUnknown* other : objects) {
        if (other != nullptr && other != objects[index]) {
          BSTR xml = nullptr;
          void* node = nullptr;
          ASSERT_EQ(S_OK, other->QueryInterface(IID_IXMLDOMNode, &node));
          EXPECT_EQ(S_OK, static_cast<IXMLDOMNode*>(node)->get_xml(&xml));
          SysFreeString(xml);
          static_cast<IXMLDOMNode*>(node)->Release();
        }
      }
      objects[index]->Release();
      objects[index] = nullptr;
    }
  }
}

// Held nodes among dying ones, first, in the middle and last among their siblings, with dying
// nodes below them: a teardown must free exactly the others and leave each held node whole and
// free-standing, whether the tree goes with its last reference or its children are replaced.
TEST(DomLifetimeTest, TeardownFreesAllButTheHeldNodesAndCutsThoseLoose) {
  constexpr std::string_view kReply =
      "<r><a><b/><c><d>1</d></c><e>2</e></a><f><g><h/></g>3</f><k><m/>4</k></r>";
  for (const bool byText : {false, true}) {
    const long nodesBefore = QuenloProbeLiveDomNodes();
    IXMLDOMElement* root = Parse(kReply).release();
    std::vector<Ref<IXMLDOMElement>> held;
    for (const char16_t* tag : {u"b", u"c", u"e", u"g", u"k"}) {
      auto found = ElementsByTag(root, tag);
      ASSERT_EQ(1u, found.size());
      held.push_back(std::move(found[0]));
    }
    if (byText) {
      ASSERT_EQ(S_OK, root->put_text(MakeBstr(u"new").get()));
      EXPECT_EQ(u"<r>new</r>", Xml(root));
    }
    EXPECT_EQ(0u, root->Release());

    // b, c, d, e, g, h and k with m and its text: the texts of d and e, all their elements hold,
    // were never asked for as nodes.
    EXPECT_EQ(nodesBefore + 9, QuenloProbeLiveDomNodes());
    const std::u16string expected[] = {u"<b/>", u"<c><d>1</d></c>", u"<e>2</e>", u"<g><h/></g>",
                                       u"<k><m/>4</k>"};
    for (std::size_t index = 0; index < held.size(); ++index) {
      IXMLDOMElement* node = held[index].get();
      EXPECT_EQ(expected[index], Xml(node));
      EXPECT_EQ(1u, ReferencesOf(node));
      IXMLDOMNode* link = nullptr;
      EXPECT_EQ(S_FALSE, node->get_parentNode(&link));
      EXPECT_EQ(S_FALSE, node->get_nextSibling(&link));
      EXPECT_EQ(nullptr, link);
    }
    held.clear();
    EXPECT_EQ(nodesBefore, QuenloProbeLiveDomNodes());
  }
}

TEST(DomLifetimeTest, DeepTreesAreFreedAndWalkedWithoutRecursion) {
  constexpr int kDepth = 300'000;  // far beyond what a recursive walk survives
  const auto document = NewDocument();
  IXMLDOMElement* root = NewElement(document.get(), u"d").release();
  {
    Ref<IXMLDOMElement> tip(root);
    tip->AddRef();
    for (int level = 1; level < kDepth; ++level) {
      auto next = NewElement(document.get(), u"d");
      Append(tip.get(), next.get());
      tip = std::move(next);
    }
    ASSERT_EQ(S_OK, tip->put_text(MakeBstr(u"deep").get()));
  }
  EXPECT_EQ(u"deep", TextOf(root));
  EXPECT_EQ(std::size_t{kDepth} * 7 + 4, Xml(root).size());  // "<d>" + "</d>" per level
  EXPECT_EQ(std::size_t{kDepth} - 1, ElementsByTag(root, u"d").size());
  EXPECT_EQ(0u, root->Release());
}

TEST(DomLifetimeTest, ReferencesCountExactlyAcrossThreads) {
  const auto document = NewDocument();
  const auto element = NewElement(document.get(), u"shared");
  std::vector<std::thread> threads;
  for (int thread = 0; thread < 4; ++thread) {
    threads.emplace_back([&element] {
      for (int round = 0; round < 100'000; ++round) {
        element->AddRef();
        element->Release();
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(1u, ReferencesOf(element.get()));
}

TEST(DomLifetimeTest, RequestsFromALongLivedDocumentLeaveNoNodeOrStringAlive) {
  const auto document = NewDocument();
  const long nodes = QuenloProbeLiveDomNodes();
  const long strings = QuenloProbeLiveBstrs();
  for (int round = 0; round < 1000; ++round) {
    const auto iq = NewElement(document.get(), u"iq");
    SetAttribute(iq.get(), u"type", u"set");
    const auto query = NewElement(document.get(), u"query");
    SetAttribute(query.get(), u"xmlns", u"quenlo:conf:voting");
    query->put_text(MakeBstr(u"a body").get());
    Append(iq.get(), query.get());
  }
  EXPECT_EQ(QuenloProbeLiveDomNodes(), nodes);
  EXPECT_EQ(QuenloProbeLiveBstrs(), strings);
}

}  // namespace

}  // namespace quenlo
