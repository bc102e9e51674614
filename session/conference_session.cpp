#include "session/conference_session.h"

#include "component/boundary_guard.h"
#include "session/ansi_text.h"
#include "session/integer_text.h"

namespace quenlo::confext {

HRESULT STDMETHODCALLTYPE ConferenceSession::SetProperty(const OLECHAR* name,
                                                         const OLECHAR* value) {
  return GuardBoundary([&] {
    std::lock_guard guard(lock_);
    std::string narrowName = ToAnsi(ViewOf(name));
    std::string narrowValue = ToAnsi(ViewOf(value));
    PropertyRecord* record = properties_.Find(narrowName);
    if (record == nullptr) return S_FALSE;
    record->Set(std::move(narrowValue), true);
    return S_OK;
  });
}

HRESULT STDMETHODCALLTYPE ConferenceSession::GetProperty(const OLECHAR* name, BSTR* value) {
  if (value == nullptr) return E_POINTER;
  return GuardBoundary([&] {
    std::lock_guard guard(lock_);
    const PropertyRecord* record = properties_.Find(ToAnsi(ViewOf(name)));
    if (record == nullptr) return S_FALSE;
    *value = AnsiToBstr(record->Value()).Detach();
    return S_OK;
  });
}

HRESULT STDMETHODCALLTYPE ConferenceSession::Attach(SessionHost* host) {
  if (host == nullptr) return E_POINTER;
  // The new reference is taken before the old one is dropped, so re-attaching the stored host
  // keeps it alive.
  host_ = ComPtr<SessionHost>(host);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE ConferenceSession::Detach() {
  host_.Reset();
  return S_OK;
}

IUnknown* ConferenceSession::FindInterface(REFIID iid) noexcept {
  if (IsEqualIID(iid, IID_IConferenceSession)) return static_cast<IConferenceSession*>(this);
  return ComponentBase::FindInterface(iid);
}

void ConferenceSession::DeclareProperty(std::string name, std::string defaultValue,
                                        std::unique_ptr<PropertyCallback> onChange) {
  properties_.Declare(name, std::move(onChange));
  properties_.SetDefault(name, std::move(defaultValue));
}

std::optional<std::string> ConferenceSession::GetPropertyText(std::string_view name) const {
  const PropertyRecord* record = properties_.Find(name);
  if (record == nullptr) return std::nullopt;
  return record->Value();
}

LONG ConferenceSession::GetPropertyInt(std::string_view name) const {
  const PropertyRecord* record = properties_.Find(name);
  return record == nullptr ? -1 : ParseIntegerText(record->Value());
}

}  // namespace quenlo::confext
