// Reading an object's reference count in tests.
#pragma once

#include "component/com_ptr.h"

// The reference count as the object reports it, without changing it.
inline ULONG ReferencesOf(IUnknown* object) {
  object->AddRef();
  return object->Release();
}
