// The base of every component that crosses the host boundary: it owns the reference count,
// answers QueryInterface for all interfaces of the object, and destroys the object at the
// last Release. Derived classes name their extra interfaces by overriding FindInterface.
#pragma once

#include <quenlo/platform.h>

#include <atomic>

namespace quenlo {

class ComponentBase : public IUnknown {
 public:
  ComponentBase(const ComponentBase&) = delete;
  ComponentBase& operator=(const ComponentBase&) = delete;

  // S_OK with one added reference, or E_NOINTERFACE with *object set to null and the count
  // unchanged (E_POINTER when object is null).
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) final;
  ULONG STDMETHODCALLTYPE AddRef() final;
  // At zero the count is set to 1 before the destructor runs, so references the destructor
  // takes and drops cannot start a second destruction.
  ULONG STDMETHODCALLTYPE Release() final;

  // The primary interface; a query for IUnknown through any interface yields it.
  IUnknown* Primary() noexcept { return this; }

 protected:
  ComponentBase() noexcept;
  virtual ~ComponentBase();

  // The interface that iid names, without a reference, or null. Overrides test their own
  // interfaces in their fixed order and then defer to their base class; this one answers
  // IUnknown only.
  virtual IUnknown* FindInterface(REFIID iid) noexcept;

 private:
  std::atomic<ULONG> references_{0};
};

}  // namespace quenlo
