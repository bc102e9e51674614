#include "xml/shared_document.h"

#include <mutex>

namespace quenlo::confext {

namespace {

struct DocumentHolder {
  std::recursive_mutex mutex;
  ComPtr<IXMLDOMDocument> document;  // released at module unload with the holder
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

SharedDocument::Lease SharedDocument::Lock() noexcept { return Lease(Holder().mutex); }

ComPtr<IXMLDOMDocument> SharedDocument::Acquire() noexcept {
  DocumentHolder& holder = Holder();
  std::lock_guard guard(holder.mutex);
  return ComPtr<IXMLDOMDocument>(PresentDocument(holder));
}

HRESULT SharedDocument::CreateElement(BSTR tagName, IXMLDOMElement** element) noexcept {
  DocumentHolder& holder = Holder();
  std::lock_guard guard(holder.mutex);
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
