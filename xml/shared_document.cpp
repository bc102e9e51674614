#include "xml/shared_document.h"

#include <atomic>
#include <cstddef>
#include <mutex>
#include <thread>

namespace quenlo::confext {

namespace {

struct DocumentHolder {
  std::recursive_mutex mutex;
  ComPtr<IXMLDOMDocument> document;  // released at module unload with the holder
  // The thread holding leases, and how many it holds: set under the mutex by that thread, so a
  // thread finds its own id here only while it holds one.
  std::atomic<std::thread::id> leaseHolder{};
  std::size_t leases = 0;
};

DocumentHolder& Holder() noexcept {
  static DocumentHolder holder;
  return holder;
}

// The document, created if absent; the caller holds the holder's lock.
IXMLDOMDocument* PresentDocument(DocumentHolder& holder) noexcept {
  if (!holder.document) {
    CLSID documentClass{};
    CLSIDFromProgID(OLESTR("Microsoft.XMLDOM"), &documentClass);
    constexpr DWORD kContext = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER;
    if (FAILED(CoCreateInstance(documentClass, nullptr, kContext, IID_IXMLDOMDocument,
                                holder.document.PutVoid()))) {
      holder.document.Reset();
    }
  }
  return holder.document.Get();
}

}  // namespace

SharedDocument::Lease SharedDocument::Lock() noexcept {
  DocumentHolder& holder = Holder();
  holder.mutex.lock();
  if (holder.leases++ == 0) {
    holder.leaseHolder.store(std::this_thread::get_id(), std::memory_order_relaxed);
  }
  return Lease();
}

SharedDocument::Lease::~Lease() {
  if (!held_) return;
  DocumentHolder& holder = Holder();
  if (--holder.leases == 0) holder.leaseHolder.store({}, std::memory_order_relaxed);
  holder.mutex.unlock();
}

ComPtr<IXMLDOMDocument> SharedDocument::Acquire() noexcept {
  DocumentHolder& holder = Holder();
  std::lock_guard guard(holder.mutex);
  return ComPtr<IXMLDOMDocument>(PresentDocument(holder));
}

HRESULT SharedDocument::CreateElement(BSTR tagName, IXMLDOMElement** element) noexcept {
  DocumentHolder& holder = Holder();
  std::unique_lock<std::recursive_mutex> guard;
  if (holder.leaseHolder.load(std::memory_order_relaxed) != std::this_thread::get_id()) {
    guard = std::unique_lock(holder.mutex);
  }
  IXMLDOMDocument* document = PresentDocument(holder);
  return document != nullptr ? document->createElement(tagName, element) : E_FAIL;
}

void SharedDocument::Release() noexcept {
  DocumentHolder& holder = Holder();
  ComPtr<IXMLDOMDocument> released;
  {
    std::lock_guard guard(holder.mutex);
    released = std::move(holder.document);
  }
  // The last reference may go here, outside the lock, so a slow teardown blocks no builder.
}

}  // namespace quenlo::confext
