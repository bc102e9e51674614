// The shared session layer of the voting and agenda sessions, which differ in data (namespace,
// properties, dispatch table, result objects) but not in mechanism. It subscribes the session's
// packet sink to "/packet" while attached, caches the room address from the room-name property,
// filters incoming packets down to this session's replies and error replies, starts requests to
// the room, and announces result objects to the host.
#pragma once

#include <optional>
#include <string>

#include "component/com_ptr.h"
#include "component/result_object.h"
#include "session/conference_session.h"
#include "session/reply_routes.h"
#include "xml/packet_builder.h"
#include "xml/shared_document.h"

namespace quenlo::confext {

class PacketSession : public ConferenceSession,
                      public ForwardedInterface<PacketSession, IPacketSink> {
 public:
  // Also subscribes the packet sink to "/packet" (no reference is added for the host).
  HRESULT STDMETHODCALLTYPE Attach(SessionHost* host) override;
  // Cancels the subscription, if any, before dropping the host.
  HRESULT STDMETHODCALLTYPE Detach() override;

  // 0 when the packet was handled or is simply not this session's; 1 when it is not an XML
  // element, a DOM call failed, its query is in another namespace, or handling it failed.
  // Nothing escapes.
  HRESULT STDMETHODCALLTYPE OnPacket(BSTR eventPath, IUnknown* packet, LONG reserved) override;

 protected:
  // Declares the room-name property (default "", its callback caches the room address).
  // queryNamespace names this session type's packets ("quenlo:conf:voting").
  // routes name the result object and event path of each reply.
  PacketSession(const OLECHAR* roomNameProperty, const OLECHAR* queryNamespace,
                const ReplyRoutes& routes);
  ~PacketSession() override = default;

  IPacketSink* Sink() noexcept { return this; }

  // An accepted reply from the room whose query is in this session's namespace: announced
  // through the route its query type names.
  virtual void HandleReply(IXMLDOMElement* iq, IXMLDOMElement* query, OleStringView queryNamespace);
  // An error reply (any sender) whose query is in this session's namespace: announced over its
  // "error" element.
  virtual void HandleErrorReply(IXMLDOMElement* iq);

  // The envelope of one request being built: a command writes its body into query. The lease is
  // declared first so that it is let go last, after every element of the request (the command's
  // own locals included) is released.
  struct Request {
    SharedDocument::Lease lease;
    ComPtr<IXMLDOMElement> iq;
    ElementWriter query;
  };
  // The common start of every sending command: nothing when the session has no room address or
  // no host; otherwise "iq" (type "set", to the room, the given id) with its "query" (the given
  // type, this session's namespace), whose writer has failed when the envelope cannot be built.
  // Allocation failures leave as _com_error.
  std::optional<Request> BeginRequest(const OLECHAR* id, const OLECHAR* queryType) const;
  // Hands the finished request to the host (its result is not examined) and returns 0; 1 and
  // nothing sent when any part of it failed to build or the host is gone.
  HRESULT Send(const Request& request) const;

  // The request bodies several commands share: nothing, or one "qid".
  HRESULT SendEmpty(const OLECHAR* id, const OLECHAR* queryType);
  HRESULT SendQid(const OLECHAR* id, const OLECHAR* queryType, const OLECHAR* qid);

  // Makes the result object over element and announces it under eventPath with one reference
  // held for the duration of the call. Nothing is made or raised while detached; any failure
  // (allocation, conversion, Load) is swallowed and nothing is announced; an object that
  // cannot be allocated is announced as null.
  void Announce(FixedName eventPath, ResultMaker make, IXMLDOMElement* element) noexcept;

 private:
  HRESULT FilterPacket(IUnknown* packet);
  void CancelSubscription();
  void OnRoomNameChanged();

  const std::string roomNameProperty_;
  const OLECHAR* const queryNamespace_;
  const ReplyRoutes routes_;
  ULONG cookie_ = 0;
  std::optional<Bstr> roomName_;
};

}  // namespace quenlo::confext
