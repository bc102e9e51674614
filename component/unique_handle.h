// Sole ownership of one platform resource (a string, a variant): released when the owner goes,
// on every path. Traits name the handle type, its empty value and how to release it:
//   using Handle = ...;
//   static Handle Empty() noexcept;
//   static void Release(Handle& handle) noexcept;  // leaves nothing to release twice
#pragma once

#include <utility>

namespace quenlo {

template <class Traits>
class UniqueHandle {
 public:
  using Handle = typename Traits::Handle;

  UniqueHandle() noexcept = default;
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.Detach()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) Reset(other.Detach());
    return *this;
  }
  ~UniqueHandle() { Traits::Release(handle_); }

  const Handle& Get() const noexcept { return handle_; }
  // For out-parameters: releases the current resource and hands out the slot to fill.
  Handle* Put() noexcept {
    Reset();
    return &handle_;
  }
  // Gives the resource to the caller, who now releases it.
  Handle Detach() noexcept { return std::exchange(handle_, Traits::Empty()); }
  // Releases the current resource and takes over the given one.
  void Reset(Handle handle = Traits::Empty()) noexcept {
    Handle old = std::exchange(handle_, handle);
    Traits::Release(old);
  }

 private:
  Handle handle_ = Traits::Empty();
};

}  // namespace quenlo
