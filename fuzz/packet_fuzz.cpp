// The packet path: arbitrary text parsed as a host parses it, then handed to an attached and a
// detached session of each product; every object announced is read through all its accessors.
// Besides "no crash, no leak", it checks what holds for any packet: OnPacket answers 0 or 1, a
// session announces at most once per packet and only on a path of its own product, only an
// attached session announces, and nobody sends. A small check of its own then rebuilds a clean
// reply and an error reply from the packet's query type and error code, and compares the path
// announced with the dispatch table written out below.
#include <platform/xml_parser.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "component/bstr.h"
#include "component/variant.h"
#include "fuzz_host.h"
#include "result_reader.h"

namespace quenlo::fuzz {
namespace {

struct Row {
  std::u16string_view queryType;
  std::u16string_view path;
};

constexpr std::array kVotingRows = {
    Row{u"apply", u"/voting/apply/ok"},   Row{u"showall", u"/voting/showall/ok"},
    Row{u"voting", u"/voting/voting/ok"}, Row{u"delete", u"/voting/delete/ok"},
    Row{u"refer", u"/voting/upload/ok"},  Row{u"content", u"/voting/getvoting/ok"},
    Row{u"start", u"/voting/start/ok"},   Row{u"end", u"/voting/end/ok"},
    Row{u"kithe", u"/voting/kithe/ok"},   Row{u"result", u"/voting/look/ok"},
};
constexpr std::array kAgendaRows = {
    Row{u"request", u"/agenda/request/ok"}, Row{u"create", u"/agenda/create/ok"},
    Row{u"delete", u"/agenda/delete/ok"},   Row{u"modify", u"/agenda/modify/ok"},
    Row{u"browse", u"/agenda/showall/ok"},  Row{u"sync", u"/agenda/sync/ok"},
};

char16_t LowerAscii(char16_t unit) {
  return unit >= u'A' && unit <= u'Z' ? static_cast<char16_t>(unit - u'A' + u'a') : unit;
}

bool EqualIgnoringAsciiCase(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t at = 0; at < a.size(); ++at) {
    if (LowerAscii(a[at]) != LowerAscii(b[at])) return false;
  }
  return true;
}

// The path a reply of that query type is announced on; none for a type not in the table.
std::optional<std::u16string_view> ExpectedPath(Product product, std::u16string_view queryType) {
  const auto check = [&](const auto& rows) -> std::optional<std::u16string_view> {
    for (const Row& row : rows) {
      if (EqualIgnoringAsciiCase(queryType, row.queryType)) return row.path;
    }
    return std::nullopt;
  };
  return product == Product::kVoting ? check(kVotingRows) : check(kAgendaRows);
}

bool IsOwnPath(Product product, std::u16string_view path) {
  const std::u16string_view error =
      product == Product::kVoting ? u"/voting/error" : u"/agenda/error";
  if (path == error) return true;
  const auto matches = [&](const auto& rows) {
    for (const Row& row : rows) {
      if (path == row.path) return true;
    }
    return false;
  };
  return product == Product::kVoting ? matches(kVotingRows) : matches(kAgendaRows);
}

class Sessions {
 public:
  explicit Sessions(Product product) : product_(product) {
    attached_ = NewSession(product);
    detached_ = NewSession(product);
    for (const ComPtr<IUnknown>& session : {attached_, detached_}) {
      const auto config = session.As<IConferenceSession>();
      Require(config->SetProperty(RoomProperty(product), kRoom) == S_OK, "the room can be set");
    }
    Require(attached_.As<IConferenceSession>()->Attach(&host_) == S_OK, "Attach answers 0");
    detachedSink_ = detached_.As<IPacketSink>();
    Require(static_cast<bool>(detachedSink_), "a session is a packet sink");
  }
  ~Sessions() { attached_.As<IConferenceSession>()->Detach(); }

  // Hands one packet to both sessions; what the attached one announced.
  std::vector<Announcement> Deliver(IXMLDOMElement* packet) {
    host_.announcements().clear();
    const HRESULT detached = detachedSink_->OnPacket(nullptr, packet, 0);
    Require(detached == S_OK || detached == S_FALSE, "OnPacket answers 0 or 1");
    Require(host_.announcements().empty(), "a detached session announces nothing");
    for (const HRESULT status : host_.Deliver(packet)) {
      Require(status == S_OK || status == S_FALSE, "OnPacket answers 0 or 1");
    }
    Require(host_.announcements().size() <= 1, "one packet, at most one announcement");
    Require(host_.sent().empty(), "a packet makes no session send");
    for (const Announcement& announcement : host_.announcements()) {
      Require(IsOwnPath(product_, announcement.path), "announced on a path of its own product");
      ReadEveryAccessor(announcement.result.Get());
    }
    return std::move(host_.announcements());
  }

  Product product() const { return product_; }

 private:
  Product product_;
  FuzzHost host_;
  ComPtr<IUnknown> attached_;
  ComPtr<IUnknown> detached_;
  ComPtr<IPacketSink> detachedSink_;
};

std::optional<std::u16string> Attribute(IXMLDOMElement* element, const OLECHAR* name) {
  Variant value;
  const Bstr attributeName = Bstr::Copy(name);
  if (element->getAttribute(attributeName.Get(), value.Put()) != S_OK ||
      value.Get().vt != VT_BSTR) {
    return std::nullopt;
  }
  return std::u16string(value.Get().bstrVal, SysStringLen(value.Get().bstrVal));
}

// The first element of that name below `root`, if any.
ComPtr<IXMLDOMElement> FirstBelow(IXMLDOMElement* root, const OLECHAR* name) {
  ComPtr<IXMLDOMNodeList> list;
  const Bstr tag = Bstr::Copy(name);
  if (root->getElementsByTagName(tag.Get(), list.Put()) != S_OK) return nullptr;
  ComPtr<IXMLDOMNode> node;
  if (list->get_item(0, node.Put()) != S_OK) return nullptr;
  return node.As<IXMLDOMElement>();
}

// Escaped for an attribute value or element text, so that the parser gives back exactly these
// units (a raw tab or line break in an attribute would come back as a blank).
std::u16string Escaped(std::u16string_view text) {
  std::u16string escaped;
  for (const char16_t unit : text) {
    switch (unit) {
      case u'&':
        escaped += u"&amp;";
        break;
      case u'<':
        escaped += u"&lt;";
        break;
      case u'>':
        escaped += u"&gt;";
        break;
      case u'"':
        escaped += u"&quot;";
        break;
      case u'\t':
        escaped += u"&#9;";
        break;
      case u'\n':
        escaped += u"&#10;";
        break;
      case u'\r':
        escaped += u"&#13;";
        break;
      default:
        escaped += unit;
    }
  }
  return escaped;
}

bool IsXmlSpace(char16_t unit) {
  return unit == u' ' || unit == u'\t' || unit == u'\n' || unit == u'\r';
}

// An element's text as the DOM reports it: without white space at its two ends.
std::u16string_view Trimmed(std::u16string_view text) {
  while (!text.empty() && IsXmlSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsXmlSpace(text.back())) text.remove_suffix(1);
  return text;
}

ComPtr<IXMLDOMElement> Parse(const std::u16string& text) {
  ComPtr<IXMLDOMDocument> document;
  Require(CoCreateInstance(CLSID_DOMDocument, nullptr, CLSCTX_ALL, IID_IXMLDOMDocument,
                           document.PutVoid()) == S_OK,
          "a DOM document can be made");
  const Bstr xml = Bstr::Copy(text);
  VARIANT_BOOL loaded = VARIANT_FALSE;
  document->loadXML(xml.Get(), &loaded);
  if (loaded != VARIANT_TRUE) return nullptr;
  ComPtr<IXMLDOMElement> root;
  document->get_documentElement(root.Put());
  return root;
}

// A reply from the room with an empty query of that type: announced on the table's path, or not
// at all for a type the table lacks.
void CheckCleanReply(Sessions& sessions, std::u16string_view queryType) {
  const ComPtr<IXMLDOMElement> reply =
      Parse(u"<iq type=\"result\" from=\"" + std::u16string(kRoom) + u"\"><query xmlns=\"" +
            NamespaceOf(sessions.product()) + u"\" type=\"" + Escaped(queryType) + u"\"/></iq>");
  if (!reply) return;  // a type the parser refuses as an attribute value
  const std::vector<Announcement> announced = sessions.Deliver(reply.Get());
  const std::optional<std::u16string_view> expected = ExpectedPath(sessions.product(), queryType);
  if (!expected) {
    Require(announced.empty(), "a query type outside the table announces nothing");
    return;
  }
  Require(announced.size() == 1 && announced.front().path == *expected,
          "a clean reply is announced on its table path");
  Require(static_cast<bool>(announced.front().result), "a clean reply announces an object");
}

// An error from any sender is announced as the product's error, carrying the code.
void CheckErrorReply(Sessions& sessions, std::u16string_view code) {
  const std::u16string escaped = Escaped(code);
  const ComPtr<IXMLDOMElement> error =
      Parse(u"<iq type=\"error\" from=\"elsewhere@example.org\"><query xmlns=\"" +
            std::u16string(NamespaceOf(sessions.product())) + u"\"/><error code=\"" + escaped +
            u"\"><code>" + escaped + u"</code></error></iq>");
  if (!error) return;
  const std::vector<Announcement> announced = sessions.Deliver(error.Get());
  const bool voting = sessions.product() == Product::kVoting;
  Require(announced.size() == 1 &&
              announced.front().path == (voting ? u"/voting/error" : u"/agenda/error"),
          "an error reply is announced as the product's error");
  Bstr delivered;
  HRESULT status = S_FALSE;
  if (voting) {
    status = announced.front().result.As<IVotingReply>()->GetCode(delivered.Put());
  } else {
    status = announced.front().result.As<IAgendaReply>()->GetCode(delivered.Put());
  }
  // The voting side reads the attribute, the agenda side the element's text.
  Require(status == S_OK && delivered.View() == (voting ? code : Trimmed(code)),
          "an error reply carries its code");
}

// One input, run inside the namespace so that the toolkit and the helpers above are in reach.
int RunOne(const std::uint8_t* data, std::size_t size) {
  ComPtr<IXMLDOMElement> packet;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  if (XmlParseElement(text, packet.Put()).status != XmlParseStatus::Ok) return 0;
  static Sessions* voting = new Sessions(Product::kVoting);
  static Sessions* agenda = new Sessions(Product::kAgenda);
  for (Sessions* sessions : {voting, agenda}) {
    sessions->Deliver(packet.Get());
    const ComPtr<IXMLDOMElement> query = FirstBelow(packet.Get(), u"query");
    if (const auto type = query ? Attribute(query.Get(), u"type") : std::nullopt) {
      CheckCleanReply(*sessions, *type);
    }
    const ComPtr<IXMLDOMElement> error = FirstBelow(packet.Get(), u"error");
    if (const auto code = error ? Attribute(error.Get(), u"code") : std::nullopt) {
      CheckErrorReply(*sessions, *code);
    }
  }
  return 0;
}

}  // namespace
}  // namespace quenlo::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return quenlo::fuzz::RunOne(data, size);
}
