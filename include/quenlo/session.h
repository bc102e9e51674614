// The interfaces every session answers: configuration and packet delivery.
#pragma once

#include <quenlo/host.h>
#include <quenlo/identifiers.h>

struct IConferenceSession : IUnknown {
  // Returns 0 when the property exists, 1 when it does not (nothing changes then).
  virtual HRESULT STDMETHODCALLTYPE SetProperty(const OLECHAR* name, const OLECHAR* value) = 0;
  // The caller frees *value with SysFreeString; untouched when the result is 1.
  virtual HRESULT STDMETHODCALLTYPE GetProperty(const OLECHAR* name, BSTR* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE Attach(SessionHost* host) = 0;
  virtual HRESULT STDMETHODCALLTYPE Detach() = 0;

 protected:
  ~IConferenceSession() = default;
};

struct IPacketSink : IUnknown {
  // packet is the "iq" element of one incoming packet (an object answering IXMLDOMElement);
  // eventPath and reserved are not read. Returns 0 or 1.
  virtual HRESULT STDMETHODCALLTYPE OnPacket(BSTR eventPath, IUnknown* packet, LONG reserved) = 0;

 protected:
  ~IPacketSink() = default;
};
