// The one smart pointer for COM references inside the module: every reference the module
// takes is owned by a ComPtr, so it is released on every path, failure paths included.
#pragma once

#include <cstddef>
#include <utility>

#include "component/interface_id.h"

namespace quenlo {

template <class Interface>
class ComPtr;

// QueryInterface on any interface pointer, which may be null; empty when the object lacks Other.
template <class Other, class Source>
ComPtr<Other> QueryFrom(Source* source) noexcept;

template <class Interface>
class ComPtr {
 public:
  ComPtr() noexcept = default;
  ComPtr(std::nullptr_t) noexcept {}  // NOLINT(google-explicit-constructor): reads as "no object"
  // Shares the object: adds a reference of its own.
  explicit ComPtr(Interface* object) noexcept : object_(object) {
    if (object_ != nullptr) object_->AddRef();
  }
  ComPtr(const ComPtr& other) noexcept : ComPtr(other.object_) {}
  ComPtr(ComPtr&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
  ComPtr& operator=(ComPtr other) noexcept {
    std::swap(object_, other.object_);
    return *this;
  }
  ~ComPtr() { Reset(); }

  // Takes over a reference that the caller already owns (e.g. a freshly returned out-parameter).
  static ComPtr Adopt(Interface* object) noexcept {
    ComPtr owner;
    owner.object_ = object;
    return owner;
  }

  Interface* Get() const noexcept { return object_; }
  Interface* operator->() const noexcept { return object_; }
  explicit operator bool() const noexcept { return object_ != nullptr; }

  // For out-parameters: drops the current reference and hands out the slot to fill.
  Interface** Put() noexcept {
    Reset();
    return &object_;
  }
  void** PutVoid() noexcept { return reinterpret_cast<void**>(Put()); }

  // Gives the reference to the caller, who now owns it.
  Interface* Detach() noexcept { return std::exchange(object_, nullptr); }

  // Hands a new reference of its own to an out-parameter, this pointer keeping its own.
  // E_POINTER for a null out-parameter.
  template <class Target>
  HRESULT CopyTo(Target** out) const noexcept {
    if (out == nullptr) return E_POINTER;
    *out = ComPtr(object_).Detach();
    return S_OK;
  }

  // QueryInterface for Other into an out-parameter: a new reference there, or null there and
  // E_NOINTERFACE when the object lacks Other (or this pointer is empty). E_POINTER for a null
  // out-parameter.
  template <class Other>
  HRESULT QueryTo(Other** out) const noexcept {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (object_ == nullptr) return E_NOINTERFACE;
    const HRESULT status =
        object_->QueryInterface(InterfaceId<Other>(), reinterpret_cast<void**>(out));
    if (FAILED(status)) *out = nullptr;
    return status;
  }

  void Reset() noexcept {
    if (Interface* old = std::exchange(object_, nullptr)) old->Release();
  }

  // QueryInterface for Other; empty when the object lacks it (or this pointer is empty).
  template <class Other>
  ComPtr<Other> As() const noexcept {
    return QueryFrom<Other>(object_);
  }

 private:
  Interface* object_ = nullptr;
};

template <class Other, class Source>
ComPtr<Other> QueryFrom(Source* source) noexcept {
  ComPtr<Other> result;
  if (source != nullptr && FAILED(source->QueryInterface(InterfaceId<Other>(), result.PutVoid()))) {
    result.Reset();
  }
  return result;
}

}  // namespace quenlo
