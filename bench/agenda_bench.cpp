// Agenda benchmark: a "browse" reply with 1,000 agenda items, parsed as the host parses it, from
// OnPacket to RaiseEvent with the host reading all seven fields of every item; against pugixml
// parsing the same text and reading the same fields in the same run (goal: at most 2x).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <pugixml.hpp>
#include <string>

#include "agenda/agenda_session.h"
#include "allocation_count.h"
#include "bench_support.h"

namespace quenlo::confext {
namespace {

std::string MakeBrowseReply(int items) {
  std::string text =
      "<iq type='result' from='hall@conference.example' id='b1'>"
      "<query xmlns='quenlo:conf:agenda' type='browse'>";
  char buffer[256];
  for (int item = 0; item < items; ++item) {
    std::snprintf(buffer, sizeof buffer,
                  "<subject><qid>item-%04d</qid><text>Agenda point number %d</text>"
                  "<time>%02d:%02d</time><type>talk</type><value>%d</value><code>0</code>"
                  "<style>plain</style></subject>",
                  item, item, 8 + item / 60 % 10, item % 60, item % 90);
    text += buffer;
  }
  return text + "</query></iq>";
}

const std::string& BrowseReply() {
  static const std::string text = MakeBrowseReply(1000);
  return text;
}

using Accessor = HRESULT (STDMETHODCALLTYPE IAgendaReply::*)(BSTR*);
constexpr Accessor kFields[] = {
    &IAgendaReply::GetText,  &IAgendaReply::GetTime, &IAgendaReply::GetQid,  &IAgendaReply::GetType,
    &IAgendaReply::GetValue, &IAgendaReply::GetCode, &IAgendaReply::GetStyle};

// What a host showing the whole agenda reads: every field of every item.
void ReadEveryItem(IUnknown* result) {
  const ComPtr<IAgendaList> list = QueryFrom<IAgendaList>(result);
  LONG count = 0;
  list->GetCount(&count);
  for (LONG index = 0; index < count; ++index) {
    ComPtr<IAgendaReply> item;
    list->GetItem(index, item.Put());
    for (Accessor field : kFields) {
      Bstr text;
      (item.Get()->*field)(text.Put());
      benchmark::DoNotOptimize(text.Get());
    }
  }
}

// The list announced, the items not read: the share of the work that dispatch and Load take.
void ReadCountOnly(IUnknown* result) {
  LONG count = 0;
  QueryFrom<IAgendaList>(result)->GetCount(&count);
  benchmark::DoNotOptimize(count);
}

void RunBrowseReply(benchmark::State& state, void (*read)(IUnknown*)) {
  BenchHost host;
  host.onResult = read;
  const ComPtr<IUnknown> session((new AgendaSession())->Primary());
  const ComPtr<IConferenceSession> config = session.As<IConferenceSession>();
  const ComPtr<IPacketSink> sink = session.As<IPacketSink>();
  config->SetProperty(OLESTR("agenda.room_name"), OLESTR("hall@conference.example"));
  config->Attach(&host);
  const std::size_t allocationsBefore = CurrentAllocations().calls;
  for (auto _ : state) {
    const ComPtr<IXMLDOMElement> packet = ParsePacket(BrowseReply());
    sink->OnPacket(nullptr, packet.Get(), 0);
  }
  ReportAllocations(state, CurrentAllocations().calls - allocationsBefore);
  config->Detach();
}

void BM_Browse1000_Module(benchmark::State& state) { RunBrowseReply(state, ReadEveryItem); }
BENCHMARK(BM_Browse1000_Module)->Unit(benchmark::kMicrosecond);

void BM_Browse1000_DispatchOnly(benchmark::State& state) { RunBrowseReply(state, ReadCountOnly); }
BENCHMARK(BM_Browse1000_DispatchOnly)->Unit(benchmark::kMicrosecond);

constexpr const char* kFieldNames[] = {"text", "time", "qid", "type", "value", "code", "style"};

void BM_Browse1000_Pugixml(benchmark::State& state) {
  const std::string& text = BrowseReply();
  const std::size_t allocationsBefore = CurrentAllocations().calls;
  for (auto _ : state) {
    pugi::xml_document document;
    document.load_buffer(text.data(), text.size());
    const pugi::xml_node query = document.child("iq").child("query");
    for (const pugi::xml_node subject : query.children("subject")) {
      for (const char* field : kFieldNames) {
        benchmark::DoNotOptimize(subject.child(field).child_value());
      }
    }
  }
  ReportAllocations(state, CurrentAllocations().calls - allocationsBefore);
}
BENCHMARK(BM_Browse1000_Pugixml)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace quenlo::confext

int main(int argc, char** argv) {
  using namespace quenlo::confext;
  FixAllocatorThresholds();
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter({{"agenda browse of 1,000 items, every field", "BM_Browse1000", 2.0}});
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
