// XML benchmark: the platform DOM parsing a small and a large reply and serialising a request,
// each against pugixml doing the same work in the same run; expat alone beside them (what the
// platform's parse costs for texts it leaves to expat), and the memory a parsed tree keeps per
// node.
#include <benchmark/benchmark.h>
#include <expat.h>
#include <platform/xml_parser.h>

#include <cstdio>
#include <pugixml.hpp>
#include <string>
#include <thread>

#include "allocation_count.h"
#include "bench_support.h"
#include "pugixml_work.h"

namespace quenlo::confext {
namespace {

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

void BM_ParseSmall_Expat(benchmark::State& state) { ParseWithExpatAlone(state, SmallReply()); }
void BM_ParseLarge_Expat(benchmark::State& state) { ParseWithExpatAlone(state, LargeReply()); }
BENCHMARK(BM_ParseSmall_Expat);
BENCHMARK(BM_ParseLarge_Expat)->Unit(benchmark::kMillisecond);

void BM_ParseSmall_Module(benchmark::State& state) { ParseWithPlatform(state, SmallReply()); }
void BM_ParseSmall_Pugixml(benchmark::State& state) { ParseWithPugixml(state, SmallReply()); }
void BM_ParseLarge_Module(benchmark::State& state) { ParseWithPlatform(state, LargeReply()); }
void BM_ParseLarge_Pugixml(benchmark::State& state) { ParseWithPugixml(state, LargeReply()); }
BENCHMARK(BM_ParseSmall_Module);
BENCHMARK(BM_ParseSmall_Pugixml);
BENCHMARK(BM_ParseLarge_Module)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ParseLarge_Pugixml)->Unit(benchmark::kMillisecond);

void BM_Serialise_Module(benchmark::State& state) {
  const ComPtr<IXMLDOMElement> request = BuildRequest();
  if (!request) return state.SkipWithError("no document");
  for (auto _ : state) {
    Bstr xml;
    request->get_xml(xml.Put());
    benchmark::DoNotOptimize(xml.Get());
  }
}
BENCHMARK(BM_Serialise_Module);

void BM_Serialise_Pugixml(benchmark::State& state) {
  pugi::xml_document document;
  const pugi::xml_node iq = BuildPugixmlRequest(document);
  for (auto _ : state) PrintRaw(iq);
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
    XmlParseElement(SmallReply(), limits, &warmUp);
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
