// Voting benchmarks, each next to the same XML work done by pugixml in the same run:
//   1. Refer with 10 subjects built and serialised, against building and serialising that tree
//      with pugixml (goal: at most 1.5x);
//   2. a 300-byte "kithe" reply: parsed as the host parses it, OnPacket to RaiseEvent, the host
//      reading every accessor; against pugixml parsing the text and reading the same values;
//   3. a 3 MB "result" reply (10,000 subjects, 10 voters each): parsed, dispatched, every subject
//      result and voter read; against pugixml parsing it and reading the same values;
//   4. resident memory after one million Apply requests through one session, against where it
//      stood after the first thousand (goal: within 1 MB).
#include <benchmark/benchmark.h>
#include <platform/xml_parser.h>

#include <cstdio>
#include <fstream>
#include <optional>
#include <pugixml.hpp>
#include <string>

#include "allocation_count.h"
#include "bench_support.h"
#include "voting/voting_session.h"

namespace quenlo::confext {
namespace {

// One voting session attached to a BenchHost in room "room@conference.example".
struct BenchSession {
  BenchHost host;
  ComPtr<IUnknown> session{(new VotingSession())->Primary()};
  ComPtr<IConferenceSession> config = session.As<IConferenceSession>();
  ComPtr<IVotingCommands> commands = session.As<IVotingCommands>();
  ComPtr<IPacketSink> sink = session.As<IPacketSink>();

  BenchSession() {
    config->SetProperty(OLESTR("voting.room_name"), OLESTR("room@conference.example"));
    config->Attach(&host);
  }
  ~BenchSession() { config->Detach(); }
};

// Everything a tally's host reads: the single values, every subject result and every voter.
void ReadEveryAccessor(IUnknown* result) {
  const ComPtr<IVotingDetail> detail = QueryFrom<IVotingDetail>(result);
  Bstr text;
  detail->GetQid(text.Put());
  detail->GetCaption(text.Put());
  LONG value = 0;
  detail->GetMulti(&value);
  detail->GetReg(&value);
  detail->GetCount(&value);
  detail->GetSubjectCount(&value);
  LONG votes = 0;
  const OLECHAR* name = nullptr;
  // GetSubjectResult answers 1 while the position holds a subject.
  for (LONG position = 0; detail->GetSubjectResult(position, &votes, &name) == S_FALSE;
       ++position) {
    for (LONG voter = 0; voter < votes; ++voter) {
      const OLECHAR* who = nullptr;
      detail->GetVoter(name, voter, &who);
      benchmark::DoNotOptimize(who);
    }
  }
}

// ---- 1. Refer with 10 subjects, built and serialised ----

const char16_t* const kIndexes[] = {u"1", u"2", u"3", u"4", u"5", u"6", u"7", u"8", u"9", u"10"};
const char* const kIndexesNarrow[] = {"1", "2", "3", "4", "5", "6", "7", "8", "9", "10"};

void BM_Refer10_Module(benchmark::State& state) {
  BenchSession bench;
  for (auto _ : state) {
    for (const char16_t* index : kIndexes) {
      bench.commands->AddReferSubject(OLESTR("r"), index, OLESTR("A subject to choose"));
    }
    bench.commands->Refer(OLESTR("r1"), OLESTR("Q17"), OLESTR("Where do we go for lunch?"));
  }
  state.counters["bytes"] =
      static_cast<double>(bench.host.bytesSent) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_Refer10_Module);

void BM_Refer10_Pugixml(benchmark::State& state) {
  for (auto _ : state) {
    pugi::xml_document document;
    pugi::xml_node iq = document.append_child("iq");
    iq.append_attribute("type") = "set";
    iq.append_attribute("to") = "room@conference.example";
    iq.append_attribute("id") = "r1";
    pugi::xml_node query = iq.append_child("query");
    query.append_attribute("type") = "refer";
    query.append_attribute("xmlns") = "quenlo:conf:voting";
    query.append_child("qid").text() = "Q17";
    query.append_child("caption").text() = "Where do we go for lunch?";
    query.append_child("multi").text() = "false";
    query.append_child("reg").text() = "false";
    query.append_child("timeout");
    pugi::xml_node subjects = query.append_child("subjects");
    for (const char* index : kIndexesNarrow) {
      pugi::xml_node subject = subjects.append_child("subject");
      subject.text() = "A subject to choose";
      subject.append_attribute("index") = index;
    }
    StringWriter writer;
    iq.print(writer, "", pugi::format_raw);
    benchmark::DoNotOptimize(writer.text.data());
  }
}
BENCHMARK(BM_Refer10_Pugixml);

// ---- 2. A 300-byte "kithe" reply ----

const std::string kKitheReply =
    "<iq type='result' from='room@conference.example' to='anna@example.org/desk' id='k1'>"
    "<query xmlns='quenlo:conf:voting' type='kithe'><qid>Q17</qid>"
    "<caption>Where do we go for lunch?</caption><multi>false</multi><reg>true</reg>"
    "<count>12</count><subject name='Pizza' index='1' count='5'/>"
    "<subject name='Sushi' index='2' count='4'/><subject name='Salad' index='3' count='3'/>"
    "</query></iq>";

// Parsed from its text by the platform, as the host does with every packet, then dispatched.
void RunReply(benchmark::State& state, const std::string& text) {
  BenchSession bench;
  benchmark::IterationCount announced = 0;
  bench.host.onResult = [&announced](IUnknown* result) {
    ReadEveryAccessor(result);
    ++announced;
  };
  const std::size_t allocationsBefore = CurrentAllocations().calls;
  for (auto _ : state) {
    const ComPtr<IXMLDOMElement> packet = ParsePacket(text);
    bench.sink->OnPacket(nullptr, packet.Get(), 0);
  }
  if (announced != state.iterations()) return state.SkipWithError("a reply was not announced");
  ReportAllocations(state, CurrentAllocations().calls - allocationsBefore);
}

// What the accessors hand out, read with pugixml: the texts as views, the numbers converted.
void ReadKithe(const pugi::xml_document& document) {
  const pugi::xml_node query = document.child("iq").child("query");
  benchmark::DoNotOptimize(query.child("qid").child_value());
  benchmark::DoNotOptimize(query.child("caption").child_value());
  benchmark::DoNotOptimize(query.child("multi").text().as_bool());
  benchmark::DoNotOptimize(query.child("reg").text().as_bool());
  benchmark::DoNotOptimize(query.child("count").text().as_int());
  for (const pugi::xml_node subject : query.children("subject")) {
    benchmark::DoNotOptimize(subject.attribute("name").value());
    benchmark::DoNotOptimize(subject.attribute("count").as_int());
  }
}

void RunPugixml(benchmark::State& state, const std::string& text,
                void (*read)(const pugi::xml_document&)) {
  const std::size_t allocationsBefore = CurrentAllocations().calls;
  for (auto _ : state) {
    pugi::xml_document document;
    document.load_buffer(text.data(), text.size());
    read(document);
  }
  ReportAllocations(state, CurrentAllocations().calls - allocationsBefore);
}

void BM_Kithe300_Module(benchmark::State& state) { RunReply(state, kKitheReply); }
BENCHMARK(BM_Kithe300_Module);

void BM_Kithe300_Pugixml(benchmark::State& state) { RunPugixml(state, kKitheReply, ReadKithe); }
BENCHMARK(BM_Kithe300_Pugixml);

// ---- 3. A 3 MB "result" reply ----

std::string MakeResultReply() {
  std::string text =
      "<iq type='result' from='room@conference.example' id='r9'>"
      "<query xmlns='quenlo:conf:voting' type='result'><qid>Q17</qid><caption>Big</caption>";
  char buffer[64];
  for (int subject = 0; subject < 10000; ++subject) {
    std::snprintf(buffer, sizeof buffer, "<subject name='s%05d' index='%d'>", subject, subject);
    text += buffer;
    for (int user = 0; user < 10; ++user) {
      std::snprintf(buffer, sizeof buffer, "<user>voter%05d-%02d</user>", subject, user);
      text += buffer;
    }
    text += "</subject>";
  }
  return text + "</query></iq>";
}

const std::string& ResultReply() {
  static const std::string text = MakeResultReply();
  return text;
}

void BM_Result3MB_Module(benchmark::State& state) { RunReply(state, ResultReply()); }
BENCHMARK(BM_Result3MB_Module)->Unit(benchmark::kMillisecond);

void ReadResult(const pugi::xml_document& document) {
  const pugi::xml_node query = document.child("iq").child("query");
  benchmark::DoNotOptimize(query.child("qid").child_value());
  benchmark::DoNotOptimize(query.child("caption").child_value());
  for (const pugi::xml_node subject : query.children("subject")) {
    benchmark::DoNotOptimize(subject.attribute("name").value());
    int votes = 0;
    for (const pugi::xml_node user : subject.children("user")) {
      benchmark::DoNotOptimize(user.child_value());
      ++votes;
    }
    benchmark::DoNotOptimize(votes);
  }
}

void BM_Result3MB_Pugixml(benchmark::State& state) { RunPugixml(state, ResultReply(), ReadResult); }
BENCHMARK(BM_Result3MB_Pugixml)->Unit(benchmark::kMillisecond);

// ---- 4. Resident memory over one million Apply requests ----

std::optional<double> residentGrowthKb;

double ResidentKilobytes() {
  std::ifstream status("/proc/self/statm");
  double pages = 0;
  double resident = 0;
  status >> pages >> resident;
  return resident * 4.0;  // 4 KiB pages
}

void BM_Apply1M_ResidentGrowth(benchmark::State& state) {
  for (auto _ : state) {
    BenchSession bench;
    bench.host.serialise = false;
    for (int i = 0; i < 1000; ++i) bench.commands->Apply(OLESTR("a"));
    const double afterThousand = ResidentKilobytes();
    for (int i = 1000; i < 1000000; ++i) bench.commands->Apply(OLESTR("a"));
    residentGrowthKb = ResidentKilobytes() - afterThousand;
    state.counters["rss_growth_kb"] = *residentGrowthKb;
  }
}
BENCHMARK(BM_Apply1M_ResidentGrowth)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quenlo::confext

int main(int argc, char** argv) {
  using namespace quenlo::confext;
  FixAllocatorThresholds();
  benchmark::Initialize(&argc, argv);
  // The 3 MB reply is above the parser's default limit; a host expecting such replies raises it.
  XmlParseLimits limits = XmlGetDefaultParseLimits();
  limits.maxBytes = std::size_t{16} << 20;
  XmlSetDefaultParseLimits(limits);
  RatioReporter reporter({
      {"Refer with 10 subjects, built and serialised", "BM_Refer10", 1.5},
      {"300-byte kithe reply, dispatch and every accessor", "BM_Kithe300", 2.0},
      {"3 MB result reply, every result and voter", "BM_Result3MB", 1.5},
  });
  benchmark::RunSpecifiedBenchmarks(&reporter);
  if (residentGrowthKb) {
    std::printf("%-52s %6.0f KiB (goal <= 1024 KiB): %s\n",
                "Resident growth, 1,000 -> 1,000,000 Apply", *residentGrowthKb,
                *residentGrowthKb <= 1024 ? "met" : "NOT met");
  }
  benchmark::Shutdown();
  return 0;
}
