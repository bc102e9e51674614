// Instructions per run of the timed benchmarks' work, counted by callgrind
// (scripts/bench-instructions), each next to pugixml doing the same XML work: the platform DOM
// parsing a small and a large reply and serialising a request, a Refer sent through the module,
// and each reply read through the module (parsed as the host parses it, dispatched, every
// accessor read) with its parse alone. Timings on a shared machine move with its neighbours;
// these counts do not, so that a change and the share of the parse show in one run. They are not
// times: a locked instruction, a cache miss or an allocation weighs more than its count, and the
// goals remain those of the timed benchmarks.
//
// Each measure runs its work once to warm up, then `runs` times with callgrind collecting, and
// asks callgrind to write the counts out under the label "<measure>/<side>/<runs>". A count
// depends a little on the heap as the measures before it left it (a few percent for the small
// replies), so the measures always run in the same order: that of the table of scripts/bench.
#include <quenlo/platform.h>
#include <valgrind/callgrind.h>

#include <cstdio>
#include <string>

#include "pugixml_work.h"
#include "workloads.h"

namespace quenlo::confext {
namespace {

template <class Work>
void Count(const std::string& measure, const char* side, int runs, Work&& work) {
  work();
  CALLGRIND_TOGGLE_COLLECT;
  for (int run = 0; run < runs; ++run) work();
  CALLGRIND_TOGGLE_COLLECT;
  const std::string label = measure + "/" + side + "/" + std::to_string(runs);
  CALLGRIND_DUMP_STATS_AT(label.c_str());
}

void CountParse(const char* name, const std::string& text, int runs) {
  Count(name, "module", runs, [&] { benchmark::DoNotOptimize(ParsePacket(text).Get()); });
  Count(name, "pugixml", runs, [&] {
    pugi::xml_document document;
    benchmark::DoNotOptimize(document.load_buffer(text.data(), text.size()));
  });
}

// False when the platform made no document for the request.
bool CountSerialise(int runs) {
  const ComPtr<IXMLDOMElement> request = BuildRequest();
  if (!request) {
    std::fprintf(stderr, "instruction_counts: no document for the request\n");
    return false;
  }
  Count("serialise", "module", runs, [&] {
    Bstr xml;
    request->get_xml(xml.Put());
    benchmark::DoNotOptimize(xml.Get());
  });
  pugi::xml_document pugixmlDocument;
  const pugi::xml_node pugixmlRequest = BuildPugixmlRequest(pugixmlDocument);
  Count("serialise", "pugixml", runs, [&] { PrintRaw(pugixmlRequest); });
  return true;
}

void CountRefer(int runs) {
  BenchSession bench(BenchSession::Kind::Voting);
  const ComPtr<IVotingCommands> commands = bench.session.As<IVotingCommands>();
  Count("refer", "module", runs, [&] { SendRefer10(*commands.Get()); });
  Count("refer", "pugixml", runs, [] { BuildAndPrintRefer10(); });
}

// False when the module announced fewer replies than it was given.
bool CountReply(const char* name, BenchSession::Kind kind, const std::string& text,
                void (*moduleRead)(IUnknown*), void (*pugixmlRead)(const pugi::xml_document&),
                int runs) {
  BenchSession bench(kind);
  long announced = 0;
  bench.host.onResult = [&](IUnknown* result) {
    moduleRead(result);
    ++announced;
  };
  Count(name, "module", runs, [&] {
    const ComPtr<IXMLDOMElement> packet = ParsePacket(text);
    bench.sink->OnPacket(nullptr, packet.Get(), 0);
  });
  Count(name, "parse", runs, [&] { benchmark::DoNotOptimize(ParsePacket(text).Get()); });
  Count(name, "pugixml", runs, [&] { ParseAndRead(text, pugixmlRead); });
  if (announced == runs + 1) return true;
  std::fprintf(stderr, "instruction_counts: the %s reply was not announced every time\n", name);
  return false;
}

}  // namespace
}  // namespace quenlo::confext

int main() {
  using namespace quenlo::confext;
  if (FAILED(CoInitialize(nullptr))) return 1;
  AcceptLargeReplies();
  CountParse("parse300", SmallReply(), 100);
  CountParse("parse3MB", LargeReply(), 2);
  const bool serialised = CountSerialise(100);
  CountRefer(100);
  const bool counted =
      serialised &&
      CountReply("kithe", BenchSession::Kind::Voting, KitheReply(), ReadEveryAccessor, ReadKithe,
                 100) &&
      CountReply("result", BenchSession::Kind::Voting, ResultReply(), ReadEveryAccessor, ReadResult,
                 2) &&
      CountReply("browse", BenchSession::Kind::Agenda, BrowseReply(), ReadEveryItem, ReadBrowse, 5);
  CoUninitialize();
  return counted ? 0 : 1;
}
