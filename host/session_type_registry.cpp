#include "host/session_type_registry.h"

#include <algorithm>

#include "component/ole_text.h"
#include "host/host_error.h"
#include "host/utf8_text.h"

namespace quenlo::host {

HRESULT STDMETHODCALLTYPE SessionTypeRegistry::RegisterSessionType(const OLECHAR* typeName,
                                                                   const OLECHAR* version,
                                                                   IClassFactory* factory) {
  Registration registration{std::u16string(ViewOf(typeName)), std::u16string(ViewOf(version)),
                            ComPtr<IClassFactory>(factory)};
  const auto existing =
      std::ranges::find(registrations_, registration.type_name, &Registration::type_name);
  if (existing != registrations_.end()) {
    *existing = std::move(registration);
  } else {
    registrations_.push_back(std::move(registration));
  }
  return S_OK;
}

ComPtr<IUnknown> SessionTypeRegistry::CreateSession(std::u16string_view typeName) const {
  const auto found = std::ranges::find(registrations_, typeName, &Registration::type_name);
  const std::string name = ToUtf8(typeName);
  if (found == registrations_.end()) {
    throw HostError("the module registered no session type \"" + name + "\"");
  }
  if (!found->factory) {
    throw HostError("the module registered \"" + name + "\" without a factory");
  }
  ComPtr<IUnknown> session;
  const HRESULT status = found->factory->CreateInstance(nullptr, IID_IUnknown, session.PutVoid());
  if (FAILED(status) || !session) {
    throw HostError("the factory of \"" + name + "\" made no session");
  }
  return session;
}

}  // namespace quenlo::host
