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
#include "server/room.h"
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

  // Loads the rooms `store` keeps, members included, and ends the votes that ran out meanwhile:
  // their ends are pushed to each member who joins again (or is found to be still there, which
  // the transport confirms by Join). The program chooses the store; it is never null.
  explicit ConferenceServer(std::unique_ptr<Store> store,
                            Clock clock = &std::chrono::system_clock::now);

  // False when a room of that address is already open.
  bool OpenRoom(const std::string& room_address);
  // Makes `owner` (an address; its bare form counts) the room's owner, opening the room first
  // when needed. False when the store refused it.
  bool SetOwner(const std::string& room_address, const std::string& owner);
  // Null when the room is not open (or has no owner yet): the bare address that owns it.
  std::optional<std::string> OwnerOf(const std::string& room_address);

  // `name` is the participant's voter name in registered votes, `nick` its nick in the room
  // (none in process). Nothing when the room is not open or the store refused the join;
  // otherwise the pushes the participant missed (votes that ended while the service was down),
  // to be sent to them.
  std::optional<std::vector<Delivery>> Join(const std::string& room_address,
                                            const std::string& address, const std::string& name,
                                            const std::string& nick = {});
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
  // Text that is not a well-formed iq request ("set" or "get") is dropped: it gets no answer, and
  // `drop` (when given) says why, so that a transport can answer in its own protocol's terms.
  std::vector<Delivery> Receive(const std::string& from_address, std::string_view xml_text,
                                Drop* drop = nullptr);

  // Ends the votes whose time ran out, in every room, and gives the pushes announcing it.
  std::vector<Delivery> Tick();

  struct Census {
    std::size_t rooms = 0;
    std::size_t members = 0;  // who is in a room now, over all rooms
  };
  Census Count();

  // A consistent copy of the store in the new file `path`, taken between requests. Throws
  // StoreError when the store cannot write it (or backs up by other means).
  void BackupTo(const std::string& path);

 private:
  // Runs `change` in one store transaction. On a store failure, undoes it, reloads the rooms and
  // gives nothing; the caller answers accordingly.
  template <typename Change>
  auto InTransaction(Change change) -> std::optional<decltype(change())>;
  void LoadRooms();
  Room& OpenRoomLocked(const std::string& room_address);

  Clock clock_;
  std::unique_ptr<Store> store_;
  std::mutex mutex_;
  std::map<std::string, Room, std::less<>> rooms_;
};

}  // namespace quenlo::server
