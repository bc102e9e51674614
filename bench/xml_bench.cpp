// XML benchmark: the platform DOM parsing a small and a large reply and serialising a request,
// each against pugixml doing the same work in the same run; expat alone beside them (what the
// platform's parse costs for texts it leaves to expat), and the memory a parsed tree keeps per
// node.
#include <benchmark/benchmark.h>
#include <expat.h>
#include <platform/msxml.h>
#include <platform/xml_parser.h>

#include <cstdio>
#include <pugixml.hpp>
#include <string>
#include <thread>

#include "allocation_count.h"
#include "bench_support.h"

namespace quenlo::confext {
namespace {

// A voting "apply" answer as the server sends it, about 300 bytes.
const std::string kSmallReply =
    "<iq type='result' from='room@conference.example' to='alice@example/desk' id='req-17'>"
    "<query xmlns='quenlo:conf:voting' type='showall'><vote><qid>v-0001</qid>"
    "<caption>Where do we have lunch?</caption><status>started</status><timeout>120</timeout>"
    "</vote></query></iq>";

std::string MakeLargeReply(std::size_t targetBytes) {
  std::string text =
      "<iq type='result' from='room@conference.example' id='big'>"
      "<query xmlns='quenlo:conf:voting' type='showall'>";
  char buffer[256];
  for (int vote = 0; text.size() < targetBytes; ++vote) {
    std::snprintf(buffer, sizeof buffer,
                  "<vote id='%d' state='open'><qid>v-%06d</qid><caption>Question number %d &amp; "
                  "more</caption><subject index='1'>Yes</subject><subject index='2'>No</subject>"
                  "</vote>\n",
                  vote, vote, vote);
    text += buffer;
  }
  return text + "</query></iq>";
}

const std::string& LargeReply() {
  static const std::string text = MakeLargeReply(3u << 20);
  return text;
}

void ParseWithPlatform(benchmark::State& state, const std::string& text) {
  const XmlParseLimits limits{.maxBytes = 8u << 20, .maxDepth = 256};
  for (auto _ : state) {
    IXMLDOMElement* root = nullptr;
    if (XmlParseElement(text, limits, &root).status != XmlParseStatus::Ok) {
      state.SkipWithError("refused");
      break;
    }
    root->Release();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

void ParseWithPugixml(benchmark::State& state, const std::string& text) {
  for (auto _ : state) {
    pugi::xml_document document;
    benchmark::DoNotOptimize(document.load_buffer(text.data(), text.size()));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

// The parser the platform uses, reset for each text as the platform does, with handlers that do
// nothing: what parsing costs before a single node is made.
void ParseWithExpatAlone(benchmark::State& state, const std::string& text) {
  XML_Parser parser = XML_ParserCreate("UTF-8");
  for (auto _ : state) {
    XML_ParserReset(parser, "UTF-8");
    XML_SetElementHandler(
        parser, [](void*, const XML_Char*, const XML_Char**) {}, [](void*, const XML_Char*) {});
    XML_SetCharacterDataHandler(parser, [](void*, const XML_Char*, int) {});
    if (XML_Parse(parser, text.data(), static_cast<int>(text.size()), XML_TRUE) != XML_STATUS_OK) {
      state.SkipWithError("expat refused the text");
      break;
    }
  }
  XML_ParserFree(parser);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

void BM_ParseSmall_Expat(benchmark::State& state) { ParseWithExpatAlone(state, kSmallReply); }
void BM_ParseLarge_Expat(benchmark::State& state) { ParseWithExpatAlone(state, LargeReply()); }
BENCHMARK(BM_ParseSmall_Expat);
BENCHMARK(BM_ParseLarge_Expat)->Unit(benchmark::kMillisecond);

void BM_ParseSmall_Module(benchmark::State& state) { ParseWithPlatform(state, kSmallReply); }
void BM_ParseSmall_Pugixml(benchmark::State& state) { ParseWithPugixml(state, kSmallReply); }
void BM_ParseLarge_Module(benchmark::State& state) { ParseWithPlatform(state, LargeReply()); }
void BM_ParseLarge_Pugixml(benchmark::State& state) { ParseWithPugixml(state, LargeReply()); }
BENCHMARK(BM_ParseSmall_Module);
BENCHMARK(BM_ParseSmall_Pugixml);
BENCHMARK(BM_ParseLarge_Module)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ParseLarge_Pugixml)->Unit(benchmark::kMillisecond);

constexpr int kBodyElements = 10;

// The shape of a voting "refer" request: iq, query, and ten text children.
ComPtr<IXMLDOMElement> BuildRequest(IXMLDOMDocument* document) {
  const auto element = [document](const OLECHAR* tag, const OLECHAR* text) {
    ComPtr<IXMLDOMElement> made;
    document->createElement(Bstr::Copy(tag).Get(), made.Put());
    if (text != nullptr) made->put_text(Bstr::Copy(text).Get());
    return made;
  };
  const auto attribute = [](IXMLDOMElement* target, const OLECHAR* name, const OLECHAR* value) {
    const Bstr text = Bstr::Copy(value);
    VARIANT variant;
    VariantInit(&variant);
    variant.vt = VT_BSTR;
    variant.bstrVal = text.Get();
    target->setAttribute(Bstr::Copy(name).Get(), variant);
  };
  ComPtr<IXMLDOMElement> iq = element(u"iq", nullptr);
  attribute(iq.Get(), u"type", u"set");
  attribute(iq.Get(), u"to", u"room@conference.example");
  attribute(iq.Get(), u"id", u"req-18");
  const ComPtr<IXMLDOMElement> query = element(u"query", nullptr);
  attribute(query.Get(), u"type", u"refer");
  attribute(query.Get(), u"xmlns", u"quenlo:conf:voting");
  iq->appendChild(query.Get(), nullptr);
  for (int index = 0; index < kBodyElements; ++index) {
    query->appendChild(element(u"subject", u"Pizza & pasta <today>").Get(), nullptr);
  }
  return iq;
}

void BM_Serialise_Module(benchmark::State& state) {
  ComPtr<IXMLDOMDocument> document;
  CoCreateInstance(CLSID_DOMDocument, nullptr, CLSCTX_INPROC_SERVER, IID_IXMLDOMDocument,
                   document.PutVoid());
  const ComPtr<IXMLDOMElement> request = BuildRequest(document.Get());
  for (auto _ : state) {
    Bstr xml;
    request->get_xml(xml.Put());
    benchmark::DoNotOptimize(xml.Get());
  }
}
BENCHMARK(BM_Serialise_Module);

void BM_Serialise_Pugixml(benchmark::State& state) {
  pugi::xml_document document;
  pugi::xml_node iq = document.append_child("iq");
  iq.append_attribute("type") = "set";
  iq.append_attribute("to") = "room@conference.example";
  iq.append_attribute("id") = "req-18";
  pugi::xml_node query = iq.append_child("query");
  query.append_attribute("type") = "refer";
  query.append_attribute("xmlns") = "quenlo:conf:voting";
  for (int index = 0; index < kBodyElements; ++index) {
    query.append_child("subject").text() = "Pizza & pasta <today>";
  }
  for (auto _ : state) {
    StringWriter writer;
    iq.print(writer, "", pugi::format_raw);
    benchmark::DoNotOptimize(writer.text.data());
  }
}
BENCHMARK(BM_Serialise_Pugixml);

// Heap bytes a parsed tree keeps (the tree alive, everything else the parse made gone), divided
// by its elements and text nodes; the same count for both, taken from pugixml's tree.
void PrintBytesPerNode() {
  const std::string& text = LargeReply();
  const XmlParseLimits limits{.maxBytes = 8u << 20, .maxDepth = 256};
  std::size_t nodes = 0;
  {
    pugi::xml_document document;
    document.load_buffer(text.data(), text.size());
    for (const pugi::xpath_node node : document.select_nodes("//node()")) {
      const pugi::xml_node_type type = node.node().type();
      if (type == pugi::node_element || type == pugi::node_pcdata) ++nodes;
    }
  }
  // On a thread of its own, whose store of blocks from earlier trees is still empty: a tree
  // built from blocks the thread kept would seem to cost nothing. Its warm-up text is short, so
  // that the parser's working memory, which stays with the thread, is left out, and no blocks
  // are kept.
  double ours = 0;
  std::thread([&] {
    IXMLDOMElement* warmUp = nullptr;
    XmlParseElement(kSmallReply, limits, &warmUp);
    if (warmUp != nullptr) warmUp->Release();
    CountAllocatedBytes(true);
    const std::size_t before = CurrentAllocations().liveBytes;
    IXMLDOMElement* root = nullptr;
    XmlParseElement(text, limits, &root);
    ours = static_cast<double>(CurrentAllocations().liveBytes - before);
    if (root != nullptr) root->Release();
    CountAllocatedBytes(false);
  }).join();

  CountAllocatedBytes(true);
  std::size_t before = CurrentAllocations().liveBytes;
  auto* document = new pugi::xml_document;
  document->load_buffer(text.data(), text.size());
  const double theirs = static_cast<double>(CurrentAllocations().liveBytes - before);
  delete document;
  CountAllocatedBytes(false);

  const double count = static_cast<double>(nodes);
  std::printf("%-52s %6.1f bytes (pugixml %.1f, %.2fx)\n", "memory per parsed node, 3 MB reply",
              ours / count, theirs / count, ours / theirs);
}

}  // namespace
}  // namespace quenlo::confext

int main(int argc, char** argv) {
  using namespace quenlo::confext;
  FixAllocatorThresholds();
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter({{"parse a 300-byte reply into the platform DOM", "BM_ParseSmall", 3.0},
                          {"parse a 3 MB reply into the platform DOM", "BM_ParseLarge", 3.0},
                          {"serialise a 12-element request", "BM_Serialise", 1.2},
                          {"  expat alone, 300-byte reply", "BM_ParseSmall", 0, "_Expat"},
                          {"  expat alone, 3 MB reply", "BM_ParseLarge", 0, "_Expat"}});
  benchmark::RunSpecifiedBenchmarks(&reporter);
  PrintBytesPerNode();
  benchmark::Shutdown();
  return 0;
}
