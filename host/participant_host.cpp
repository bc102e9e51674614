#include "host/participant_host.h"

#include <algorithm>
#include <utility>

#include "component/ole_text.h"
#include "host/utf8_text.h"

namespace quenlo::host {

ParticipantHost::ParticipantHost(std::string address, Transport& transport)
    : address_(std::move(address)),
      transport_(transport),
      packetEventPath_(Bstr::Copy(kPacketEvent)) {}

ParticipantHost::~ParticipantHost() = default;

std::size_t ParticipantHost::AddListener(EventListener listener) {
  std::lock_guard lock(mutex_);
  const std::size_t id = nextListenerId_++;
  listeners_.emplace_back(id, std::move(listener));
  return id;
}

void ParticipantHost::RemoveListener(std::size_t id) {
  std::lock_guard lock(mutex_);
  std::erase_if(listeners_, [id](const auto& entry) { return entry.first == id; });
}

XmlParseResult ParticipantHost::Deliver(std::string_view xml) {
  ComPtr<IXMLDOMElement> packet;
  XmlParseResult parsed = XmlParseElement(xml, packet.Put());
  if (parsed.status != XmlParseStatus::Ok) return parsed;

  std::vector<ULONG> cookies;
  {
    std::lock_guard lock(mutex_);
    for (const auto& [cookie, subscription] : subscriptions_) {
      if (subscription.event_path == kPacketEvent) cookies.push_back(cookie);
    }
  }
  // A sink may unsubscribe itself or another one while it runs: each is looked up again.
  for (const ULONG cookie : cookies) {
    if (const ComPtr<IPacketSink> sink = SinkOf(cookie)) {
      sink->OnPacket(packetEventPath_.Get(), packet.Get(), 0);
    }
  }
  return parsed;
}

void ParticipantHost::SetPacketWatcher(std::function<void(std::string_view)> watcher) {
  watcher_ = std::move(watcher);
}

void ParticipantHost::Receive(std::string_view xml) {
  if (watcher_) watcher_(xml);
  if (Deliver(xml).status != XmlParseStatus::Ok) {
    std::lock_guard lock(mutex_);
    ++refusedPackets_;
  }
}

HRESULT STDMETHODCALLTYPE ParticipantHost::Subscribe(const OLECHAR* eventPath, IPacketSink* sink,
                                                     ULONG* cookie) {
  if (sink == nullptr || cookie == nullptr) return E_POINTER;
  std::lock_guard lock(mutex_);
  // Zero means "not subscribed" to the module, so it is never handed out, not even after the
  // counter wraps around.
  while (nextCookie_ == 0 || subscriptions_.contains(nextCookie_)) ++nextCookie_;
  const ULONG issued = nextCookie_++;
  subscriptions_.emplace(
      issued, Subscription{std::u16string(ViewOf(eventPath)), ComPtr<IPacketSink>(sink)});
  *cookie = issued;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE ParticipantHost::Unsubscribe(ULONG cookie) {
  ComPtr<IPacketSink> released;  // released after the lock, in case the sink calls back
  std::lock_guard lock(mutex_);
  const auto found = subscriptions_.find(cookie);
  if (found == subscriptions_.end()) return S_FALSE;
  released = std::move(found->second.sink);
  subscriptions_.erase(found);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE ParticipantHost::RaiseEvent(BSTR eventPath, LONG /*reserved*/,
                                                      IUnknown* result) {
  // The module frees the path and drops its reference when this returns: the event keeps
  // copies of its own.
  const HostEvent event{std::u16string(ViewOfBstr(eventPath)), ComPtr<IUnknown>(result)};
  std::vector<std::pair<std::size_t, EventListener>> listeners;
  {
    std::lock_guard lock(mutex_);
    listeners = listeners_;
  }
  for (const auto& [id, listener] : listeners) listener(event);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE ParticipantHost::ReservedSlot1() { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE ParticipantHost::ReservedSlot2() { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE ParticipantHost::SendPacket(IXMLDOMElement* request) {
  if (request == nullptr) return E_POINTER;
  Bstr xml;
  const HRESULT status = request->get_xml(xml.Put());
  if (FAILED(status)) return status;
  std::optional<std::string> text = ToUtf8Strict(xml.View());
  if (!text) return E_INVALIDARG;
  transport_.Send(address_, std::move(*text));
  return S_OK;
}

std::size_t ParticipantHost::SubscriptionCount() const {
  std::lock_guard lock(mutex_);
  return subscriptions_.size();
}

ComPtr<IPacketSink> ParticipantHost::SinkOf(ULONG cookie) const {
  std::lock_guard lock(mutex_);
  const auto found = subscriptions_.find(cookie);
  return found == subscriptions_.end() ? ComPtr<IPacketSink>() : found->second.sink;
}

}  // namespace quenlo::host
