#include "document_link.h"

#include "document.h"

namespace quenlo::platform::dom {

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
