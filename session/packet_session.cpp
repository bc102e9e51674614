#include "session/packet_session.h"

#include <quenlo/names.h>

#include "component/bstr.h"
#include "component/ole_text.h"
#include "session/ansi_text.h"
#include "session/property_callback.h"
#include "xml/attribute_reader.h"
#include "xml/element_lookup.h"
#include "xml/packet_builder.h"
#include "xml/shared_document.h"

PacketSession::PacketSession(const OLECHAR* roomNameProperty, const OLECHAR* queryNamespace,
                             const ReplyRoutes& routes)
    : roomNameProperty_(ToAnsi(ViewOf(roomNameProperty))),
      queryNamespace_(queryNamespace),
      routes_(routes) {
  DeclareProperty(
      roomNameProperty_, "",
      std::make_unique<MemberCallback<PacketSession>>(*this, &PacketSession::OnRoomNameChanged));
}

HRESULT STDMETHODCALLTYPE PacketSession::Attach(SessionHost* host) {
  if (host == nullptr) return E_POINTER;
  // A second Attach must not leave the first host delivering to this sink after it is gone.
  CancelSubscription();
  ConferenceSession::Attach(host);
  host->Subscribe(kPacketEvent, Sink(), &cookie_);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE PacketSession::Detach() {
  CancelSubscription();
  return ConferenceSession::Detach();
}

void PacketSession::CancelSubscription() {
  if (cookie_ != 0 && Host() != nullptr) Host()->Unsubscribe(cookie_);
  cookie_ = 0;
}

HRESULT STDMETHODCALLTYPE PacketSession::OnPacket(BSTR /*eventPath*/, IUnknown* packet,
                                                  LONG /*reserved*/) {
  try {
    return FilterPacket(packet);
  } catch (...) {
    return S_FALSE;
  }
}

HRESULT PacketSession::FilterPacket(IUnknown* packet) {
  const ComPtr<IXMLDOMElement> iq = QueryFrom<IXMLDOMElement>(packet);
  if (!iq) return S_FALSE;

  Bstr tag;
  if (FAILED(iq->get_tagName(tag.Put()))) return S_FALSE;
  if (!EqualsIgnoringAsciiCase(tag.View(), OLESTR("iq"))) return S_OK;

  const std::optional<Bstr> type = FindAttributeText(iq.Get(), OLESTR("type"));
  const bool isError = type && EqualsIgnoringAsciiCase(type->View(), OLESTR("error"));
  if (!isError) {
    // Ordinary replies count only when they come from exactly this session's room.
    const std::optional<Bstr> from = FindAttributeText(iq.Get(), OLESTR("from"));
    if (!from || !roomName_ || from->View() != roomName_->View()) return S_OK;
  }

  const ComPtr<IXMLDOMElement> query = FindElement(iq.Get(), OLESTR("query"));
  if (!query) return S_OK;
  Bstr uri;
  if (!GetNamespace(query.Get(), uri)) return S_FALSE;
  if (!EqualsIgnoringAsciiCase(uri.View(), ViewOf(queryNamespace_))) return S_FALSE;

  if (isError) {
    HandleErrorReply(iq.Get());
  } else {
    HandleReply(iq.Get(), query.Get(), WideString::FromWide(uri.View()));
  }
  return S_OK;
}

void PacketSession::OnRoomNameChanged() {
  // Emptied first, so that a failure below leaves no stale address behind.
  roomName_ = WideString::FromWide(OleStringView{});
  const std::optional<std::string> value = GetPropertyText(roomNameProperty_);
  if (value) roomName_ = WideString::FromAnsi(*value);
  if (!value || value->empty()) SharedDocument::Release();
}

std::optional<PacketSession::Request> PacketSession::BeginRequest(const OLECHAR* id,
                                                                  const OLECHAR* queryType) const {
  if (!roomName_ || roomName_->IsEmpty() || Host() == nullptr) return std::nullopt;
  Request request;
  request.lease = SharedDocument::Lock();
  request.iq = CreateIq(roomName_->View(), OLESTR("set"), id);
  if (!request.iq) return std::nullopt;
  request.query = AddQuery(request.iq.Get(), queryNamespace_, queryType);
  if (!request.query) return std::nullopt;
  return request;
}

HRESULT PacketSession::Send(const Request& request) const {
  if (Host() == nullptr) return S_FALSE;
  Host()->SendPacket(request.iq.Get());
  return S_OK;
}

HRESULT PacketSession::SendEmpty(const OLECHAR* id, const OLECHAR* queryType) {
  auto request = BeginRequest(id, queryType);
  if (!request) return S_FALSE;
  return Send(*request);
}

HRESULT PacketSession::SendQid(const OLECHAR* id, const OLECHAR* queryType, const OLECHAR* qid) {
  auto request = BeginRequest(id, queryType);
  if (!request) return S_FALSE;
  if (!AddChild(request->query.Get(), OLESTR("qid"), qid)) return S_FALSE;
  return Send(*request);
}

// The type is read as a variant: an absent attribute is not told apart from a present one, its
// null value does not convert and leaves as _com_error, which the packet filter reports as a
// failed packet. A failed DOM call announces nothing.
void PacketSession::HandleReply(IXMLDOMElement* /*iq*/, IXMLDOMElement* query,
                                const WideString& /*queryNamespace*/) {
  Variant typeValue;
  if (!ReadAttribute(query, OLESTR("type"), typeValue)) return;
  const WideString type = WideString::FromVariant(typeValue.Get());
  for (const ReplyRoute& route : routes_.replies) {
    if (EqualsIgnoringAsciiCase(type.View(), ViewOf(route.queryType))) {
      Announce(route.eventPath, route.make, query);
      return;
    }
  }
}

void PacketSession::HandleErrorReply(IXMLDOMElement* iq) {
  const ComPtr<IXMLDOMElement> error = FindElement(iq, OLESTR("error"));
  if (error) Announce(routes_.errorPath, routes_.makeError, error.Get());
}

void PacketSession::Announce(const OLECHAR* eventPath, ResultMaker make,
                             IXMLDOMElement* element) noexcept {
  if (Host() == nullptr || make == nullptr) return;
  try {
    const ComPtr<IUnknown> result = make(element);
    const Bstr path = Bstr::Copy(ViewOf(eventPath));
    Host()->RaiseEvent(path.Get(), 0, result.Get());
  } catch (...) {
    // A reply that cannot be turned into its result object is not announced.
  }
}
