#include "support/recording_host.h"

#include <algorithm>

#include "component/code_page.h"
#include "component/reference_count.h"

namespace quenlo::confext {

OleString ToOleString(const OLECHAR* text) { return text == nullptr ? OleString{} : text; }

std::string ToUtf8(const OleString& text) {
  return NarrowText(CP_UTF8, text).value_or(std::string{});
}

std::string ToUtf8(const OLECHAR* text) { return ToUtf8(ToOleString(text)); }

HRESULT RecordingHost::Deliver(IUnknown* packet) {
  HRESULT status = E_FAIL;
  // Copied: a sink may unsubscribe while it is being called.
  std::vector<ComPtr<IPacketSink>> sinks;
  for (const Subscription& subscription : subscriptions_) {
    if (subscription.sink) sinks.push_back(subscription.sink);
  }
  for (const ComPtr<IPacketSink>& sink : sinks) status = sink->OnPacket(nullptr, packet, 0);
  return status;
}

std::size_t RecordingHost::ActiveSubscriptions() const {
  return static_cast<std::size_t>(std::count_if(
      subscriptions_.begin(), subscriptions_.end(),
      [](const Subscription& subscription) { return static_cast<bool>(subscription.sink); }));
}

HRESULT STDMETHODCALLTYPE RecordingHost::RegisterSessionType(const OLECHAR* typeName,
                                                             const OLECHAR* version,
                                                             IClassFactory* factory) {
  registrations_.push_back(
      {ToOleString(typeName), ToOleString(version), ComPtr<IClassFactory>(factory)});
  return S_OK;
}

HRESULT STDMETHODCALLTYPE RecordingHost::Subscribe(const OLECHAR* eventPath, IPacketSink* sink,
                                                   ULONG* cookie) {
  const ULONG issued = nextCookie_++;
  subscriptions_.push_back({ToOleString(eventPath), ComPtr<IPacketSink>(sink), issued});
  if (cookie != nullptr) *cookie = issued;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE RecordingHost::Unsubscribe(ULONG cookie) {
  unsubscribed_.push_back(cookie);
  for (Subscription& subscription : subscriptions_) {
    if (subscription.cookie == cookie) subscription.sink.Reset();
  }
  return S_OK;
}

HRESULT STDMETHODCALLTYPE RecordingHost::RaiseEvent(BSTR eventPath, LONG reserved,
                                                    IUnknown* result) {
  Event event{ToOleString(eventPath), reserved, nullptr, result != nullptr, 0};
  if (result != nullptr) event.referencesDuringEvent = ReferencesOf(result);
  if (keepResults_) event.result = ComPtr<IUnknown>(result);
  events_.push_back(std::move(event));
  return S_OK;
}

HRESULT STDMETHODCALLTYPE RecordingHost::ReservedSlot1() { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE RecordingHost::ReservedSlot2() { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE RecordingHost::SendPacket(IXMLDOMElement* request) {
  sent_.push_back(ComPtr<IXMLDOMElement>(request));
  return S_OK;
}

}  // namespace quenlo::confext
