// The internal second interface of every result object: it holds the reply element the object
// was built over (one reference for the object's whole life) and reads it in Load. It is never
// handed out by QueryInterface.
#pragma once

#include "component/com_ptr.h"

namespace quenlo {

class ElementLoader {
 public:
  ElementLoader(const ElementLoader&) = delete;
  ElementLoader& operator=(const ElementLoader&) = delete;

  // Reads what the result object keeps from the element; false when the DOM reported a failure
  // part-way (what was read so far stays). Conversion failures leave as _com_error.
  virtual bool Load() = 0;

 protected:
  // element may be null.
  explicit ElementLoader(IXMLDOMElement* element) noexcept : element_(element) {}
  ~ElementLoader() = default;

  IXMLDOMElement* Element() const noexcept { return element_.Get(); }

 private:
  ComPtr<IXMLDOMElement> element_;
};

}  // namespace quenlo
