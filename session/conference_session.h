// The base of every session: links it to its SessionHost, keeps its named properties under a
// re-entrant lock, and implements IConferenceSession, through which the host configures and
// attaches it.
#pragma once

#include <quenlo/session.h>

#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "component/com_ptr.h"
#include "component/component_base.h"
#include "component/forwarded_interface.h"
#include "session/property_table.h"

namespace quenlo::confext {

class ConferenceSession : public ComponentBase,
                          public ForwardedInterface<ConferenceSession, IConferenceSession> {
 public:
  // 0 when the property exists, 1 when it does not (nothing changes). A changed value runs the
  // property's callback before the call returns, under the session lock. Running out of memory
  // raises _com_error(E_OUTOFMEMORY), here and in GetProperty.
  HRESULT STDMETHODCALLTYPE SetProperty(const OLECHAR* name, const OLECHAR* value) override;
  // 0 and a new string (allocated even when empty), or 1 with *value untouched.
  HRESULT STDMETHODCALLTYPE GetProperty(const OLECHAR* name, BSTR* value) override;
  // Keeps a reference to the host (taken before the old one is dropped). Returns 0.
  HRESULT STDMETHODCALLTYPE Attach(SessionHost* host) override;
  // Drops the host. Returns 0.
  HRESULT STDMETHODCALLTYPE Detach() override;

 protected:
  ConferenceSession() = default;
  ~ConferenceSession() override = default;

  IUnknown* FindInterface(REFIID iid) noexcept override;

  // For the concrete session's constructor: declares a property and sets its default silently.
  void DeclareProperty(std::string name, std::string defaultValue,
                       std::unique_ptr<PropertyCallback> onChange = nullptr);

  // Readers for commands and callbacks; they take no lock (the host does not set properties
  // while a command or packet of this session runs, and callbacks already hold it).
  std::optional<std::string> GetPropertyText(std::string_view name) const;
  // The value read as an integer text; -1 when the property does not exist.
  LONG GetPropertyInt(std::string_view name) const;

  // The attached host, or null.
  SessionHost* Host() const noexcept { return host_.Get(); }

 private:
  ComPtr<SessionHost> host_;
  std::recursive_mutex lock_;
  PropertyTable properties_;
};

}  // namespace quenlo::confext
