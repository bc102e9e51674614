// Agenda benchmark: a "browse" reply with 1,000 agenda items, from OnPacket to RaiseEvent with
// the host reading all seven fields of every item, against pugixml parsing the same text in the
// same run (goal: at most 1x).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <pugixml.hpp>
#include <string>

#include "agenda/agenda_session.h"
#include "bench_support.h"

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
  const ComPtr<IXMLDOMElement> packet = ParseWithDom(BrowseReply());
  for (auto _ : state) sink->OnPacket(nullptr, packet.Get(), 0);
  config->Detach();
  state.counters["bytes"] = static_cast<double>(BrowseReply().size());
}

void BM_Browse1000_Module(benchmark::State& state) { RunBrowseReply(state, ReadEveryItem); }
BENCHMARK(BM_Browse1000_Module)->Unit(benchmark::kMicrosecond);

void BM_Browse1000_DispatchOnly(benchmark::State& state) { RunBrowseReply(state, ReadCountOnly); }
BENCHMARK(BM_Browse1000_DispatchOnly)->Unit(benchmark::kMicrosecond);

void BM_Browse1000_Pugixml(benchmark::State& state) {
  const std::string& text = BrowseReply();
  for (auto _ : state) {
    pugi::xml_document document;
    benchmark::DoNotOptimize(document.load_buffer(text.data(), text.size()));
  }
}
BENCHMARK(BM_Browse1000_Pugixml)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter({{"browse reply, 1,000 items, every field read", "BM_Browse1000", 1.0}});
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
