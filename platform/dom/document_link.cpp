#include "document_link.h"

#include <new>

#include "../small_blocks.h"
#include "document.h"

namespace quenlo::platform::dom {
namespace {

template <class T>
struct SmallBlockAllocator {
  using value_type = T;

  SmallBlockAllocator() noexcept = default;
  template <class U>
  SmallBlockAllocator(const SmallBlockAllocator<U>&) noexcept {}

  T* allocate(std::size_t count) {
    void* memory = small_blocks::Take(count * sizeof(T));
    if (memory == nullptr) throw std::bad_alloc();
    return static_cast<T*>(memory);
  }
  void deallocate(T* memory, std::size_t count) noexcept {
    small_blocks::Give(memory, count * sizeof(T));
  }

  template <class U>
  bool operator==(const SmallBlockAllocator<U>&) const noexcept {
    return true;
  }
};

}  // namespace

std::shared_ptr<DocumentLink> MakeDocumentLink() {
  return std::allocate_shared<DocumentLink>(SmallBlockAllocator<DocumentLink>());
}

IXMLDOMDocument* DocumentLink::Acquire() noexcept {
  const std::lock_guard lock(mutex_);
  // The document is freed only after Sever, so reading its count under the lock is safe; a
  // count already at zero means it is being destroyed and must not be revived.
  if (document_ == nullptr || !document_->TryAddReference()) return nullptr;
  return document_;
}

void DocumentLink::Sever() noexcept {
  const std::lock_guard lock(mutex_);
  document_ = nullptr;
}

}  // namespace quenlo::platform::dom
