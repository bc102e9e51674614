// Agenda benchmark: a "browse" reply with 1,000 agenda items, parsed as the host parses it, from
// OnPacket to RaiseEvent with the host reading all seven fields of every item; against pugixml
// parsing the same text and reading the same fields in the same run. Beside it, the floor under
// any read through the DOM's interfaces: the parse alone, and every field's text handed out with
// its element already found. No goal against pugixml: one would need a read interface of the
// platform's own beside the DOM's calls, which the module does not take; its instruction count
// is held to a budget (bench/instruction_budget.txt).
#include <benchmark/benchmark.h>
#include <quenlo/agenda.h>

#include <cstdio>
#include <pugixml.hpp>
#include <string>

#include "allocation_count.h"
#include "bench_support.h"
#include "pugixml_work.h"
#include "workloads.h"
#include "xml/element_lookup.h"

namespace quenlo::confext {
namespace {

// The list announced, the items not read: the share of the work that dispatch and Load take.
void ReadCountOnly(IUnknown* result) {
  LONG count = 0;
  QueryFrom<IAgendaList>(result)->GetCount(&count);
  benchmark::DoNotOptimize(count);
}

void RunBrowseReply(benchmark::State& state, void (*read)(IUnknown*)) {
  BenchSession bench(BenchSession::Kind::Agenda);
  bench.host.onResult = read;
  const std::size_t allocationsBefore = CurrentAllocations().calls;
  for (auto _ : state) {
    const ComPtr<IXMLDOMElement> packet = ParsePacket(BrowseReply());
    bench.sink->OnPacket(nullptr, packet.Get(), 0);
  }
  ReportAllocations(state, CurrentAllocations().calls - allocationsBefore);
}

void BM_Browse1000_Module(benchmark::State& state) { RunBrowseReply(state, ReadEveryItem); }
BENCHMARK(BM_Browse1000_Module)->Unit(benchmark::kMicrosecond);

void BM_Browse1000_DispatchOnly(benchmark::State& state) { RunBrowseReply(state, ReadCountOnly); }
BENCHMARK(BM_Browse1000_DispatchOnly)->Unit(benchmark::kMicrosecond);

void BM_Browse1000_ParseAlone(benchmark::State& state) { ParseAlone(state, BrowseReply()); }
BENCHMARK(BM_Browse1000_ParseAlone)->Unit(benchmark::kMicrosecond);

void BM_Browse1000_ValuesAlone(benchmark::State& state) {
  const ComPtr<IXMLDOMElement> reply = ParsePacket(BrowseReply());
  std::vector<ComPtr<IXMLDOMElement>> items;
  FindElements(reply.Get(), OLESTR("subject"), items);
  ReplyValues values;
  constexpr FixedName kFields[] = {OLESTR("text"),  OLESTR("time"), OLESTR("qid"),  OLESTR("type"),
                                   OLESTR("value"), OLESTR("code"), OLESTR("style")};
  for (const ComPtr<IXMLDOMElement>& item : items) {
    for (const FixedName tag : kFields) {
      values.texts.push_back(FindElement(item.Get(), tag));
    }
  }
  HandOutValues(state, values);
}
BENCHMARK(BM_Browse1000_ValuesAlone)->Unit(benchmark::kMicrosecond);

void BM_Browse1000_Pugixml(benchmark::State& state) {
  const std::size_t allocationsBefore = CurrentAllocations().calls;
  for (auto _ : state) ParseAndRead(BrowseReply(), ReadBrowse);
  ReportAllocations(state, CurrentAllocations().calls - allocationsBefore);
}
BENCHMARK(BM_Browse1000_Pugixml)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace quenlo::confext

int main(int argc, char** argv) {
  using namespace quenlo::confext;
  FixAllocatorThresholds();
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter({
      {"agenda browse of 1,000 items, every field", "BM_Browse1000", 0},
      {"  floor: its parse and field texts alone", "BM_Browse1000", 0, "_ParseAlone+_ValuesAlone"},
  });
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
