// The interfaces every session answers: configuration and packet delivery.
//
// A session comes from its factory's CreateInstance with one reference for the caller (the
// IUnknown of the session whatever interface was asked for); IConferenceSession, IPacketSink
// and the command interface are reached with QueryInterface. Life of a session: set the room
// property, Attach, send commands and deliver packets, Detach, Release. Detach must come before
// the last Release: while attached, the host's subscription and the session's reference on the
// host keep each other alive.
#pragma once

#include <quenlo/host.h>
#include <quenlo/identifiers.h>

namespace quenlo {

struct IConferenceSession : IUnknown {
  // Property names: "voting.room_name", "voting.multiselsect", "voting.registered",
  // "voting.timeout" on a voting session, "agenda.room_name" on an agenda session. Names and
  // values pass through the ANSI code page (characters outside it are replaced); setting the
  // room name to "" releases the module's shared XML document.
  // Returns 0 when the property exists, 1 when it does not (nothing changes then).
  virtual HRESULT STDMETHODCALLTYPE SetProperty(const OLECHAR* name, const OLECHAR* value) = 0;
  // The caller frees *value with SysFreeString; untouched when the result is 1. A null value
  // pointer gives E_POINTER.
  virtual HRESULT STDMETHODCALLTYPE GetProperty(const OLECHAR* name, BSTR* value) = 0;
  // Takes a reference on host and subscribes to "/packet" (a null host gives E_POINTER).
  virtual HRESULT STDMETHODCALLTYPE Attach(SessionHost* host) = 0;
  // Cancels the subscription and releases the host; does nothing when not attached.
  virtual HRESULT STDMETHODCALLTYPE Detach() = 0;

 protected:
  ~IConferenceSession() = default;
};
inline const IID& InterfaceIdOf(IConferenceSession**) noexcept { return IID_IConferenceSession; }

struct IPacketSink : IUnknown {
  // packet is the "iq" element of one incoming packet: any interface of an object answering
  // IXMLDOMElement (the module queries it); eventPath and reserved are not read. The host
  // parses the text it receives; on POSIX XmlParseElement (platform/xml_parser.h) does it within
  // the parse limits, which a host may raise. Returns 0 for a packet handled or not this
  // session's, 1 for one that is not an element or could not be handled.
  virtual HRESULT STDMETHODCALLTYPE OnPacket(BSTR eventPath, IUnknown* packet, LONG reserved) = 0;

 protected:
  ~IPacketSink() = default;
};
inline const IID& InterfaceIdOf(IPacketSink**) noexcept { return IID_IPacketSink; }

}  // namespace quenlo
