// A secondary interface of a component: its QueryInterface, AddRef and Release only forward to
// the component's primary interface, so every interface of an object shares one count and
// answers the same queries. Component is the class that mixes it in (derived from ComponentBase).
#pragma once

#include <quenlo/platform.h>

namespace quenlo {

template <class Component, class Interface>
class ForwardedInterface : public Interface {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) final {
    return Owner()->QueryInterface(iid, object);
  }
  ULONG STDMETHODCALLTYPE AddRef() final { return Owner()->AddRef(); }
  ULONG STDMETHODCALLTYPE Release() final { return Owner()->Release(); }

 protected:
  ForwardedInterface() = default;
  ~ForwardedInterface() = default;

 private:
  IUnknown* Owner() noexcept { return static_cast<Component*>(this)->Primary(); }
};

}  // namespace quenlo
