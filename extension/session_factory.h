// The class factory of one session type: CreateInstance makes a new Session and hands out its
// primary interface, whatever interface was asked for.
#pragma once

#include <new>

#include "component/boundary_guard.h"
#include "component/com_ptr.h"
#include "component/component_base.h"
#include "component/forwarded_interface.h"

namespace quenlo::confext {

template <class Session>
class SessionFactory final : public ComponentBase,
                             public ForwardedInterface<SessionFactory<Session>, IClassFactory> {
 public:
  SessionFactory() = default;

  // The outer object and the identifier are not examined: aggregation is never refused and the
  // caller queries for the interfaces it wants. E_OUTOFMEMORY with a null result when the
  // session or what its constructor allocates cannot be had. A class factory's caller expects a
  // status, never an exception, so the status is returned on every platform.
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* /*outer*/, REFIID /*iid*/,
                                           void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    return GuardBoundary<BoundaryFailure::kReturnStatus>([&] {
      Session* session = new (std::nothrow) Session();
      if (session == nullptr) return E_OUTOFMEMORY;
      return ComPtr<IUnknown>(session->Primary()).CopyTo(reinterpret_cast<IUnknown**>(object));
    });
  }

  // The module keeps no lock count: its lifetime is the host's matter.
  HRESULT STDMETHODCALLTYPE LockServer(BOOL /*lock*/) override { return S_OK; }

 private:
  ~SessionFactory() override = default;

  IUnknown* FindInterface(REFIID iid) noexcept override {
    if (IsEqualIID(iid, IID_IClassFactory)) return static_cast<IClassFactory*>(this);
    return ComponentBase::FindInterface(iid);
  }
};

}  // namespace quenlo::confext
