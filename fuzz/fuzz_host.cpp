#include "fuzz_host.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>

namespace quenlo::fuzz {
namespace {

// The ExtensionHost handed to LoadConferenceExtension: keeps each registered factory.
class FactoryShelf final : public HostObject<ExtensionHost> {
 public:
  HRESULT STDMETHODCALLTYPE RegisterSessionType(const OLECHAR* typeName, const OLECHAR*,
                                                IClassFactory* factory) override {
    factories[typeName] = ComPtr<IClassFactory>(factory);
    return S_OK;
  }

  std::map<std::u16string, ComPtr<IClassFactory>> factories;
};

FactoryShelf& Shelf() {
  static FactoryShelf* shelf = [] {
    auto* entered = new FactoryShelf();
    Require(LoadConferenceExtension(entered) == 42, "LoadConferenceExtension answers 42");
    return entered;
  }();
  return *shelf;
}

}  // namespace

void Fail(const std::string& check) {
  std::fprintf(stderr, "fuzz check failed: %s\n", check.c_str());
  std::abort();
}

ComPtr<IUnknown> NewSession(Product product) {
  const std::u16string type =
      product == Product::kVoting ? u"quenlo.voting.session" : u"quenlo.agenda.session";
  const ComPtr<IClassFactory>& factory = Shelf().factories[type];
  Require(static_cast<bool>(factory), "the module registers both session types");
  ComPtr<IUnknown> session;
  Require(factory->CreateInstance(nullptr, IID_IUnknown, session.PutVoid()) == S_OK,
          "a factory makes a session");
  return session;
}

const OLECHAR* RoomProperty(Product product) {
  return product == Product::kVoting ? u"voting.room_name" : u"agenda.room_name";
}

const OLECHAR* NamespaceOf(Product product) {
  return product == Product::kVoting ? u"quenlo:conf:voting" : u"quenlo:conf:agenda";
}

std::vector<HRESULT> FuzzHost::Deliver(IXMLDOMElement* packet) {
  // A sink may unsubscribe while it runs: deliver to the subscribers of the moment.
  std::vector<ComPtr<IPacketSink>> sinks;
  for (const Subscription& subscription : sinks_) sinks.push_back(subscription.sink);
  std::vector<HRESULT> statuses;
  for (const ComPtr<IPacketSink>& sink : sinks) {
    statuses.push_back(sink->OnPacket(nullptr, packet, 0));
  }
  return statuses;
}

HRESULT FuzzHost::Subscribe(const OLECHAR* eventPath, IPacketSink* sink, ULONG* cookie) {
  Require(eventPath != nullptr && std::u16string_view(eventPath) == u"/packet",
          "a session subscribes to /packet");
  Require(sink != nullptr && cookie != nullptr, "Subscribe gets a sink and a cookie slot");
  *cookie = nextCookie_++;
  sinks_.push_back({*cookie, ComPtr<IPacketSink>(sink)});
  return S_OK;
}

HRESULT FuzzHost::Unsubscribe(ULONG cookie) {
  const auto found = std::ranges::find(sinks_, cookie, &Subscription::cookie);
  Require(found != sinks_.end(), "Unsubscribe names a live subscription");
  sinks_.erase(found);
  return S_OK;
}

HRESULT FuzzHost::RaiseEvent(BSTR eventPath, LONG reserved, IUnknown* result) {
  Require(eventPath != nullptr, "an announcement has a path");
  Require(reserved == 0, "the second RaiseEvent argument is 0");
  announcements_.push_back(
      {std::u16string(eventPath, SysStringLen(eventPath)), ComPtr<IUnknown>(result)});
  return S_OK;
}

HRESULT FuzzHost::SendPacket(IXMLDOMElement* request) {
  Require(request != nullptr, "SendPacket gets an element");
  sent_.push_back(ComPtr<IXMLDOMElement>(request));
  return S_OK;
}

}  // namespace quenlo::fuzz
