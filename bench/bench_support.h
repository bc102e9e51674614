// Pieces shared by the module's benchmarks: a host that hands announced objects to a reader,
// replies parsed from text with the DOM (as a host does), and a console reporter that prints each
// module figure as a multiple of its pugixml counterpart measured in the same run.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <functional>
#include <map>
#include <pugixml.hpp>
#include <string>
#include <utility>
#include <vector>

#include "component/bstr.h"
#include "component/com_ptr.h"

// Collects what pugixml writes, so that its serialiser is timed to the same end as get_xml.
struct StringWriter final : pugi::xml_writer {
  std::string text;
  void write(const void* data, std::size_t size) override {
    text.append(static_cast<const char*>(data), size);
  }
};

// Keeps no count of its own: it outlives every session attached to it.
class BenchHost final : public SessionHost {
 public:
  std::function<void(IUnknown*)> onResult;
  bool serialise = true;
  std::size_t bytesSent = 0;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE Subscribe(const OLECHAR*, IPacketSink*, ULONG* cookie) override {
    *cookie = 1;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Unsubscribe(ULONG) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE RaiseEvent(BSTR, LONG, IUnknown* result) override {
    if (onResult) onResult(result);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE ReservedSlot1() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE ReservedSlot2() override { return E_NOTIMPL; }
  // Serialised, as a real host does before transmitting a request.
  HRESULT STDMETHODCALLTYPE SendPacket(IXMLDOMElement* request) override {
    if (serialise) {
      Bstr xml;
      request->get_xml(xml.Put());
      bytesSent += xml.View().size();
    }
    return S_OK;
  }
};

// The root element of ASCII text parsed by the platform's DOM; empty when refused.
inline ComPtr<IXMLDOMElement> ParseWithDom(const std::string& text) {
  CLSID clsid;
  CLSIDFromProgID(OLESTR("Microsoft.XMLDOM"), &clsid);
  ComPtr<IXMLDOMDocument> document;
  CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IXMLDOMDocument, document.PutVoid());
  if (!document) return nullptr;
  const std::u16string wide(text.begin(), text.end());
  const Bstr source = Bstr::Copy(wide);
  VARIANT_BOOL loaded = VARIANT_FALSE;
  document->loadXML(source.Get(), &loaded);
  ComPtr<IXMLDOMElement> root;
  if (loaded == VARIANT_TRUE) document->get_documentElement(root.Put());
  return root;
}

// After the usual table, prints "<name>_Module" over "<name>_Pugixml" for each comparison.
class RatioReporter final : public benchmark::ConsoleReporter {
 public:
  struct Comparison {
    const char* what;
    std::string name;
    double goal;
  };

  explicit RatioReporter(std::vector<Comparison> comparisons)
      : comparisons_(std::move(comparisons)) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    // CPU time: the benchmarks are single-threaded, and the machines they run on are shared.
    for (const Run& run : runs) times_[run.benchmark_name()] = run.GetAdjustedCPUTime();
    ConsoleReporter::ReportRuns(runs);
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    for (const Comparison& comparison : comparisons_) {
      const auto module = times_.find(comparison.name + "_Module");
      const auto pugixml = times_.find(comparison.name + "_Pugixml");
      if (module == times_.end() || pugixml == times_.end()) continue;
      const double ratio = module->second / pugixml->second;
      std::printf("%-52s %6.2fx pugixml (goal <= %.1fx): %s\n", comparison.what, ratio,
                  comparison.goal, ratio <= comparison.goal ? "met" : "NOT met");
    }
  }

 private:
  std::vector<Comparison> comparisons_;
  std::map<std::string, double> times_;
};
