// A host for tests: implements SessionHost and ExtensionHost and records every call the module
// makes on it. It keeps what a real host keeps (a reference on each subscribed sink, each sent
// request, each registered factory and, unless told otherwise, each announced result object) and
// counts the references the module holds on it. Written against the COM/msxml API only, so it
// builds against the real platform as well.
#pragma once

#include <quenlo/host.h>
#include <quenlo/session.h>

#include <string>
#include <vector>

#include "component/com_ptr.h"
#include "component/host_object.h"
#include "component/ole_text.h"

namespace quenlo::confext {

class RecordingHost final : public HostObject<SessionHost, ExtensionHost> {
 public:
  struct Subscription {
    OleString eventPath;
    ComPtr<IPacketSink> sink;  // dropped at Unsubscribe
    ULONG cookie = 0;
  };
  struct Event {
    OleString eventPath;
    LONG reserved = 0;
    ComPtr<IUnknown> result;  // empty when the host was told not to keep results
    bool hadResult = false;
    // The object's own count as RaiseEvent began, before the host took a reference: 1 means
    // the module's is the only one, so the object goes when the module drops it.
    ULONG referencesDuringEvent = 0;
  };
  struct Registration {
    OleString typeName;
    OleString version;
    ComPtr<IClassFactory> factory;
  };

  // Holds the test's own reference, so that a count of 1 reads "nothing beyond the test".
  RecordingHost() { AddRef(); }

  // false: the host adds no reference to announced objects, as a host that only glances at them.
  void KeepResults(bool keep) { keepResults_ = keep; }

  // Delivers a packet to every active subscription, as "/packet" events do; returns the status
  // of the last sink called (E_FAIL when there is none).
  HRESULT Deliver(IUnknown* packet);

  const std::vector<Subscription>& Subscriptions() const { return subscriptions_; }
  const std::vector<ULONG>& Unsubscribed() const { return unsubscribed_; }
  const std::vector<ComPtr<IXMLDOMElement>>& Sent() const { return sent_; }
  void ForgetSent() { sent_.clear(); }
  const std::vector<Event>& Events() const { return events_; }
  const std::vector<Registration>& Registrations() const { return registrations_; }
  std::size_t ActiveSubscriptions() const;

  HRESULT STDMETHODCALLTYPE RegisterSessionType(const OLECHAR* typeName, const OLECHAR* version,
                                                IClassFactory* factory) override;

  HRESULT STDMETHODCALLTYPE Subscribe(const OLECHAR* eventPath, IPacketSink* sink,
                                      ULONG* cookie) override;
  HRESULT STDMETHODCALLTYPE Unsubscribe(ULONG cookie) override;
  HRESULT STDMETHODCALLTYPE RaiseEvent(BSTR eventPath, LONG reserved, IUnknown* result) override;
  HRESULT STDMETHODCALLTYPE ReservedSlot1() override;
  HRESULT STDMETHODCALLTYPE ReservedSlot2() override;
  HRESULT STDMETHODCALLTYPE SendPacket(IXMLDOMElement* request) override;

 private:
  bool keepResults_ = true;
  ULONG nextCookie_ = 100;
  std::vector<Subscription> subscriptions_;
  std::vector<ULONG> unsubscribed_;
  std::vector<ComPtr<IXMLDOMElement>> sent_;
  std::vector<Event> events_;
  std::vector<Registration> registrations_;
};

// Wide text for assertions and messages.
OleString ToOleString(const OLECHAR* text);
std::string ToUtf8(const OLECHAR* text);
std::string ToUtf8(const OleString& text);

}  // namespace quenlo::confext
