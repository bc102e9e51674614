// Names are kept once for the process while there is room and once per document after that:
// either way one text must stay one name, or an element would carry two attributes of the same
// name and a tag search would miss elements.
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "dom_test_support.h"
#include "platform/dom/name_cache.h"
#include "platform/dom/name_registry.h"
#include "platform/dom/tag_summary.h"

namespace quenlo {
namespace {

using platform::dom::Name;
using platform::dom::NameCache;
using platform::dom::NameKey;
using platform::dom::NameRegistry;
using platform::dom::TagSummary;

const Name* Keep(NameRegistry& registry, std::u16string_view text) {
  return registry.Intern(text, TagSummary::HashOf(text));
}
const Name* KeepAscii(NameRegistry& registry, std::string_view text) {
  return registry.Intern(text, TagSummary::HashOfAscii(text));
}

std::u16string Numbered(std::u16string_view stem, int number) {
  std::u16string text(stem);
  for (const char digit : std::to_string(number)) text += static_cast<char16_t>(digit);
  return text;
}

TEST(NameRegistryTest, OneTextIsOneNameWhicheverWayItComes) {
  NameRegistry registry(16, 8);
  const Name* wide = Keep(registry, u"subject");
  ASSERT_NE(nullptr, wide);
  EXPECT_EQ(u"subject", wide->View());
  EXPECT_EQ(TagSummary::HashOf(u"subject"), wide->hash);
  EXPECT_EQ(wide, KeepAscii(registry, "subject"));
  EXPECT_EQ(wide, Keep(registry, u"subject"));
  EXPECT_NE(wide, Keep(registry, u"subjects"));
  EXPECT_NE(wide, Keep(registry, u"Subject"));
  EXPECT_EQ(u"", Keep(registry, u"")->View());
}

TEST(NameRegistryTest, LongNamesAreLeftOutAndAFullRegistryStaysFull) {
  NameRegistry registry(3, 8);
  EXPECT_EQ(nullptr, Keep(registry, u"ninechars"));
  EXPECT_FALSE(registry.Full()) << "a long name takes no room";
  const Name* first = Keep(registry, u"a");
  ASSERT_NE(nullptr, Keep(registry, u"b"));
  ASSERT_NE(nullptr, Keep(registry, u"c"));
  EXPECT_FALSE(registry.Full());
  EXPECT_EQ(nullptr, Keep(registry, u"d"));
  EXPECT_TRUE(registry.Full());
  EXPECT_EQ(first, Keep(registry, u"a")) << "kept names are still found";
  EXPECT_EQ(nullptr, Keep(registry, u"d"));
}

TEST(NameRegistryTest, ThreadsKeepingTheSameNamesAtOnceGetTheSameNames) {
  constexpr int kNames = 257;  // a prime, so that every order below visits every name
  NameRegistry registry(4 * kNames, 32);
  constexpr int kThreads = 4;
  std::vector<std::vector<const Name*>> seen(kThreads, std::vector<const Name*>(kNames));
  std::vector<std::thread> threads;
  for (int thread = 0; thread < kThreads; ++thread) {
    threads.emplace_back([&, thread] {
      // Each thread in its own order, so that they race for different slots.
      for (int step = 0; step < kNames; ++step) {
        const int index = (step * (2 * thread + 1) + thread * 37) % kNames;
        seen[thread][index] = Keep(registry, Numbered(u"name", index));
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (int index = 0; index < kNames; ++index) {
    ASSERT_NE(nullptr, seen[0][index]);
    EXPECT_EQ(Numbered(u"name", index), seen[0][index]->View());
    for (int thread = 1; thread < kThreads; ++thread)
      EXPECT_EQ(seen[0][index], seen[thread][index]);
  }
}

// A caller may keep one string and change its text between calls, and a freed string's place is
// soon another's: the name found for a place must be the one its text has now.
TEST(DomNamesTest, AStringWhoseTextChangedInPlaceGivesItsNewName) {
  const auto document = NewDocument();
  BSTR reused = SysAllocString(u"alpha");
  for (const std::u16string_view text : {u"alpha", u"omega", u"alpha", u"omegb"}) {
    std::copy(text.begin(), text.end(), reused);
    IXMLDOMElement* made = nullptr;
    ASSERT_EQ(S_OK, document->createElement(reused, &made));
    const Ref<IXMLDOMElement> element(made);
    EXPECT_EQ(text, TagOf(element.get()));
    VARIANT value;
    value.vt = VT_BSTR;
    value.bstrVal = reused;
    ASSERT_EQ(S_OK, element->setAttribute(reused, value));
    EXPECT_EQ(u"<" + std::u16string(text) + u" " + std::u16string(text) + u"=\"" +
                  std::u16string(text) + u"\"/>",
              Xml(element.get()));
  }
  SysFreeString(reused);
}

// Fills the process's registry (each test runs in a process of its own) with more names than it
// keeps (4,096), then checks that names met only afterwards, and names too long for the
// registry, still behave as one name.
TEST(DomNamesTest, NamesStayOneOnceTheProcessRegistryIsFull) {
  const auto document = NewDocument();
  for (int index = 0; index < 5000; ++index) NewElement(document.get(), Numbered(u"e", index));
  const std::u16string longName = u"x" + std::u16string(200, u'y');
  for (const std::u16string& late : {std::u16string(u"late"), longName}) {
    const auto element = NewElement(document.get(), late);
    ASSERT_EQ(S_OK, SetAttribute(element.get(), late, u"1"));
    ASSERT_EQ(S_OK, SetAttribute(element.get(), late, u"2"));
    EXPECT_EQ(u"<" + late + u" " + late + u"=\"2\"/>", Xml(element.get()));
    const auto child = NewElement(document.get(), late);
    Append(element.get(), child.get());
    EXPECT_EQ(1u, ElementsByTag(element.get(), late).size());

    const std::string utf8(late.begin(), late.end());
    const auto parsed = Parse("<r><" + utf8 + " " + utf8 + "='p'/><" + utf8 + "/></r>");
    const auto found = ElementsByTag(parsed.get(), late);
    ASSERT_EQ(2u, found.size());
    ASSERT_EQ(S_OK, SetAttribute(found[0].get(), late, u"q"));
    EXPECT_EQ(u"<" + late + u" " + late + u"=\"q\"/>", Xml(found[0].get()));
  }
}

// A parse looks up every name of a reply in its thread's cache: one that the reply's other names
// keep pushing out is scanned, hashed and found in the registry again at every parse.
TEST(NameCacheTest, EveryNameOfTheConferenceRepliesStaysCachedTogether) {
  const std::vector<std::string> names = {
      "iq",    "type", "from",  "to",      "id",       "query",  "xmlns", "qid",  "caption",
      "multi", "reg",  "count", "subject", "subjects", "name",   "index", "user", "vote",
      "text",  "time", "value", "code",    "style",    "status", "owner", "error"};
  NameRegistry registry(64, 16);
  NameCache cache;
  const auto keyOf = [](const std::string& ascii) {
    char bytes[16] = {};
    std::memcpy(bytes, ascii.data(), ascii.size());
    NameKey key;
    std::memcpy(&key.low, bytes, 8);
    std::memcpy(&key.high, bytes + 8, 8);
    return key;
  };
  for (const std::string& name : names) cache.Keep(keyOf(name), KeepAscii(registry, name));
  for (const std::string& name : names) {
    const Name* found = cache.Find(keyOf(name));
    ASSERT_NE(nullptr, found) << name;
    EXPECT_EQ(KeepAscii(registry, name), found) << name;
  }
  EXPECT_EQ(nullptr, cache.Find(keyOf("caption2")));
}

}  // namespace
}  // namespace quenlo
