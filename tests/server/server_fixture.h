#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <pugixml.hpp>
#include <string>
#include <vector>

#include "server/conference_server.h"
#include "server/store.h"

namespace quenlo::server::testing {

// A delivery parsed back, so that tests read replies the way a client would.
struct Packet {
  std::string to;
  pugi::xml_document document;

  pugi::xml_node iq() const { return document.child("iq"); }
  pugi::xml_node query() const { return iq().child("query"); }
  std::string type() const { return iq().attribute("type").value(); }
  std::string text(const char* name) const { return query().child(name).text().get(); }
  // The code of an error reply, after checking that attribute and element agree.
  int ErrorCode() const;
};

// A room with three participants (Ann joins first, so she owns it) and a clock the test moves
// by hand.
class ServerTest : public ::testing::Test {
 protected:
  static constexpr char kRoom[] = "room@conference.example";
  static constexpr char kAnn[] = "ann@example.org/desk";
  static constexpr char kBob[] = "bob@example.org/laptop";
  static constexpr char kCid[] = "cid@example.org/phone";

  ServerTest();

  // Stops the service and starts a new one on `store` (in memory when null), as a restart
  // would; nobody has joined it yet.
  void Restart(std::unique_ptr<Store> store,
               std::size_t max_stanza_bytes = ConferenceServer::kDefaultMaxStanzaBytes);
  // Ann, Bob and Cid join the room, in that order; gives what the service sends them on joining.
  std::vector<Packet> JoinAll();

  // Sends `from` an iq "set" to the room whose query has `type` in `xml_namespace` and the
  // given body, and parses everything the server sends back.
  std::vector<Packet> Send(const std::string& from, const char* xml_namespace,
                           const std::string& type, const std::string& body = "",
                           const std::string& id = "r1");
  std::vector<Packet> Voting(const std::string& from, const std::string& type,
                             const std::string& body = "");
  std::vector<Packet> Agenda(const std::string& from, const std::string& type,
                             const std::string& body = "");

  // Applies for a vote and uploads it with subjects "1"=Yes, "2"=No, "3"=Maybe; gives its qid.
  std::string ReferVote(bool multi, bool reg, const std::string& timeout = "");
  std::vector<Packet> Ballot(const std::string& from, const std::string& qid,
                             const std::vector<std::string>& indexes);

  static std::vector<Packet> ParseAll(const std::vector<Delivery>& deliveries);
  // The one packet in `packets` addressed to `to`; taken out of a temporary list.
  static const Packet& To(const std::vector<Packet>& packets, const std::string& to);
  static Packet To(std::vector<Packet>&& packets, const std::string& to);

 private:
  static std::size_t IndexOf(const std::vector<Packet>& packets, const std::string& to);

 protected:
  TimePoint now_{};
  std::unique_ptr<ConferenceServer> server_;
};

}  // namespace quenlo::server::testing
