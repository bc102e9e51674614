// Parsed trees: one parser serves every text of a thread, and the nodes, names and texts of a
// parse share memory that must stay valid for as long as any node is held, and changes made
// after the parse must not disturb it.
#include <atomic>
#include <string>
#include <thread>

#include "dom_test_support.h"
#include "platform/allocation_probe.h"

namespace quenlo {

namespace {

std::u16string Wide(const std::string& ascii) { return {ascii.begin(), ascii.end()}; }

XmlParseStatus StatusOf(std::string_view utf8) {
  IXMLDOMElement* root = nullptr;
  const XmlParseStatus status = XmlParseElement(utf8, &root).status;
  if (root != nullptr) root->Release();
  return status;
}

TEST(DomParsedTreeTest, NothingOfARefusedTextCarriesOverToTheNext) {
  // Each refusal stops the parser inside a namespace scope, with text pending.
  for (const std::string_view refused :
       {"<r xmlns='urn:one' xmlns:p='urn:two'><p:x>pending text", "<r xmlns:p='urn:two'><x><y>",
        "<r xmlns='urn:one'>text<!DOCTYPE r>"}) {
    EXPECT_NE(XmlParseStatus::Ok, StatusOf(refused)) << refused;
    EXPECT_EQ(XmlParseStatus::Malformed, StatusOf("<p:x/>"))
        << "prefix still bound after " << refused;
    const auto root = Parse("<x>fresh</x>");
    EXPECT_EQ(std::nullopt, NamespaceOf(root.get())) << "default namespace kept after " << refused;
    EXPECT_EQ(u"<x>fresh</x>", Xml(root.get()));
  }
}

TEST(DomParsedTreeTest, UtfSixteenAndUtfEightTextsTakeTurnsOnOneThread) {
  const auto document = NewDocument();
  for (int round = 0; round < 3; ++round) {
    VARIANT_BOOL loaded = VARIANT_FALSE;
    ASSERT_EQ(S_OK, document->loadXML(MakeBstr(u"<a n='\u00e9'>\u20ac</a>").get(), &loaded));
    IXMLDOMElement* loadedRoot = nullptr;
    ASSERT_EQ(S_OK, document->get_documentElement(&loadedRoot));
    const Ref<IXMLDOMElement> held(loadedRoot);
    EXPECT_EQ(u"<a n=\"\u00e9\">\u20ac</a>", Xml(loadedRoot));
    EXPECT_EQ(u"<b>\u4e2d</b>", Xml(Parse("<b>\xE4\xB8\xAD</b>").get()));
  }
}

TEST(DomParsedTreeTest, ParsedAttributesAndTextCanBeChanged) {
  const auto root = Parse("<r a='1' b='two' c='3'><t>old</t></r>");
  ASSERT_EQ(S_OK, SetAttribute(root.get(), u"b", u"a value much longer than the one parsed"));
  ASSERT_EQ(S_OK, SetAttribute(root.get(), u"d", u"4"));
  ASSERT_EQ(S_OK, root->removeAttribute(MakeBstr(u"a").get()));
  EXPECT_EQ(S_FALSE, root->removeAttribute(MakeBstr(u"a").get()));
  const auto text = ElementsByTag(root.get(), u"t");
  ASSERT_EQ(1u, text.size());
  ASSERT_EQ(S_OK, text[0]->put_text(MakeBstr(u"new").get()));
  EXPECT_EQ(u"<r b=\"a value much longer than the one parsed\" c=\"3\" d=\"4\"><t>new</t></r>",
            Xml(root.get()));

  // Changed alone, a value replaced in place and a parsed text node given new data: the memory
  // each then holds must go with the tree (the leak checker watches this).
  IXMLDOMElement* other = Parse("<r a='1' b='2'><t>old</t></r>").release();
  ASSERT_EQ(S_OK, SetAttribute(other, u"a", u"one"));
  const auto t = ElementsByTag(other, u"t");
  ASSERT_EQ(1u, t.size());
  IXMLDOMNode* data = nullptr;
  ASSERT_EQ(S_OK, t[0]->get_firstChild(&data));
  ASSERT_EQ(S_OK, data->put_text(MakeBstr(u"new data").get()));
  data->Release();
  EXPECT_EQ(u"<r a=\"one\" b=\"2\"><t>new data</t></r>", Xml(other));
  EXPECT_EQ(0u, other->Release());
}

// A parsed element whose only content is a text gets the text node only when its children are
// asked for or one is added; until then and after, it reads, writes out and changes alike.
TEST(DomParsedTreeTest, ALoneTextBecomesANodeWhenAskedForAndStaysThatNode) {
  IXMLDOMElement* root =
      Parse("<r><a> x &amp; y </a><b/><c>t<d/>u</c><e>v</e><f>w</f></r>").release();
  const auto a = ElementsByTag(root, u"a");
  ASSERT_EQ(1u, a.size());
  VARIANT_BOOL has = VARIANT_FALSE;
  EXPECT_EQ(S_OK, a[0]->hasChildNodes(&has));
  EXPECT_EQ(VARIANT_TRUE, has);
  EXPECT_EQ(u"x & y", TextOf(a[0].get()));
  EXPECT_EQ(u"<a> x &amp; y </a>", Xml(a[0].get()));

  const long nodesBefore = QuenloProbeLiveDomNodes();
  IXMLDOMNode* text = nullptr;
  ASSERT_EQ(S_OK, a[0]->get_firstChild(&text));
  EXPECT_EQ(nodesBefore + 1, QuenloProbeLiveDomNodes());
  DOMNodeType type = NODE_ELEMENT;
  EXPECT_EQ(S_OK, text->get_nodeType(&type));
  EXPECT_EQ(NODE_TEXT, type);
  EXPECT_EQ(u" x &amp; y ", Xml(text));
  IXMLDOMNode* again = nullptr;
  ASSERT_EQ(S_OK, a[0]->get_firstChild(&again));
  EXPECT_EQ(text, again);
  again->Release();
  IXMLDOMNodeList* children = nullptr;
  ASSERT_EQ(S_OK, a[0]->get_childNodes(&children));
  IXMLDOMNode* item = nullptr;
  ASSERT_EQ(S_OK, children->get_item(0, &item));
  EXPECT_EQ(text, item);
  item->Release();
  children->Release();
  IXMLDOMNode* parent = nullptr;
  ASSERT_EQ(S_OK, text->get_parentNode(&parent));
  EXPECT_EQ(static_cast<IXMLDOMNode*>(a[0].get()), parent);
  parent->Release();
  EXPECT_EQ(nodesBefore + 1, QuenloProbeLiveDomNodes());
  EXPECT_EQ(u"x & y", TextOf(a[0].get()));
  EXPECT_EQ(u"<a> x &amp; y </a>", Xml(a[0].get()));

  const auto b = ElementsByTag(root, u"b");
  EXPECT_EQ(S_FALSE, b[0]->hasChildNodes(&has));
  IXMLDOMNode* none = nullptr;
  EXPECT_EQ(S_FALSE, b[0]->get_firstChild(&none));
  EXPECT_EQ(nullptr, none);

  // A child added to a lone text's element comes after the text; new text replaces it.
  const auto e = ElementsByTag(root, u"e");
  const auto document = NewDocument();
  Append(e[0].get(), NewElement(document.get(), u"g").get());
  IXMLDOMNode* first = nullptr;
  ASSERT_EQ(S_OK, e[0]->get_firstChild(&first));
  EXPECT_EQ(u"v", Xml(first));
  first->Release();
  const auto f = ElementsByTag(root, u"f");
  ASSERT_EQ(S_OK, f[0]->put_text(MakeBstr(u"z").get()));
  EXPECT_EQ(u"<r><a> x &amp; y </a><b/><c>t<d/>u</c><e>v<g/></e><f>z</f></r>", Xml(root));
  EXPECT_EQ(u"tuvz",
            TextOf(ElementsByTag(root, u"c")[0].get()) + TextOf(e[0].get()) + TextOf(f[0].get()));

  // Moved elsewhere, the text node leaves its element empty.
  const auto h = Parse("<h>moved</h>");
  IXMLDOMNode* moved = nullptr;
  ASSERT_EQ(S_OK, h->get_firstChild(&moved));
  const auto k = NewElement(document.get(), u"k");
  Append(k.get(), moved);
  moved->Release();
  EXPECT_EQ(u"<h/>", Xml(h.get()));
  EXPECT_EQ(u"", TextOf(h.get()));
  EXPECT_EQ(S_FALSE, h->hasChildNodes(&has));
  EXPECT_EQ(u"<k>moved</k>", Xml(k.get()));

  // The text node made on demand keeps its data when the tree and its element are gone.
  EXPECT_EQ(0u, root->Release());
  ASSERT_EQ(S_OK, text->get_parentNode(&parent));
  parent->Release();
  EXPECT_EQ(u" x &amp; y ", Xml(text));
  text->Release();
}

TEST(DomParsedTreeTest, ManyDistinctNamesAreKeptApart) {
  std::string text = "<r";
  for (int index = 0; index < 300; ++index) {
    text += " n" + std::to_string(index) + "='v" + std::to_string(index) + "'";
  }
  text += ">";
  for (int index = 0; index < 300; ++index) text += "<e" + std::to_string(index) + "/>";
  text += "</r>";
  const auto root = Parse(text);
  for (int index = 0; index < 300; index += 37) {
    const std::u16string number = Wide(std::to_string(index));
    EXPECT_EQ(u"v" + number, AttributeOf(root.get(), u"n" + number));
    EXPECT_EQ(1u, ElementsByTag(root.get(), u"e" + number).size());
  }
}

TEST(DomParsedTreeTest, AHeldTextNodeKeepsItsDataWhenEverythingElseIsGone) {
  IXMLDOMNode* text = nullptr;
  {
    const auto root = Parse("<r><a>kept text</a></r>");
    const auto a = ElementsByTag(root.get(), u"a");
    ASSERT_EQ(1u, a.size());
    ASSERT_EQ(S_OK, a[0]->get_firstChild(&text));
  }
  const Ref<IXMLDOMNode> held(text);
  EXPECT_EQ(u"kept text", TextOf(text));
  EXPECT_EQ(1u, ReferencesOf(text));
}

TEST(DomParsedTreeTest, TreesParsedOnSeveralThreadsAreIndependent) {
  std::vector<std::thread> threads;
  std::vector<std::u16string> results(4);
  for (int thread = 0; thread < 4; ++thread) {
    threads.emplace_back([thread, &results] {
      // Appended rather than "t" + ..., which GCC 12 at -O3 misreads as an overlapping copy.
      std::string tag = "t";
      tag += std::to_string(thread);
      for (int round = 0; round < 200; ++round) {
        IXMLDOMElement* root = nullptr;
        XmlParseElement("<" + tag + " xmlns='urn:" + tag + "'>x</" + tag + ">", &root);
        if (root == nullptr) return;
        BSTR uri = nullptr;
        root->get_namespaceURI(&uri);
        results[thread] = ViewOf(uri);
        SysFreeString(uri);
        root->Release();
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (int thread = 0; thread < 4; ++thread) {
    EXPECT_EQ(Wide("urn:t" + std::to_string(thread)), results[thread]);
  }
}

// Threads asking for the same elements' first children at once all get the one text node each
// element has, and each element ends with one child.
TEST(DomParsedTreeTest, ThreadsAskingForALoneTextAtOnceGetOneNode) {
  std::string text = "<r>";
  for (int index = 0; index < 2000; ++index) text += "<v>" + std::to_string(index) + "</v>";
  const auto root = Parse(text + "</r>");
  const auto leaves = ElementsByTag(root.get(), u"v");
  ASSERT_EQ(2000u, leaves.size());
  std::vector<std::vector<IXMLDOMNode*>> seen(4, std::vector<IXMLDOMNode*>(leaves.size()));
  std::vector<std::thread> threads;
  for (auto& mine : seen) {
    threads.emplace_back([&leaves, &mine] {
      for (std::size_t index = 0; index < leaves.size(); ++index) {
        leaves[index]->get_firstChild(&mine[index]);
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (std::size_t index = 0; index < leaves.size(); ++index) {
    for (const auto& other : seen) EXPECT_EQ(seen[0][index], other[index]) << index;
    for (const auto& other : seen) other[index]->Release();
    IXMLDOMNodeList* children = nullptr;
    ASSERT_EQ(S_OK, leaves[index]->get_childNodes(&children));
    long length = 0;
    children->get_length(&length);
    children->Release();
    EXPECT_EQ(1, length) << index;
  }
}

// A reader of a tree's text or XML may meet leaf texts turning into nodes, as another thread asks
// for the elements' first children: each text must still be read once, neither lost nor doubled.
TEST(DomParsedTreeTest, TextsReadWhileLeafTextsTurnIntoNodesAreReadOnce) {
  std::string text = "<r>";
  for (int index = 0; index < 200; ++index) text += "<v>" + std::to_string(index % 10) + "</v>";
  text += "</r>";
  std::u16string expectedText;
  for (int index = 0; index < 200; ++index) expectedText += Wide(std::to_string(index % 10));
  const std::u16string expectedXml = Wide(text);
  int misread = 0;
  for (int round = 0; round < 50; ++round) {
    const auto root = Parse(text);
    const auto leaves = ElementsByTag(root.get(), u"v");
    std::atomic<bool> go{false};
    std::atomic<int> wrong{0};
    std::thread asker([&] {
      while (!go.load()) std::this_thread::yield();
      for (const auto& leaf : leaves) {
        IXMLDOMNode* child = nullptr;
        leaf->get_firstChild(&child);
        if (child != nullptr) child->Release();
      }
    });
    std::thread reader([&] {
      while (!go.load()) std::this_thread::yield();
      for (int read = 0; read < 20; ++read) {
        BSTR all = nullptr;
        BSTR xml = nullptr;
        root->get_text(&all);
        root->get_xml(&xml);
        if (all == nullptr || std::u16string(all, SysStringLen(all)) != expectedText) ++wrong;
        if (xml == nullptr || std::u16string(xml, SysStringLen(xml)) != expectedXml) ++wrong;
        SysFreeString(all);
        SysFreeString(xml);
      }
    });
    go.store(true);
    asker.join();
    reader.join();
    misread += wrong.load();
  }
  EXPECT_EQ(0, misread);
}

// The memory of a large tree that went is kept by the thread that let it go and built into the
// next trees there, whichever thread made it: each tree must read as its own text says.
TEST(DomParsedTreeTest, TreesBuiltFromTheMemoryOfTreesThatWentAreWhole) {
  const XmlParseLimits limits{.maxBytes = 8u << 20, .maxDepth = 16};
  const auto text = [](int round) {
    std::string xml = "<r>";
    for (int item = 0; item < 20000; ++item) {
      xml += "<i n='" + std::to_string(round) + "'>" + std::to_string(item) + "</i>";
    }
    return xml + "</r>";
  };
  const auto check = [](IXMLDOMElement* root, int round) {
    const auto items = ElementsByTag(root, u"i");
    ASSERT_EQ(20000u, items.size());
    for (const std::size_t at : {std::size_t{0}, std::size_t{12345}, std::size_t{19999}}) {
      EXPECT_EQ(Wide(std::to_string(at)), TextOf(items[at].get()));
      EXPECT_EQ(Wide(std::to_string(round)), AttributeOf(items[at].get(), u"n"));
    }
  };
  IXMLDOMElement* madeElsewhere = nullptr;
  std::thread([&] {
    ASSERT_EQ(XmlParseStatus::Ok, XmlParseElement(text(0), limits, &madeElsewhere).status);
  }).join();
  ASSERT_NE(nullptr, madeElsewhere);
  check(madeElsewhere, 0);
  madeElsewhere->Release();
  for (int round = 1; round <= 3; ++round) {
    IXMLDOMElement* parsed = nullptr;
    ASSERT_EQ(XmlParseStatus::Ok, XmlParseElement(text(round), limits, &parsed).status);
    const Ref<IXMLDOMElement> root(parsed);
    check(root.get(), round);
  }
}

TEST(DomParsedTreeTest, RefusedAndFailedParsesLeaveNoNodeAlive) {
  constexpr std::string_view kReply = "<iq a='1'><q xmlns='urn:q'><x>1</x><y>2</y></q></iq>";
  const long nodes = QuenloProbeLiveDomNodes();
  for (const std::string_view refused : {"<iq><q><x>1</x></q>", "<iq><q></iq>", "<a/><b/>"}) {
    EXPECT_EQ(XmlParseStatus::Malformed, StatusOf(refused)) << refused;
  }
  EXPECT_EQ(XmlParseStatus::TooDeep, [] {
    IXMLDOMElement* root = nullptr;
    return XmlParseElement("<a><b><c/></b></a>", {.maxBytes = 100, .maxDepth = 2}, &root).status;
  }());
  EXPECT_EQ(nodes, QuenloProbeLiveDomNodes());
  // Each node of the reply made to fail in turn, the parse stopping there.
  for (long ordinal = 1;; ++ordinal) {
    QuenloProbeFailAllocation(ordinal);
    IXMLDOMElement* root = nullptr;
    bool failed = false;
    try {
      XmlParseElement(kReply, &root);
    } catch (const std::bad_alloc&) {
      failed = true;
    }
    const long seen = QuenloProbeAllocationsSeen();
    QuenloProbeFailAllocation(0);
    EXPECT_EQ(failed, root == nullptr) << ordinal;
    if (root != nullptr) root->Release();
    EXPECT_EQ(nodes, QuenloProbeLiveDomNodes()) << "after failing allocation " << ordinal;
    if (seen < ordinal) break;  // the parse needed fewer: every one has been failed
  }
}

}  // namespace

}  // namespace quenlo
