// How much of a reply's time is the module's own: each reply timed as the host's parse alone, as
// parse and dispatch (the reply announced, nothing read), and as parse, dispatch and the host
// reading every accessor; the differences are the module's. The parse is the platform's: msxml when
// run under Wine (scripts/bench-windows), the POSIX platform's DOM otherwise.
#include <quenlo/platform.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "workloads.h"

namespace quenlo::confext {
namespace {

using Clock = std::chrono::steady_clock;

#ifdef _WIN32
// A reply as a Windows host receives it: UTF-16 text for msxml's loadXML.
class Reply {
 public:
  explicit Reply(const std::string& ascii)
      : text_(Bstr::Copy(OleString(ascii.begin(), ascii.end()))) {
    CLSIDFromProgID(OLESTR("Microsoft.XMLDOM"), &documentClass_);
  }

  ComPtr<IXMLDOMElement> Parse() const {
    ComPtr<IXMLDOMDocument> document;
    ComPtr<IXMLDOMElement> root;
    VARIANT_BOOL loaded = VARIANT_FALSE;
    if (SUCCEEDED(CoCreateInstance(documentClass_, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IXMLDOMDocument, document.PutVoid())) &&
        SUCCEEDED(document->loadXML(text_.Get(), &loaded)) && loaded == VARIANT_TRUE) {
      document->get_documentElement(root.Put());
    }
    return root;
  }

 private:
  Bstr text_;
  CLSID documentClass_{};
};
#else
// A reply as the POSIX host receives it: UTF-8 text for the platform's parser.
class Reply {
 public:
  explicit Reply(const std::string& utf8) : text_(utf8) {}

  ComPtr<IXMLDOMElement> Parse() const { return ParsePacket(text_); }

 private:
  std::string text_;
};
#endif

// Seconds per run of `work`, repeated until at least a fifth of a second has gone by.
template <class Work>
double SecondsEach(Work&& work) {
  long runs = 0;
  const Clock::time_point start = Clock::now();
  Clock::duration spent{};
  do {
    work();
    ++runs;
    spent = Clock::now() - start;
  } while (spent < std::chrono::milliseconds(200));
  return std::chrono::duration<double>(spent).count() / static_cast<double>(runs);
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

bool Measure(const char* what, BenchSession::Kind kind, const std::string& reply,
             void (*read)(IUnknown*)) {
  const Reply text(reply);
  BenchSession bench(kind);
  bool reading = false;
  long announced = 0;
  bench.host.onResult = [&](IUnknown* result) {
    if (reading) read(result);
    ++announced;
  };
  bool parsed = true;
  const auto parse = [&] { parsed = parsed && text.Parse(); };
  const auto deliver = [&] {
    const ComPtr<IXMLDOMElement> packet = text.Parse();
    bench.sink->OnPacket(nullptr, packet.Get(), 0);
  };
  // The three in turn, several rounds, medians taken: whatever else the machine does then
  // weighs on all three alike, and seldom on the median.
  std::vector<double> parses, dispatches, wholes;
  deliver();  // warm up
  for (int round = 0; round < 7; ++round) {
    parses.push_back(SecondsEach(parse));
    reading = false;
    dispatches.push_back(SecondsEach(deliver));
    reading = true;
    wholes.push_back(SecondsEach(deliver));
  }
  if (!parsed || announced == 0) {
    std::fprintf(stderr, "module_share: %s was not parsed and announced\n", what);
    return false;
  }
  const double whole = Median(wholes);
  const double parseOnly = Median(parses);
  const double dispatched = Median(dispatches);
  const auto percent = [whole](double part) { return 100.0 * part / whole; };
  std::printf(
      "%-30s %10.1f us: parse %4.1f%%, module %4.1f%% (dispatch %4.1f%%, reading %4.1f%%)\n", what,
      whole * 1e6, percent(parseOnly), percent(whole - parseOnly), percent(dispatched - parseOnly),
      percent(whole - dispatched));
  return true;
}

}  // namespace
}  // namespace quenlo::confext

int main() {
  using namespace quenlo::confext;
  if (FAILED(CoInitialize(nullptr))) return 1;
#ifndef _WIN32
  AcceptLargeReplies();
#endif
  std::printf(
      "Each reply parsed, dispatched and read by the host, and the module's share of it:\n");
  const bool measured =
      Measure("300-byte kithe reply", BenchSession::Kind::Voting, KitheReply(),
              ReadEveryAccessor) &&
      Measure("3 MB result reply", BenchSession::Kind::Voting, ResultReply(), ReadEveryAccessor) &&
      Measure("agenda browse of 1,000 items", BenchSession::Kind::Agenda, BrowseReply(),
              ReadEveryItem);
  CoUninitialize();
  return measured ? 0 : 1;
}
