// The module's one XML document, from which every request element is created (each request is
// a free-standing tree, never inserted into it). Created on first use, released when a session's
// room name becomes empty or the module unloads. Guarded by a mutex: a release on one thread
// never races a creation on another, and elements already made stay valid after a release.
#pragma once

#include <utility>

#include "component/com_ptr.h"

namespace quenlo::confext {

class SharedDocument {
 public:
  // The platform's document is not free-threaded: two threads creating or changing its elements
  // at once corrupt it. A command holds a lease from before its first element is made until the
  // last one is released, so requests of sessions on different threads take turns. Re-entrant,
  // for a host that issues a command from inside SendPacket.
  class Lease {
   public:
    Lease(Lease&& other) noexcept : held_(std::exchange(other.held_, false)) {}
    Lease& operator=(Lease&&) = delete;
    ~Lease();

   private:
    friend class SharedDocument;
    Lease() noexcept = default;
    bool held_ = true;
  };
  [[nodiscard]] static Lease Lock() noexcept;

  // The document, created if absent (the next call retries when creation fails: empty result).
  static ComPtr<IXMLDOMDocument> Acquire() noexcept;
  // createElement on the document, created if absent (E_FAIL when it cannot be). The lock is
  // held for the call, so the document cannot be released meanwhile and no reference is taken.
  // A request makes a few dozen elements under its lease: on the thread that holds one, the
  // lock is not taken again.
  static HRESULT CreateElement(BSTR tagName, IXMLDOMElement** element) noexcept;
  // Drops the module's reference; the next Acquire creates a new document.
  static void Release() noexcept;
};

}  // namespace quenlo::confext
