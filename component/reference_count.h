// Reading an object's reference count, for checks that a caller took and gave back exactly its
// references (tests, fuzz targets).
#pragma once

#include <quenlo/platform.h>

namespace quenlo {

// The count as the object reports it, left as it was: one reference taken and given back.
template <class Object>
ULONG ReferencesOf(Object* object) {
  object->AddRef();
  return object->Release();
}

}  // namespace quenlo
