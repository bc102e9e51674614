#include "session/packet_session.h"

#include <quenlo/names.h>

#include "component/bstr.h"
#include "component/ole_text.h"
#include "session/ansi_text.h"
#include "session/property_callback.h"
#include "xml/dom_name.h"
#include "xml/element_handle.h"
#include "xml/shared_document.h"

namespace quenlo::confext {

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

// A failed DOM call refuses the packet (1); an attribute that is there but does not convert to
// text raises, which OnPacket reports the same way.
HRESULT PacketSession::FilterPacket(IUnknown* packet) {
  const ElementHandle iq(QueryFrom<IXMLDOMElement>(packet));
  if (!iq) return S_FALSE;

  const std::optional<Bstr> tag = iq.TagName();
  if (!tag) return S_FALSE;
  if (!EqualsIgnoringAsciiCase(tag->View(), OLESTR("iq"))) return S_OK;

  const AttributeValue type = iq.Attribute(OLESTR("type"));
  if (type.Failed()) return S_FALSE;
  const bool isError = type.Present() && EqualsIgnoringAsciiCase(type.Text(), OLESTR("error"));
  if (!isError) {
    // Ordinary replies count only when they come from exactly this session's room.
    const AttributeValue from = iq.Attribute(OLESTR("from"));
    if (from.Failed()) return S_FALSE;
    if (!from.Present() || !roomName_ || from.Text() != roomName_->View()) return S_OK;
  }

  const ElementHandle query = iq.First(OLESTR("query"));
  if (!query) return S_OK;
  std::optional<Bstr> uri = query.NamespaceUri();
  if (!uri) return S_FALSE;
  if (!EqualsIgnoringAsciiCase(uri->View(), ViewOf(queryNamespace_))) return S_FALSE;

  if (isError) {
    HandleErrorReply(iq.Get());
  } else {
    HandleReply(iq.Get(), query.Get(), uri->View());
  }
  return S_OK;
}

void PacketSession::OnRoomNameChanged() {
  // Emptied first, so that a failure below leaves no stale address behind.
  roomName_.emplace();
  const std::optional<std::string> value = GetPropertyText(roomNameProperty_);
  if (value) roomName_ = AnsiToBstr(*value);
  if (!value || value->empty()) SharedDocument::Release();
}

std::optional<PacketSession::Request> PacketSession::BeginRequest(const OLECHAR* id,
                                                                  const OLECHAR* queryType) const {
  if (!roomName_ || roomName_->View().empty() || Host() == nullptr) return std::nullopt;
  SharedDocument::Lease lease = SharedDocument::Lock();
  Bstr scratch;  // one string for every text of the request
  ComPtr<IXMLDOMElement> iq = CreateIq(roomName_->View(), OLESTR("set"), id, scratch);
  ComPtr<IXMLDOMElement> query = AddQuery(iq.Get(), queryNamespace_, queryType, scratch);
  return Request{std::move(lease), std::move(iq),
                 ElementWriter(std::move(query), std::move(scratch))};
}

HRESULT PacketSession::Send(const Request& request) const {
  if (!request.query.Ok() || Host() == nullptr) return S_FALSE;
  Host()->SendPacket(request.iq.Get());
  return S_OK;
}

HRESULT PacketSession::SendEmpty(const OLECHAR* id, const OLECHAR* queryType) {
  const auto request = BeginRequest(id, queryType);
  return request ? Send(*request) : S_FALSE;
}

HRESULT PacketSession::SendQid(const OLECHAR* id, const OLECHAR* queryType, const OLECHAR* qid) {
  auto request = BeginRequest(id, queryType);
  if (!request) return S_FALSE;
  request->query.Add(OLESTR("qid"), qid);
  return Send(*request);
}

// The type is read as a variant: an absent attribute is not told apart from a present one, its
// null value does not convert and leaves as _com_error, which the packet filter reports as a
// failed packet. A failed DOM call announces nothing.
void PacketSession::HandleReply(IXMLDOMElement* /*iq*/, IXMLDOMElement* query,
                                OleStringView /*queryNamespace*/) {
  const AttributeValue type = ElementHandle(query).Attribute(OLESTR("type"));
  if (type.Failed()) return;
  const OleStringView typeText = type.Text();
  for (const ReplyRoute& route : routes_.replies) {
    if (EqualsIgnoringAsciiCase(typeText, ViewOf(route.queryType))) {
      Announce(route.eventPath, route.make, query);
      return;
    }
  }
}

void PacketSession::HandleErrorReply(IXMLDOMElement* iq) {
  const ElementHandle error = ElementHandle(iq).First(OLESTR("error"));
  if (error) Announce(routes_.errorPath, routes_.makeError, error.Get());
}

void PacketSession::Announce(FixedName eventPath, ResultMaker make,
                             IXMLDOMElement* element) noexcept {
  if (Host() == nullptr || make == nullptr) return;
  try {
    const ComPtr<IUnknown> result = make(element);
    const DomName path(eventPath);
    Host()->RaiseEvent(path.Get(), 0, result.Get());
  } catch (...) {
    // A reply that cannot be turned into its result object is not announced.
  }
}

}  // namespace quenlo::confext
