// A RecordingHost seen through a door that holds off operator new failures: what the host keeps
// (events, sent requests, subscriptions) is not under test, and a std::bad_alloc thrown by its
// bookkeeping would cross into the module as no real host's would.
#pragma once

#include "component/host_object.h"
#include "support/failing_new.h"
#include "support/recording_host.h"

namespace quenlo::confext {

class ShelteredHost final : public HostObject<SessionHost, ExtensionHost> {
 public:
  explicit ShelteredHost(RecordingHost& host) : host_(host) {}

  HRESULT STDMETHODCALLTYPE RegisterSessionType(const OLECHAR* typeName, const OLECHAR* version,
                                                IClassFactory* factory) override {
    const testing::OperatorNewFailuresHeld held;
    return host_.RegisterSessionType(typeName, version, factory);
  }
  HRESULT STDMETHODCALLTYPE Subscribe(const OLECHAR* eventPath, IPacketSink* sink,
                                      ULONG* cookie) override {
    const testing::OperatorNewFailuresHeld held;
    return host_.Subscribe(eventPath, sink, cookie);
  }
  HRESULT STDMETHODCALLTYPE Unsubscribe(ULONG cookie) override {
    const testing::OperatorNewFailuresHeld held;
    return host_.Unsubscribe(cookie);
  }
  HRESULT STDMETHODCALLTYPE RaiseEvent(BSTR eventPath, LONG reserved, IUnknown* result) override {
    const testing::OperatorNewFailuresHeld held;
    return host_.RaiseEvent(eventPath, reserved, result);
  }
  HRESULT STDMETHODCALLTYPE ReservedSlot1() override { return host_.ReservedSlot1(); }
  HRESULT STDMETHODCALLTYPE ReservedSlot2() override { return host_.ReservedSlot2(); }
  HRESULT STDMETHODCALLTYPE SendPacket(IXMLDOMElement* request) override {
    const testing::OperatorNewFailuresHeld held;
    return host_.SendPacket(request);
  }

 private:
  RecordingHost& host_;
};

}  // namespace quenlo::confext
