// Reference counting for the host's own objects that the module holds (the ExtensionHost, each
// SessionHost). Their C++ owner decides when they go; the count only tells whether the module
// still holds references, which must be none by then.
#pragma once

#include <quenlo/platform.h>

#include <atomic>

namespace quenlo::host {

template <class Interface>
class HostObject : public Interface {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    if (!IsEqualIID(iid, IID_IUnknown)) {
      *object = nullptr;
      return E_NOINTERFACE;
    }
    *object = static_cast<IUnknown*>(this);
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override { return --references_; }

  // References the module holds right now.
  ULONG reference_count() const noexcept { return references_.load(); }

 protected:
  HostObject() = default;
  ~HostObject() = default;

 private:
  std::atomic<ULONG> references_{0};
};

}  // namespace quenlo::host
