#include "server/conference_server.h"

#include <cstring>
#include <utility>

#include "server/packet_reader.h"
#include "server/packet_writer.h"
#include "server/request_error.h"

namespace quenlo::server {
namespace {

using Drop = ConferenceServer::Drop;

// Parses `xml_text` into `document` if it is one well-formed iq request; anything but kNone means
// the text cannot be answered at all, so it is dropped.
Drop ParseRequest(std::string_view xml_text, pugi::xml_document& document) {
  if (xml_text.size() > ConferenceServer::kMaxRequestBytes) return Drop::kTooLarge;
  if (xml_text.find('\0') != std::string_view::npos) return Drop::kMalformed;
  // The document type is kept only to be refused: requests never carry one, and a client's
  // stricter parser would not accept a relayed packet that needed it.
  if (!document.load_buffer(xml_text.data(), xml_text.size(),
                            pugi::parse_default | pugi::parse_doctype, pugi::encoding_utf8)) {
    return Drop::kMalformed;
  }
  int roots = 0;
  for (const pugi::xml_node node : document.children()) {
    if (node.type() == pugi::node_doctype) return Drop::kMalformed;
    if (node.type() == pugi::node_element) ++roots;
  }
  if (!HoldsOnlyXmlText(document)) return Drop::kMalformed;
  const pugi::xml_node iq = document.document_element();
  const std::string_view type = iq.attribute("type").value();
  const bool request =
      roots == 1 && std::strcmp(iq.name(), "iq") == 0 && (type == "set" || type == "get");
  return request ? Drop::kNone : Drop::kNotRequest;
}

}  // namespace

ConferenceServer::ConferenceServer(Clock clock) : clock_(std::move(clock)) {}

bool ConferenceServer::OpenRoom(const std::string& room_address) {
  std::lock_guard lock(mutex_);
  return rooms_.try_emplace(room_address, room_address).second;
}

bool ConferenceServer::Join(const std::string& room_address, const std::string& address,
                            const std::string& name) {
  std::lock_guard lock(mutex_);
  const auto room = rooms_.find(room_address);
  if (room == rooms_.end()) return false;
  room->second.Join(address, name);
  return true;
}

bool ConferenceServer::Leave(const std::string& room_address, const std::string& address) {
  std::lock_guard lock(mutex_);
  const auto room = rooms_.find(room_address);
  return room != rooms_.end() && room->second.Leave(address);
}

std::vector<Delivery> ConferenceServer::Receive(const std::string& from_address,
                                                std::string_view xml_text, Drop* drop) {
  pugi::xml_document document;
  const Drop reason = ParseRequest(xml_text, document);
  if (drop != nullptr) *drop = reason;
  if (reason != Drop::kNone) return {};
  const pugi::xml_node iq = document.document_element();
  const std::string room_address = iq.attribute("to").value();

  std::lock_guard lock(mutex_);
  const auto room = rooms_.find(room_address);
  if (room == rooms_.end()) {
    const RequestError error(ErrorCode::kUnknownRoom, "no room \"" + room_address + "\"");
    return {MakeErrorReply(room_address, from_address, iq, error)};
  }
  return room->second.Handle(from_address, iq, clock_());
}

std::vector<Delivery> ConferenceServer::Tick() {
  std::lock_guard lock(mutex_);
  const TimePoint now = clock_();
  std::vector<Delivery> deliveries;
  for (auto& [address, room] : rooms_) {
    std::vector<Delivery> pushes = room.EndExpiredVotes(now);
    deliveries.insert(deliveries.end(), std::make_move_iterator(pushes.begin()),
                      std::make_move_iterator(pushes.end()));
  }
  return deliveries;
}

}  // namespace quenlo::server
