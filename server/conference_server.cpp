#include "server/conference_server.h"

#include <chrono>
#include <cstring>
#include <stdexcept>
#include <utility>

#include "server/address.h"
#include "server/limits.h"
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
  // stricter parser would not accept a relayed packet that needed it. Text around the root is
  // kept (as a fragment) for the same reason: pugixml would otherwise skip it silently.
  if (!document.load_buffer(xml_text.data(), xml_text.size(),
                            pugi::parse_default | pugi::parse_doctype | pugi::parse_fragment,
                            pugi::encoding_utf8)) {
    return Drop::kMalformed;
  }
  int roots = 0;
  for (const pugi::xml_node node : document.children()) {
    if (node.type() == pugi::node_doctype || node.type() == pugi::node_pcdata ||
        node.type() == pugi::node_cdata) {
      return Drop::kMalformed;
    }
    if (node.type() == pugi::node_element) ++roots;
  }
  if (!HoldsOnlyXmlText(document)) return Drop::kMalformed;
  const pugi::xml_node iq = document.document_element();
  const std::string_view type = iq.attribute("type").value();
  const bool request =
      roots == 1 && std::strcmp(iq.name(), "iq") == 0 && (type == "set" || type == "get");
  return request ? Drop::kNone : Drop::kNotRequest;
}

void Append(std::vector<Delivery>& deliveries, std::vector<Delivery>&& more) {
  deliveries.insert(deliveries.end(), std::make_move_iterator(more.begin()),
                    std::make_move_iterator(more.end()));
}

}  // namespace

ConferenceServer::ConferenceServer(std::unique_ptr<Store> store, Clock clock,
                                   std::size_t max_stanza_bytes)
    : clock_(std::move(clock)), maxStanzaBytes_(max_stanza_bytes), store_(std::move(store)) {
  if (maxStanzaBytes_ < kLeastMaxStanzaBytes) {
    throw std::invalid_argument("the largest stanza must be at least " +
                                std::to_string(kLeastMaxStanzaBytes) + " bytes");
  }
  LoadRooms();
  const TimePoint now = clock_();
  InTransaction([&] {
    for (auto& [address, room] : rooms_) room.EndVotesExpiredWhileDown(now);
    return true;
  });
}

template <typename Change>
auto ConferenceServer::InTransaction(Change change) -> std::optional<decltype(change())> {
  try {
    store_->Begin();
    auto result = change();
    const auto committing = std::chrono::steady_clock::now();
    store_->Commit();
    if (metrics_ != nullptr) metrics_->CountCommit(std::chrono::steady_clock::now() - committing);
    return result;
  } catch (const StoreError&) {
    if (metrics_ != nullptr) metrics_->CountStoreFailure();
    Undo();
    return std::nullopt;
  } catch (const RequestError&) {
    Undo();
    throw;
  }
}

void ConferenceServer::Undo() {
  try {
    store_->Rollback();
  } catch (const StoreError&) {
    // Reading the store back below tells whether it can still be used.
  }
  LoadRooms();
}

// Reads every room from the store, members included, so that after a failed change the meeting
// goes on from what the store holds.
void ConferenceServer::LoadRooms() {
  std::vector<RoomRecord> records = store_->LoadRooms();
  auto previous = std::move(rooms_);
  rooms_.clear();
  for (const RoomRecord& record : records) {
    Room& room =
        rooms_.try_emplace(record.address, *store_, record, maxStanzaBytes_, pages_).first->second;
    Touch(record.address);
    const auto before = previous.find(record.address);
    if (before != previous.end()) room.TakeOverFrom(before->second);
  }
}

Room& ConferenceServer::OpenRoomLocked(const std::string& room_address) {
  const auto found = rooms_.find(room_address);
  if (found != rooms_.end()) return found->second;
  store_->SaveRoom(room_address, "");
  RoomRecord record;
  record.address = room_address;
  return rooms_.try_emplace(room_address, *store_, record, maxStanzaBytes_, pages_).first->second;
}

bool ConferenceServer::OpenRoom(const std::string& room_address) {
  std::lock_guard lock(mutex_);
  if (rooms_.contains(room_address)) return false;
  return InTransaction([&] { return &OpenRoomLocked(room_address); }).has_value();
}

bool ConferenceServer::SetOwner(const std::string& room_address, const std::string& owner) {
  if (!NormalizedAddress(owner)) return false;
  std::lock_guard lock(mutex_);
  Touch(room_address);
  return InTransaction([&] {
           OpenRoomLocked(room_address).SetOwner(owner);
           return true;
         })
      .has_value();
}

std::optional<std::string> ConferenceServer::OwnerOf(const std::string& room_address) {
  std::lock_guard lock(mutex_);
  const auto room = rooms_.find(room_address);
  if (room == rooms_.end() || room->second.owner().empty()) return std::nullopt;
  return room->second.owner();
}

std::optional<std::vector<Delivery>> ConferenceServer::Join(const std::string& room_address,
                                                            const std::string& address,
                                                            const std::string& name,
                                                            const std::string& nick,
                                                            JoinRefusal* refusal) {
  const auto refuse = [&](JoinRefusal why) -> std::optional<std::vector<Delivery>> {
    if (refusal != nullptr) *refusal = why;
    return std::nullopt;
  };
  if (name.size() > kMaxVoterNameBytes || nick.size() > kMaxVoterNameBytes) {
    return refuse(JoinRefusal::kNameTooLong);
  }
  std::lock_guard lock(mutex_);
  const auto room = rooms_.find(room_address);
  if (room == rooms_.end()) return refuse(JoinRefusal::kUnknownRoom);
  Touch(room_address);
  auto missed = InTransaction([&] { return room->second.Join({address, name, nick}); });
  return missed ? std::move(missed) : refuse(JoinRefusal::kNotStored);
}

ConferenceServer::Census ConferenceServer::Count() {
  std::lock_guard lock(mutex_);
  Census census{.rooms = rooms_.size()};
  for (const auto& [address, room] : rooms_) {
    census.members += room.members().size();
    room.CountVotes(census.votes);
  }
  return census;
}

void ConferenceServer::Measure(ServiceMetrics& metrics) {
  std::lock_guard lock(mutex_);
  metrics_ = &metrics;
}

void ConferenceServer::BackupTo(const std::string& path) {
  std::lock_guard lock(mutex_);
  store_->BackupTo(path);
}

bool ConferenceServer::Leave(const std::string& room_address, const std::string& address) {
  std::lock_guard lock(mutex_);
  const auto room = rooms_.find(room_address);
  if (room == rooms_.end()) return false;
  Touch(room_address);
  return InTransaction([&] { return room->second.Leave(address); }).value_or(false);
}

std::vector<std::pair<std::string, Member>> ConferenceServer::Members() {
  std::lock_guard lock(mutex_);
  std::vector<std::pair<std::string, Member>> members;
  for (const auto& [address, room] : rooms_) {
    for (const Member& member : room.members()) members.emplace_back(address, member);
  }
  return members;
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
  const TimePoint now = clock_();
  Touch(room_address);
  try {
    if (auto answer = InTransaction([&] { return room->second.Handle(from_address, iq, now); })) {
      return std::move(*answer);
    }
  } catch (const RequestError& undone) {
    return {MakeErrorReply(room_address, from_address, iq, undone)};
  }
  const RequestError error(ErrorCode::kNotStored,
                           "the service could not keep the change; nothing changed");
  return {MakeErrorReply(room_address, from_address, iq, error)};
}

std::vector<Delivery> ConferenceServer::Tick() {
  std::lock_guard lock(mutex_);
  const TimePoint now = clock_();
  auto pushes = InTransaction([&] {
    std::vector<Delivery> deliveries;
    for (auto& [address, room] : rooms_) {
      std::vector<Delivery> ends = room.EndExpiredVotes(now);
      if (!ends.empty()) Touch(address);
      Append(deliveries, std::move(ends));
    }
    return deliveries;
  });
  return pushes ? std::move(*pushes) : std::vector<Delivery>{};
}

void ConferenceServer::ServePages(std::string base_url) {
  std::lock_guard lock(mutex_);
  pages_.base_url = std::move(base_url);
}

void ConferenceServer::Touch(const std::string& room_address) { ++revisions_[room_address]; }

Room* ConferenceServer::RoomOfToken(std::string_view token) {
  if (token.empty()) return nullptr;
  auto known = roomOfToken_.find(token);
  if (known == roomOfToken_.end()) {
    roomOfToken_.clear();
    for (const auto& [address, room] : rooms_) {
      if (!room.page_token().empty()) roomOfToken_.emplace(room.page_token(), address);
    }
    known = roomOfToken_.find(token);
    if (known == roomOfToken_.end()) return nullptr;
  }
  const auto room = rooms_.find(known->second);
  if (room == rooms_.end() || room->second.page_token() != token) return nullptr;
  return &room->second;
}

std::optional<RoomPage> ConferenceServer::Page(std::string_view token) {
  std::lock_guard lock(mutex_);
  const Room* room = RoomOfToken(token);
  if (room == nullptr) return std::nullopt;
  RoomPage page = room->Page();
  page.taken_at = clock_();
  return page;
}

std::optional<std::uint64_t> ConferenceServer::PageRevision(std::string_view token) {
  std::lock_guard lock(mutex_);
  const Room* room = RoomOfToken(token);
  if (room == nullptr) return std::nullopt;
  return revisions_[room->address()];
}

}  // namespace quenlo::server
