// What the fuzz targets need of a host: the module entered through its entry point, sessions
// made by the factories it registers, and a SessionHost that keeps what a session sends and
// announces. Written against the public headers, as any host is.
#pragma once

#include <quenlo/agenda.h>
#include <quenlo/extension.h>
#include <quenlo/voting.h>

#include <string>
#include <vector>

#include "component/com_ptr.h"
#include "component/host_object.h"

namespace quenlo::fuzz {

// A finding: says which check failed and stops the run, so that libFuzzer saves the input.
[[noreturn]] void Fail(const std::string& check);
inline void Require(bool condition, const char* check) {
  if (!condition) Fail(check);
}

enum class Product { kVoting, kAgenda };

inline constexpr const OLECHAR* kRoom = u"board@conference.example";

// A new session of the product, made by the module's registered factory.
ComPtr<IUnknown> NewSession(Product product);
// The session's room property ("voting.room_name" or "agenda.room_name").
const OLECHAR* RoomProperty(Product product);
// The namespace of the product's queries.
const OLECHAR* NamespaceOf(Product product);

struct Announcement {
  std::u16string path;
  ComPtr<IUnknown> result;
};

// Lives as long as the target: sessions hold references to it while attached.
class FuzzHost final : public HostObject<SessionHost> {
 public:
  // Hands the packet to every subscribed sink; the statuses they answered, in order.
  std::vector<HRESULT> Deliver(IXMLDOMElement* packet);

  std::vector<Announcement>& announcements() { return announcements_; }
  std::vector<ComPtr<IXMLDOMElement>>& sent() { return sent_; }
  std::size_t subscriptions() const { return sinks_.size(); }

  HRESULT STDMETHODCALLTYPE Subscribe(const OLECHAR* eventPath, IPacketSink* sink,
                                      ULONG* cookie) override;
  HRESULT STDMETHODCALLTYPE Unsubscribe(ULONG cookie) override;
  HRESULT STDMETHODCALLTYPE RaiseEvent(BSTR eventPath, LONG reserved, IUnknown* result) override;
  HRESULT STDMETHODCALLTYPE ReservedSlot1() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE ReservedSlot2() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SendPacket(IXMLDOMElement* request) override;

 private:
  struct Subscription {
    ULONG cookie;
    ComPtr<IPacketSink> sink;
  };

  ULONG nextCookie_ = 1;
  std::vector<Subscription> sinks_;
  std::vector<Announcement> announcements_;
  std::vector<ComPtr<IXMLDOMElement>> sent_;
};

}  // namespace quenlo::fuzz
