// Instructions per reply, counted by callgrind (scripts/bench-instructions): each reply read
// through the module (parsed as the host parses it, dispatched, every accessor read), its parse
// alone, and pugixml parsing the same text and reading the same values. Timings on a shared
// machine move with its neighbours; these counts do not, so that a change and the share of the
// parse show in one run. They are not times: a locked instruction, a cache miss or an allocation
// weighs more than its count, and the goals remain those of the timed benchmarks.
//
// Each measure runs its work once to warm up, then `runs` times with callgrind collecting, and
// asks callgrind to write the counts out under the label "<reply>/<side>/<runs>".
#include <quenlo/platform.h>
#include <valgrind/callgrind.h>

#include <cstdio>
#include <string>

#include "pugixml_reads.h"
#include "workloads.h"

namespace quenlo::confext {
namespace {

template <class Work>
void Count(const std::string& reply, const char* side, int runs, Work&& work) {
  work();
  CALLGRIND_TOGGLE_COLLECT;
  for (int run = 0; run < runs; ++run) work();
  CALLGRIND_TOGGLE_COLLECT;
  const std::string label = reply + "/" + side + "/" + std::to_string(runs);
  CALLGRIND_DUMP_STATS_AT(label.c_str());
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
  const bool counted =
      CountReply("kithe", BenchSession::Kind::Voting, KitheReply(), ReadEveryAccessor, ReadKithe,
                 100) &&
      CountReply("result", BenchSession::Kind::Voting, ResultReply(), ReadEveryAccessor, ReadResult,
                 2) &&
      CountReply("browse", BenchSession::Kind::Agenda, BrowseReply(), ReadEveryItem, ReadBrowse, 5);
  CoUninitialize();
  return counted ? 0 : 1;
}
