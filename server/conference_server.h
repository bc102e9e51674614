#pragma once

#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "server/clock.h"
#include "server/delivery.h"
#include "server/room.h"

namespace quenlo::server {

// A stand-in for the conference server's voting and agenda services: XML text in, XML text out.
// Every call takes one lock, so a transport may call in from several threads.
class ConferenceServer {
 public:
  // Requests larger than this are dropped unread.
  static constexpr std::size_t kMaxRequestBytes = 64 * 1024;

  explicit ConferenceServer(Clock clock = &std::chrono::steady_clock::now);

  // False when a room of that address is already open.
  bool OpenRoom(const std::string& room_address);
  // `name` is the participant's voter name in registered votes. False when the room is not open.
  bool Join(const std::string& room_address, const std::string& address, const std::string& name);
  bool Leave(const std::string& room_address, const std::string& address);

  // Why a packet got no answer at all.
  enum class Drop {
    kNone,        // it was answered
    kTooLarge,    // over kMaxRequestBytes
    kMalformed,   // not well-formed, or holding what requests never hold (NUL, a document type)
    kNotRequest,  // well-formed, but not one iq of type "set" or "get"
  };

  // Handles one packet of `from_address` and gives what is to be sent in answer. Text that is
  // not a well-formed iq request ("set" or "get") is dropped: it gets no answer, and `drop`
  // (when given) says why, so that a transport can answer in its own protocol's terms.
  std::vector<Delivery> Receive(const std::string& from_address, std::string_view xml_text,
                                Drop* drop = nullptr);

  // Ends the votes whose time ran out, in every room, and gives the pushes announcing it.
  std::vector<Delivery> Tick();

 private:
  Clock clock_;
  std::mutex mutex_;
  std::map<std::string, Room, std::less<>> rooms_;
};

}  // namespace quenlo::server
