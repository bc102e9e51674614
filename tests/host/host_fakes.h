// Counting stand-ins for what the module hands a host: sinks, factories, result objects, and a
// transport that records what it is asked to send. They live on the stack; their counts tell
// whether the host took and released exactly its references.
#pragma once

#include <quenlo/session.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "component/bstr.h"
#include "component/com_ptr.h"
#include "component/host_object.h"
#include "component/reference_count.h"
#include "host/transport.h"

namespace quenlo::host::testing {

class FakeSink final : public HostObject<IPacketSink> {
 public:
  HRESULT STDMETHODCALLTYPE OnPacket(BSTR /*eventPath*/, IUnknown* packet,
                                     LONG /*reserved*/) override {
    Bstr tag;
    if (const auto element = QueryFrom<IXMLDOMElement>(packet)) element->get_tagName(tag.Put());
    tags.emplace_back(tag.View());
    if (on_packet) on_packet();
    return S_OK;
  }

  std::vector<std::u16string> tags;
  std::function<void()> on_packet;
};

class FakeResult final : public HostObject<IUnknown> {};

class FakeFactory final : public HostObject<IClassFactory> {
 public:
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* /*outer*/, REFIID /*iid*/,
                                           void** object) override {
    if (FAILED(status)) {
      *object = nullptr;
      return status;
    }
    return product.QueryInterface(IID_IUnknown, object);
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL /*lock*/) override { return S_OK; }

  HRESULT status = S_OK;
  FakeResult product;
};

class RecordingTransport final : public Transport {
 public:
  void Connect(const Endpoint& /*endpoint*/, PacketReceiver& /*receiver*/) override {}
  void Disconnect(const std::string& /*address*/) override {}
  void Send(const std::string& from, std::string xml) override {
    sent.emplace_back(from, std::move(xml));
  }

  std::vector<std::pair<std::string, std::string>> sent;
};

}  // namespace quenlo::host::testing
