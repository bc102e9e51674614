// The conference service: request text from several participants of one room (and one outsider),
// with the clock moved forward now and then. Besides "no crash, no leak": every well-formed "set"
// or "get" iq within the size limit is answered exactly once, to its sender, with its id, as a
// result or an error; no other iq is answered; every packet the service sends is an iq that
// parses.
//
// Input, one step a line: "N|TEXT" sends TEXT from participant N (0 to 2 have joined, 0 owns
// the room, 3 has not joined), "tick|SECONDS" moves the clock and lets votes time out.
#include <platform/xml_parser.h>

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "component/bstr.h"
#include "component/com_ptr.h"
#include "component/variant.h"
#include "server/conference_server.h"
#include "server/sqlite_store.h"

namespace quenlo::fuzz {
namespace {

constexpr std::string_view kRoom = "board@conference.example";
const std::string kAddresses[] = {"ann@example.org/desk", "bob@example.org/laptop",
                                  "cy@example.org/phone", "eve@example.org/outside"};
constexpr std::size_t kMaxSteps = 48;

void Require(bool condition, const char* check, std::string_view request = {},
             std::string_view answer = {}) {
  if (condition) return;
  std::fprintf(stderr, "fuzz check failed: %s\nrequest: %.*s\nanswer: %.*s\n", check,
               static_cast<int>(request.size()), request.data(), static_cast<int>(answer.size()),
               answer.data());
  std::abort();
}

std::string Attribute(IXMLDOMElement* element, const OLECHAR* name) {
  Variant value;
  const Bstr attributeName = Bstr::Copy(name);
  std::string text = "<absent>";
  if (element->getAttribute(attributeName.Get(), value.Put()) == S_OK &&
      value.Get().vt == VT_BSTR) {
    text.clear();
    for (const OLECHAR unit :
         OleStringView(value.Get().bstrVal, SysStringLen(value.Get().bstrVal))) {
      // Enough to compare ids and types: every unit written out as a number.
      text += std::to_string(unit) + ",";
    }
  }
  return text;
}

std::string Ascii(std::string_view text) {
  std::string units;
  for (const char c : text) units += std::to_string(static_cast<unsigned char>(c)) + ",";
  return units;
}

struct Packet {
  bool parsed = false;
  std::string tag;
  std::string type;
  std::string id;
};

Packet Read(std::string_view text) {
  ComPtr<IXMLDOMElement> root;
  if (XmlParseElement(text, root.Put()).status != XmlParseStatus::Ok) return {};
  Bstr tag;
  root->get_tagName(tag.Put());
  std::string tagText;
  for (const OLECHAR unit : tag.View()) tagText += static_cast<char>(unit < 0x80 ? unit : '?');
  return {true, tagText, Attribute(root.Get(), u"type"), Attribute(root.Get(), u"id")};
}

void Send(quenlo::server::ConferenceServer& server, std::size_t sender, std::string_view text) {
  const Packet request = Read(text);
  const bool withinLimit = text.size() <= quenlo::server::ConferenceServer::kMaxRequestBytes;
  const bool iq = request.parsed && request.tag == "iq" && withinLimit;
  const bool answerable = iq && (request.type == Ascii("set") || request.type == Ascii("get"));
  int answers = 0;
  for (const quenlo::server::Delivery& delivery : server.Receive(kAddresses[sender], text)) {
    const Packet sent = Read(delivery.xml);
    Require(sent.parsed && sent.tag == "iq", "every packet sent is an iq that parses", text,
            delivery.xml);
    if (delivery.to != kAddresses[sender]) continue;
    if (sent.type != Ascii("result") && sent.type != Ascii("error")) continue;
    ++answers;
    if (answerable) {
      Require(sent.id == request.id, "an answer carries the request's id (none for none)", text,
              delivery.xml);
    }
  }
  // Text a strict parser refuses may still be read by the service's more lenient one: it gets
  // an answer or none, never two. A result or an error is never answered, so that two services
  // cannot loop.
  if (answerable) {
    Require(answers == 1, "a set or get is answered once", text);
  } else if (iq) {
    Require(answers == 0, "a result, an error or another iq type is never answered", text);
  } else {
    Require(answers <= 1, "unreadable text is answered at most once", text);
  }
}

// One input, run inside the namespace so that the toolkit and the helpers above are in reach.
int RunOne(const std::uint8_t* data, std::size_t size) {
  quenlo::server::TimePoint now{};
  quenlo::server::ConferenceServer server(std::make_unique<quenlo::server::SqliteStore>(":memory:"),
                                          [&now] { return now; });
  server.SetOwner(std::string(kRoom), kAddresses[0]);
  const char* names[] = {"Ann", "Bob", "Cy"};
  for (std::size_t participant = 0; participant < 3; ++participant) {
    server.Join(std::string(kRoom), kAddresses[participant], names[participant]);
  }

  std::string_view input(reinterpret_cast<const char*>(data), size);
  for (std::size_t step = 0; step < kMaxSteps && !input.empty(); ++step) {
    const std::size_t end = input.find('\n');
    const std::string_view line = input.substr(0, end);
    input = end == std::string_view::npos ? std::string_view() : input.substr(end + 1);
    const std::size_t bar = line.find('|');
    if (bar == std::string_view::npos) continue;
    const std::string_view who = line.substr(0, bar);
    const std::string_view text = line.substr(bar + 1);
    if (who == "tick") {
      unsigned seconds = 0;
      std::from_chars(text.data(), text.data() + text.size(), seconds);
      now += std::chrono::seconds(seconds);
      for (const quenlo::server::Delivery& push : server.Tick()) {
        Require(Read(push.xml).parsed, "every push parses");
      }
    } else if (who.size() == 1 && who[0] >= '0' && who[0] <= '3') {
      Send(server, static_cast<std::size_t>(who[0] - '0'), text);
    }
  }
  return 0;
}

}  // namespace
}  // namespace quenlo::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return quenlo::fuzz::RunOne(data, size);
}
