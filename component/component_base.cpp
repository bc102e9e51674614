#include "component/component_base.h"

#include "component/com_ptr.h"

namespace quenlo {

ComponentBase::ComponentBase() noexcept = default;

ComponentBase::~ComponentBase() = default;

HRESULT STDMETHODCALLTYPE ComponentBase::QueryInterface(REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  IUnknown* found = FindInterface(iid);
  if (found == nullptr) {
    *object = nullptr;
    return E_NOINTERFACE;
  }
  return ComPtr<IUnknown>(found).CopyTo(reinterpret_cast<IUnknown**>(object));
}

ULONG STDMETHODCALLTYPE ComponentBase::AddRef() { return references_.fetch_add(1) + 1; }

ULONG STDMETHODCALLTYPE ComponentBase::Release() {
  // The count the decrement itself gave: reading the count again afterwards could read an object
  // that another thread's Release has destroyed in between.
  const ULONG remaining = references_.fetch_sub(1) - 1;
  if (remaining != 0) return remaining;
  references_.store(1);
  delete this;
  return 0;
}

IUnknown* ComponentBase::FindInterface(REFIID iid) noexcept {
  return IsEqualIID(iid, IID_IUnknown) ? Primary() : nullptr;
}

}  // namespace quenlo
