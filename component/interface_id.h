// Maps an interface type to its identifier, so that queries name the type once
// (ComPtr::As<IXMLDOMElement>()) instead of pairing a type with an identifier by hand. Each
// interface names its identifier through an InterfaceIdOf overload beside its declaration, found
// by argument-dependent lookup where a query is made: the platform's here, the contract's in its
// public headers. This layer knows no product. The overloads take a pointer to a pointer so that
// only the exact type matches: a derived interface never quietly takes its base's identifier.
#pragma once

#include <quenlo/platform.h>

namespace quenlo {

inline const IID& InterfaceIdOf(IUnknown**) noexcept { return IID_IUnknown; }
inline const IID& InterfaceIdOf(IClassFactory**) noexcept { return IID_IClassFactory; }
inline const IID& InterfaceIdOf(IXMLDOMNode**) noexcept { return IID_IXMLDOMNode; }
inline const IID& InterfaceIdOf(IXMLDOMElement**) noexcept { return IID_IXMLDOMElement; }
inline const IID& InterfaceIdOf(IXMLDOMDocument**) noexcept { return IID_IXMLDOMDocument; }
inline const IID& InterfaceIdOf(IXMLDOMNodeList**) noexcept { return IID_IXMLDOMNodeList; }

template <class Interface>
const IID& InterfaceId() noexcept {
  return InterfaceIdOf(static_cast<Interface**>(nullptr));
}

}  // namespace quenlo
