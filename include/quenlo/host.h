// What the module needs from its host: the contract a host implements, every slot in order.
#pragma once

#include <quenlo/platform.h>

struct IPacketSink;

// Handed to LoadConferenceExtension. The three IUnknown slots are never called by the module.
struct ExtensionHost : IUnknown {
  // The host keeps the factory with a reference of its own; factory may be null when the
  // module could not allocate it. The result is ignored.
  virtual HRESULT STDMETHODCALLTYPE RegisterSessionType(const OLECHAR* typeName,
                                                        const OLECHAR* version,
                                                        IClassFactory* factory) = 0;

 protected:
  ~ExtensionHost() = default;
};

// Handed to a session's Attach. Results of every call are ignored by the module.
struct SessionHost : IUnknown {
  // Writes a non-zero cookie; from then on the host calls sink->OnPacket for every incoming
  // packet until Unsubscribe(cookie) returns.
  virtual HRESULT STDMETHODCALLTYPE Subscribe(const OLECHAR* eventPath, IPacketSink* sink,
                                              ULONG* cookie) = 0;
  virtual HRESULT STDMETHODCALLTYPE Unsubscribe(ULONG cookie) = 0;
  // The path is freed and the object reference dropped right after the call: a host that
  // keeps them copies the path and adds a reference.
  virtual HRESULT STDMETHODCALLTYPE RaiseEvent(BSTR eventPath, LONG reserved, IUnknown* result) = 0;
  // Two slots the module never calls.
  virtual HRESULT STDMETHODCALLTYPE ReservedSlot1() = 0;
  virtual HRESULT STDMETHODCALLTYPE ReservedSlot2() = 0;
  // The host serialises the finished "iq" element and transmits it to the conference server.
  virtual HRESULT STDMETHODCALLTYPE SendPacket(IXMLDOMElement* request) = 0;

 protected:
  ~SessionHost() = default;
};
