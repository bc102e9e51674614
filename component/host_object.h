// The IUnknown of host-side objects that the module (or a test, a fuzz target, a benchmark) is
// handed: a host, a sink, a factory, a stand-in result. Their C++ owner decides when they go; the
// count only tells whether references are still held, which must be none by then. They answer
// IUnknown (through the first interface) and each of their interfaces that has an identifier.
#pragma once

#include <quenlo/platform.h>

#include <atomic>
#include <tuple>

#include "component/com_ptr.h"
#include "component/interface_id.h"

namespace quenlo {

template <class Interface>
concept IdentifiedInterface = requires(Interface** slot) {
  InterfaceIdOf(slot);
};

template <class... Interfaces>
class HostObject : public Interfaces... {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    IUnknown* found = Find(iid);
    if (found == nullptr) {
      *object = nullptr;
      return E_NOINTERFACE;
    }
    return ComPtr<IUnknown>(found).CopyTo(reinterpret_cast<IUnknown**>(object));
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return references_.fetch_add(1) + 1; }
  ULONG STDMETHODCALLTYPE Release() override { return references_.fetch_sub(1) - 1; }

 protected:
  HostObject() = default;
  HostObject(const HostObject&) = delete;
  HostObject& operator=(const HostObject&) = delete;
  ~HostObject() = default;

 private:
  using First = std::tuple_element_t<0, std::tuple<Interfaces...>>;

  IUnknown* Find(REFIID iid) noexcept {
    if (IsEqualIID(iid, IID_IUnknown)) return static_cast<First*>(this);
    IUnknown* found = nullptr;
    ((found = found == nullptr ? FindAs<Interfaces>(iid) : found), ...);
    return found;
  }
  template <class Interface>
  IUnknown* FindAs(REFIID iid) noexcept {
    if constexpr (IdentifiedInterface<Interface>) {
      if (IsEqualIID(iid, InterfaceId<Interface>())) return static_cast<Interface*>(this);
    }
    return nullptr;
  }

  std::atomic<ULONG> references_{0};
};

}  // namespace quenlo
