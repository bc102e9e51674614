// Pieces shared by the module's benchmarks against pugixml: fixed allocator thresholds, heap
// allocations per packet, the floor under a reply's read path, and a console reporter that prints
// each module figure as a multiple of its pugixml counterpart measured in the same run.
#pragma once

#include <benchmark/benchmark.h>
#include <malloc.h>

#include <cstdio>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "component/bstr.h"
#include "component/com_ptr.h"
#include "component/variant.h"
#include "workloads.h"

namespace quenlo::confext {

// glibc moves its mapping and trimming thresholds as a process frees large blocks, so that one
// side's speed would depend on what ran before it: a 3 MB copy mapped and faulted in afresh on
// every iteration, or reused from the heap. Fixed before any benchmark runs, they give both
// sides of every ratio the same warm heap, as a long-running host has.
inline void FixAllocatorThresholds() {
  mallopt(M_MMAP_THRESHOLD, 64 << 20);
  mallopt(M_TRIM_THRESHOLD, 256 << 20);
}

// Heap allocations per iteration, shown beside the time and kept for the summary lines.
inline void ReportAllocations(benchmark::State& state, std::size_t allocations) {
  state.counters["allocs"] =
      static_cast<double>(allocations) / static_cast<double>(state.iterations());
}

// Times the parse of a reply alone, as the host parses every packet, the tree released again.
inline void ParseAlone(benchmark::State& state, const std::string& text) {
  for (auto _ : state) benchmark::DoNotOptimize(ParsePacket(text).Get());
}

// The values a host reads of one reply, their elements found beforehand: the texts of elements,
// and attributes by name.
struct ReplyValues {
  std::vector<ComPtr<IXMLDOMElement>> texts;
  std::vector<std::pair<ComPtr<IXMLDOMElement>, Bstr>> attributes;
};

// Times handing out every value as the DOM's interfaces hand it out, a new BSTR (or a VARIANT
// holding one) that the reader frees, with no lookup at all. With the parse, this is a floor
// that no read path through those interfaces goes below.
inline void HandOutValues(benchmark::State& state, const ReplyValues& values) {
  for (auto _ : state) {
    for (const ComPtr<IXMLDOMElement>& element : values.texts) {
      Bstr text;
      element->get_text(text.Put());
      benchmark::DoNotOptimize(text.Get());
    }
    for (const auto& [element, name] : values.attributes) {
      Variant value;
      element->getAttribute(name.Get(), value.Put());
      benchmark::DoNotOptimize(value.Get().bstrVal);
    }
  }
}

// After the usual table, prints "<name>_Module" over "<name>_Pugixml" for each comparison.
class RatioReporter final : public benchmark::ConsoleReporter {
 public:
  // "<name><subject>" over "<name>_Pugixml"; a goal of 0 is a figure without a goal (a reply read
  // through the DOM's calls, a floor, expat alone). A subject may add up several benchmarks:
  // "_ParseAlone+_ValuesAlone".
  struct Comparison {
    const char* what;
    std::string name;
    double goal;
    const char* subject = "_Module";
  };

  explicit RatioReporter(std::vector<Comparison> comparisons)
      : comparisons_(std::move(comparisons)) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    // CPU time: the benchmarks are single-threaded, and the machines they run on are shared.
    // Repeated (scripts/bench asks for five), the median of the repetitions counts: a shared
    // machine's noise only ever adds time.
    for (const Run& run : runs) {
      if (run.run_type == Run::RT_Aggregate && run.aggregate_name != "median") continue;
      const std::string& name = run.run_name.function_name;
      times_[name] = run.GetAdjustedCPUTime();
      if (const auto allocations = run.counters.find("allocs"); allocations != run.counters.end()) {
        allocations_[name] = allocations->second.value;
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    for (const Comparison& comparison : comparisons_) {
      const auto moduleTime = SumOfTimes(comparison);
      const auto pugixml = times_.find(comparison.name + "_Pugixml");
      if (!moduleTime || pugixml == times_.end()) continue;
      const double ratio = *moduleTime / pugixml->second;
      if (comparison.goal == 0) {
        std::printf("%-52s %6.2fx pugixml\n", comparison.what, ratio);
      } else {
        std::printf("%-52s %6.2fx pugixml (goal <= %.1fx): %s\n", comparison.what, ratio,
                    comparison.goal, ratio <= comparison.goal ? "met" : "NOT met");
      }
      const auto moduleAllocations = allocations_.find(comparison.name + comparison.subject);
      const auto pugixmlAllocations = allocations_.find(pugixml->first);
      if (moduleAllocations != allocations_.end() && pugixmlAllocations != allocations_.end()) {
        std::printf("%s: %.1f heap allocations per packet (pugixml %.1f)\n", comparison.what,
                    moduleAllocations->second, pugixmlAllocations->second);
      }
    }
  }

 private:
  // The time of the comparison's subject, added up over its parts; none when one is missing.
  std::optional<double> SumOfTimes(const Comparison& comparison) const {
    double sum = 0;
    std::istringstream parts{std::string(comparison.subject)};
    for (std::string part; std::getline(parts, part, '+');) {
      const auto time = times_.find(comparison.name + part);
      if (time == times_.end()) return std::nullopt;
      sum += time->second;
    }
    return sum;
  }

  std::vector<Comparison> comparisons_;
  std::map<std::string, double> times_;
  std::map<std::string, double> allocations_;
};

}  // namespace quenlo::confext
