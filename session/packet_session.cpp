#include "session/packet_session.h"

#include "component/bstr.h"
#include "component/ole_text.h"
#include "session/property_callback.h"
#include "xml/attribute_reader.h"
#include "xml/element_lookup.h"
#include "xml/packet_builder.h"
#include "xml/shared_document.h"

PacketSession::PacketSession(std::string roomNameProperty, const OLECHAR* queryNamespace)
    : roomNameProperty_(std::move(roomNameProperty)), queryNamespace_(queryNamespace) {
  DeclareProperty(
      roomNameProperty_, "",
      std::make_unique<MemberCallback<PacketSession>>(*this, &PacketSession::OnRoomNameChanged));
}

HRESULT STDMETHODCALLTYPE PacketSession::Attach(SessionHost* host) {
  if (host == nullptr) return E_POINTER;
  // A second Attach must not leave the first host delivering to this sink after it is gone.
  CancelSubscription();
  ConferenceSession::Attach(host);
  host->Subscribe(OLESTR("/packet"), Sink(), &cookie_);
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

void PacketSession::RaiseResult(const OLECHAR* eventPath, IUnknown* result) {
  Bstr path = Bstr::Copy(ViewOf(eventPath));
  Host()->RaiseEvent(path.Get(), 0, result);
}
