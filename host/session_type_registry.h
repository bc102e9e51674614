// The ExtensionHost the module registers its session types with: keeps each factory with a
// reference of its own and makes sessions from it.
#pragma once

#include <quenlo/host.h>

#include <map>
#include <string>
#include <vector>

#include "component/com_ptr.h"
#include "component/host_object.h"

namespace quenlo::host {

class SessionTypeRegistry final : public HostObject<ExtensionHost> {
 public:
  SessionTypeRegistry() = default;
  SessionTypeRegistry(const SessionTypeRegistry&) = delete;
  SessionTypeRegistry& operator=(const SessionTypeRegistry&) = delete;
  ~SessionTypeRegistry() = default;

  // A second registration of a type replaces the first (the module may be entered twice).
  HRESULT STDMETHODCALLTYPE RegisterSessionType(const OLECHAR* typeName, const OLECHAR* version,
                                                IClassFactory* factory) override;

  // A new session of that type, owned by the caller. Throws HostError when the type is not
  // registered, was registered without a factory, or the factory fails.
  ComPtr<IUnknown> CreateSession(std::u16string_view typeName) const;

  // Registered type names in registration order, with their versions.
  struct Registration {
    std::u16string type_name;
    std::u16string version;
    ComPtr<IClassFactory> factory;
  };
  const std::vector<Registration>& registrations() const noexcept { return registrations_; }

  // Drops every factory reference; the module must not be unloaded before.
  void Clear() noexcept { registrations_.clear(); }

 private:
  std::vector<Registration> registrations_;
};

}  // namespace quenlo::host
