#include "component/component_base.h"

#include <algorithm>

namespace {

// The counts returned are informational: re-read after the step, never below 1 while alive.
ULONG ReportedCount(const std::atomic<ULONG>& references) noexcept {
  return std::max<ULONG>(references.load(), 1);
}

}  // namespace

ComponentBase::ComponentBase() noexcept : controlling_(this) {}

ComponentBase::~ComponentBase() = default;

HRESULT STDMETHODCALLTYPE ComponentBase::QueryInterface(REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  IUnknown* found = FindInterface(iid);
  if (found == nullptr) {
    *object = nullptr;
    return E_NOINTERFACE;
  }
  found->AddRef();
  *object = found;
  return S_OK;
}

ULONG STDMETHODCALLTYPE ComponentBase::AddRef() {
  references_.fetch_add(1);
  return ReportedCount(references_);
}

ULONG STDMETHODCALLTYPE ComponentBase::Release() {
  if (references_.fetch_sub(1) != 1) return ReportedCount(references_);
  references_.store(1);
  delete this;
  return 0;
}

IUnknown* ComponentBase::FindInterface(REFIID iid) noexcept {
  return IsEqualIID(iid, IID_IUnknown) ? Primary() : nullptr;
}
