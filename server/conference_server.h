#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "server/clock.h"
#include "server/delivery.h"
#include "server/page_token.h"
#include "server/room.h"
#include "server/service_metrics.h"
#include "server/store.h"

namespace quenlo::server {

// The conference service's voting and agenda rooms: XML text in, XML text out. Every call
// takes one lock, so a transport may call in from several threads. Every call that changes
// something keeps its changes in the store in one transaction, committed before the call
// returns what is to be sent: nothing is announced that would be lost in a crash. When the
// store fails, the change is undone, the request gets an error reply (code 6) and the rooms are
// read back from the store; only a store that cannot even be read back makes a call throw
// StoreError, and then the service cannot go on.
class ConferenceServer {
 public:
  // Requests larger than this are dropped unread.
  static constexpr std::size_t kMaxRequestBytes = 64 * 1024;
  // The largest stanza sent unless the program says otherwise: below what the XMPP servers we
  // support accept from a component by default (Prosody 512 KiB; ejabberd no limit unless its
  // listener sets max_stanza_size), with a margin. A server that refuses a stanza closes the
  // component's connection, for every room, so nothing larger is ever sent.
  static constexpr std::size_t kDefaultMaxStanzaBytes = 448 * 1024;
  // Below this, answers to ordinary requests would not fit.
  static constexpr std::size_t kLeastMaxStanzaBytes = kMaxRequestBytes;

  // Loads the rooms `store` keeps, members included, and ends the votes that ran out meanwhile:
  // their ends are pushed to each member who joins again (or is found to be still there, which
  // the transport confirms by Join). The program chooses the store; it is never null.
  // Nothing the service gives to send is larger than `max_stanza_bytes` (see Receive); throws
  // std::invalid_argument when it is below kLeastMaxStanzaBytes.
  explicit ConferenceServer(std::unique_ptr<Store> store,
                            Clock clock = &std::chrono::system_clock::now,
                            std::size_t max_stanza_bytes = kDefaultMaxStanzaBytes);

  std::size_t max_stanza_bytes() const { return maxStanzaBytes_; }

  // False when a room of that address is already open.
  bool OpenRoom(const std::string& room_address);
  // Makes `owner` (an address; its normalised bare form counts) the room's owner, opening the
  // room first when needed. False when `owner` is not an XMPP address (NormalizedAddress) or the
  // store refused it.
  bool SetOwner(const std::string& room_address, const std::string& owner);
  // Null when the room is not open (or has no owner yet): the normalised bare address that owns
  // it.
  std::optional<std::string> OwnerOf(const std::string& room_address);

  // Why a participant was not let in.
  enum class JoinRefusal {
    kNone,         // they joined
    kUnknownRoom,  // the room is not open
    kNameTooLong,  // the name or nick over kMaxVoterNameBytes
    kNotStored,    // the store failed; nothing changed, joining again may work
  };

  // `address` is the transport's, as for Receive. `name` is the participant's voter name in
  // registered votes, `nick` its nick in the room (none in process). Nothing when they were not
  // let in, and `refusal` (when given) says why;
  // otherwise the pushes the participant missed (votes that ended while the service was down),
  // to be sent to them.
  std::optional<std::vector<Delivery>> Join(const std::string& room_address,
                                            const std::string& address, const std::string& name,
                                            const std::string& nick = {},
                                            JoinRefusal* refusal = nullptr);
  // False when `address` was no member (or the store refused it, and it still is).
  bool Leave(const std::string& room_address, const std::string& address);
  // Every member of every room, with its room's address: whom to ask, once connected, whether
  // they are still there, and whom to tell when the service stops.
  std::vector<std::pair<std::string, Member>> Members();

  // Why a packet got no answer at all.
  enum class Drop {
    kNone,        // it was answered
    kTooLarge,    // over kMaxRequestBytes
    kMalformed,   // not well-formed, or holding what requests never hold (NUL, a document type)
    kNotRequest,  // well-formed, but not one iq of type "set" or "get"
  };

  // Handles one packet of `from_address` and gives what is to be sent in answer. The sender is
  // `from_address` alone, as the transport vouches for it; a "from" inside the text is ignored.
  // An answer that would be larger than max_stanza_bytes() is replaced by an error reply (code
  // 7), and a change the request made is undone; a push that would be larger goes out as a
  // notice naming the vote or item alone. (Only an error reply carrying a request's own id and
  // qid back can still be larger, with a limit far below the default; a transport must not send
  // it.)
  // Text that is not a well-formed iq request ("set" or "get") is dropped: it gets no answer, and
  // `drop` (when given) says why, so that a transport can answer in its own protocol's terms.
  std::vector<Delivery> Receive(const std::string& from_address, std::string_view xml_text,
                                Drop* drop = nullptr);

  // Ends the votes whose time ran out, in every room, and gives the pushes announcing it.
  std::vector<Delivery> Tick();

  struct Census {
    std::size_t rooms = 0;
    std::size_t members = 0;  // who is in a room now, over all rooms
    VoteCounts votes{};       // over all rooms, by state
  };
  Census Count();

  // Counts every transaction from now on in `metrics`: its commit's time, or the store's
  // failure. `metrics` must outlive the service's use of it.
  void Measure(ServiceMetrics& metrics);

  // A consistent copy of the store in the new file `path`, taken between requests. Throws
  // StoreError when the store cannot write it (or backs up by other means).
  void BackupTo(const std::string& path);

  // Rooms' pages are served at `base_url` (e.g. "https://vote.example.net"): from now on an
  // owner's "page" request is answered with an address there.
  void ServePages(std::string base_url);
  // The page of the room whose page token is `token`, as it is now: nothing for a token that
  // is not (or no longer) any room's.
  std::optional<RoomPage> Page(std::string_view token);
  // A number that grows whenever something the room's page may show could have changed; nothing
  // for a token that is not (or no longer) any room's. Cheap enough to ask often.
  std::optional<std::uint64_t> PageRevision(std::string_view token);

 private:
  // Runs `change` in one store transaction. On a store failure, undoes it, reloads the rooms and
  // gives nothing; the caller answers accordingly. A RequestError leaving `change` is undone the
  // same way and passed on.
  template <typename Change>
  auto InTransaction(Change change) -> std::optional<decltype(change())>;
  void Undo();
  void LoadRooms();
  Room& OpenRoomLocked(const std::string& room_address);
  Room* RoomOfToken(std::string_view token);
  void Touch(const std::string& room_address);

  Clock clock_;
  std::size_t maxStanzaBytes_;
  std::unique_ptr<Store> store_;
  std::mutex mutex_;
  ServiceMetrics* metrics_ = nullptr;
  PageAddressing pages_;
  std::map<std::string, Room, std::less<>> rooms_;
  std::map<std::string, std::uint64_t, std::less<>> revisions_;
  // Page token -> room address, as last seen. The pages' listener asks for every open page many
  // times a second; an entry is trusted only while its room still has that token, and a token
  // it does not know makes it read the rooms' tokens again.
  std::map<std::string, std::string, std::less<>> roomOfToken_;
};

}  // namespace quenlo::server
