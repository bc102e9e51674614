// The one place where the runtime's COM objects count references and die.
#pragma once

#include <platform/com.h>

#include <atomic>

namespace quenlo::platform::dom {

class RefCounted {
 public:
  RefCounted(const RefCounted&) = delete;
  RefCounted& operator=(const RefCounted&) = delete;

  ULONG AddReference() noexcept { return count_.fetch_add(1, std::memory_order_relaxed) + 1; }

  ULONG ReleaseReference() noexcept {
    const ULONG left = count_.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left == 0) Destroy();
    return left;
  }

  // Takes a reference only while the object is not already on its way out (count above zero),
  // so that a weak link can be turned into a strong one without reviving a dying object.
  bool TryAddReference() noexcept {
    ULONG current = count_.load(std::memory_order_relaxed);
    while (current != 0) {
      if (count_.compare_exchange_weak(current, current + 1, std::memory_order_acq_rel)) {
        return true;
      }
    }
    return false;
  }

 protected:
  // The creator holds the first reference.
  RefCounted() = default;
  virtual ~RefCounted() = default;

  // Called once, when the last reference goes.
  virtual void Destroy() noexcept = 0;

  // Drops a reference without destroying; true when it was the last one and the caller now
  // has to dispose of the object (tree teardown does this to avoid recursion). The caller's
  // reference being the only one spares the atomic step: nobody else can take one then, as
  // long as the object is not linked weakly (TryAddReference), which a tree's children never
  // are.
  bool DropReference() noexcept {
    return SoleReference() || count_.fetch_sub(1, std::memory_order_acq_rel) == 1;
  }
  // Whether the caller's reference is the only one; see DropReference.
  bool SoleReference() const noexcept { return count_.load(std::memory_order_acquire) == 1; }

 private:
  std::atomic<ULONG> count_{1};
};

// IUnknown for objects with a single interface.
template <class Interface, const IID& kInterfaceId>
class ComObject : public Interface, public RefCounted {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (object == nullptr) return E_POINTER;
    if (riid == IID_IUnknown || riid == kInterfaceId) {
      AddReference();
      *object = static_cast<Interface*>(this);
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return AddReference(); }
  // Lists and maps are mostly asked for, read and let go by one caller. Nothing links to them
  // weakly, so the caller's reference being the only one ends them without the atomic step, a
  // locked instruction that costs as much as reading the list (see DropReference).
  ULONG STDMETHODCALLTYPE Release() override {
    if (!SoleReference()) return ReleaseReference();
    Destroy();
    return 0;
  }

 protected:
  void Destroy() noexcept override { delete this; }
};

}  // namespace quenlo::platform::dom
