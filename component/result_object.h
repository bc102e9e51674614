// The base of every result object announced to the host: a component whose interfaces are the
// primary one, ElementLoader and one public result interface, answered in that order.
#pragma once

#include <new>
#include <utility>

#include "component/com_ptr.h"
#include "component/component_base.h"
#include "component/element_loader.h"
#include "component/forwarded_interface.h"

namespace quenlo {

template <class Derived, class Public>
class ResultObject : public ComponentBase,
                     public ElementLoader,
                     public ForwardedInterface<Derived, Public> {
 public:
  using PublicInterface = Public;

  // Builds the object, takes one reference for the caller and runs Load (its result is not
  // looked at: an object whose entries were not all read is still usable). Empty when the
  // object cannot be allocated; a constructor or Load failure propagates after the partly
  // built object is destroyed.
  template <class... Arguments>
  static ComPtr<Public> Create(Arguments&&... arguments) {
    Derived* object = new (std::nothrow) Derived(std::forward<Arguments>(arguments)...);
    if (object == nullptr) return nullptr;
    ComPtr<Public> reference(static_cast<Public*>(object));
    object->Load();
    return reference;
  }

  // Create for an element alone, handing out the public interface as IUnknown: the one shape
  // every result object's maker has, so that a route table can name it.
  static ComPtr<IUnknown> Make(IXMLDOMElement* element) {
    return ComPtr<IUnknown>::Adopt(Create(element).Detach());
  }

 protected:
  explicit ResultObject(IXMLDOMElement* element) noexcept : ElementLoader(element) {}
  ~ResultObject() override = default;

  IUnknown* FindInterface(REFIID iid) noexcept override {
    if (IsEqualIID(iid, InterfaceId<Public>())) return static_cast<Public*>(this);
    return ComponentBase::FindInterface(iid);
  }
};

}  // namespace quenlo
