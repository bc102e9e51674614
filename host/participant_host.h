// The SessionHost of one participant: routes incoming packets to the subscribed sessions,
// hands what the sessions announce to the host's listeners, and sends the sessions' requests
// through a transport as text.
#pragma once

#include <platform/xml_parser.h>
#include <quenlo/names.h>
#include <quenlo/session.h>

#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "component/bstr.h"
#include "component/com_ptr.h"
#include "component/host_object.h"
#include "host/host_event.h"
#include "host/transport.h"

namespace quenlo::host {

class ParticipantHost final : public HostObject<SessionHost>, public PacketReceiver {
 public:
  ParticipantHost(std::string address, Transport& transport);
  ParticipantHost(const ParticipantHost&) = delete;
  ParticipantHost& operator=(const ParticipantHost&) = delete;
  ~ParticipantHost();

  const std::string& address() const noexcept { return address_; }

  // Listeners are called in the order they were added, on the thread that delivers packets.
  // The returned number removes the listener again.
  std::size_t AddListener(EventListener listener);
  void RemoveListener(std::size_t id);

  // Parses one packet and hands its root element to every "/packet" subscriber. Text the
  // parser refuses reaches nobody; the result says why.
  XmlParseResult Deliver(std::string_view xml);
  // PacketReceiver: Deliver, counting refused packets.
  void Receive(std::string_view xml) override;
  std::size_t RefusedPackets() const noexcept { return refusedPackets_; }
  // Sees the text of every packet Receive gets, before the sessions do: how the host reads the
  // answers to requests of its own, which the module does not make.
  void SetPacketWatcher(std::function<void(std::string_view xml)> watcher);

  // SessionHost
  HRESULT STDMETHODCALLTYPE Subscribe(const OLECHAR* eventPath, IPacketSink* sink,
                                      ULONG* cookie) override;
  HRESULT STDMETHODCALLTYPE Unsubscribe(ULONG cookie) override;
  HRESULT STDMETHODCALLTYPE RaiseEvent(BSTR eventPath, LONG reserved, IUnknown* result) override;
  HRESULT STDMETHODCALLTYPE ReservedSlot1() override;
  HRESULT STDMETHODCALLTYPE ReservedSlot2() override;
  HRESULT STDMETHODCALLTYPE SendPacket(IXMLDOMElement* request) override;

  std::size_t SubscriptionCount() const;

 private:
  struct Subscription {
    std::u16string event_path;
    ComPtr<IPacketSink> sink;
  };

  // The sink of a subscription that still exists, with a reference for the caller.
  ComPtr<IPacketSink> SinkOf(ULONG cookie) const;

  std::string address_;
  Transport& transport_;
  Bstr packetEventPath_;

  mutable std::mutex mutex_;
  ULONG nextCookie_ = 1;
  std::map<ULONG, Subscription> subscriptions_;
  std::size_t nextListenerId_ = 1;
  std::vector<std::pair<std::size_t, EventListener>> listeners_;
  std::size_t refusedPackets_ = 0;
  std::function<void(std::string_view)> watcher_;
};

}  // namespace quenlo::host
