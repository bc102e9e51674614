#include "server_fixture.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

#include "server/namespaces.h"
#include "server/sqlite_store.h"

namespace quenlo::server::testing {

int Packet::ErrorCode() const {
  const pugi::xml_node error = iq().child("error");
  EXPECT_EQ(std::string(error.attribute("code").value()), error.child("code").text().get());
  return error.attribute("code").as_int(-1);
}

ServerTest::ServerTest() {
  Restart(nullptr);
  server_->OpenRoom(kRoom);
  JoinAll();
}

void ServerTest::Restart(std::unique_ptr<Store> store, std::size_t max_stanza_bytes) {
  server_.reset();
  if (!store) store = std::make_unique<SqliteStore>(":memory:");
  server_ = std::make_unique<ConferenceServer>(
      std::move(store), [this] { return now_; }, max_stanza_bytes);
}

std::vector<Packet> ServerTest::JoinAll() {
  std::vector<Delivery> deliveries;
  for (const auto& [address, name] : {std::pair{kAnn, "Ann"}, {kBob, "Bob"}, {kCid, "Cid"}}) {
    auto missed = server_->Join(kRoom, address, name);
    EXPECT_TRUE(missed.has_value()) << address;
    if (missed) deliveries.insert(deliveries.end(), missed->begin(), missed->end());
  }
  return ParseAll(deliveries);
}

std::vector<Packet> ServerTest::Send(const std::string& from, const char* xml_namespace,
                                     const std::string& type, const std::string& body,
                                     const std::string& id) {
  const std::string request = std::string("<iq type=\"set\" to=\"") + kRoom + "\" id=\"" + id +
                              "\"><query type=\"" + type + "\" xmlns=\"" + xml_namespace + "\">" +
                              body + "</query></iq>";
  return ParseAll(server_->Receive(from, request));
}

std::vector<Packet> ServerTest::Voting(const std::string& from, const std::string& type,
                                       const std::string& body) {
  return Send(from, kVotingNamespace, type, body);
}

std::vector<Packet> ServerTest::Agenda(const std::string& from, const std::string& type,
                                       const std::string& body) {
  return Send(from, kAgendaNamespace, type, body);
}

std::string ServerTest::ReferVote(bool multi, bool reg, const std::string& timeout) {
  const std::string qid = To(Voting(kAnn, "apply"), kAnn).text("qid");
  const auto flag = [](bool value) { return value ? "true" : "false"; };
  const auto replies =
      Voting(kAnn, "refer",
             "<qid>" + qid + "</qid><caption>Lunch?</caption><multi>" + flag(multi) +
                 "</multi><reg>" + flag(reg) + "</reg><timeout>" + timeout +
                 "</timeout><subjects><subject index=\"1\">Yes</subject>"
                 "<subject index=\"2\">No</subject>"
                 "<subject index=\"3\">Maybe</subject></subjects>");
  EXPECT_EQ(To(replies, kAnn).type(), "result");
  return qid;
}

std::vector<Packet> ServerTest::Ballot(const std::string& from, const std::string& qid,
                                       const std::vector<std::string>& indexes) {
  std::string body = "<qid>" + qid + "</qid><subjects>" + qid;
  for (const std::string& index : indexes) body += "<subject>" + index + "</subject>";
  return Voting(from, "voting", body + "</subjects>");
}

std::vector<Packet> ServerTest::ParseAll(const std::vector<Delivery>& deliveries) {
  std::vector<Packet> packets(deliveries.size());
  for (std::size_t i = 0; i < deliveries.size(); ++i) {
    packets[i].to = deliveries[i].to;
    const auto& xml = deliveries[i].xml;
    EXPECT_TRUE(packets[i].document.load_buffer(xml.data(), xml.size())) << xml;
    EXPECT_EQ(packets[i].iq().attribute("to").value(), deliveries[i].to);
  }
  return packets;
}

std::size_t ServerTest::IndexOf(const std::vector<Packet>& packets, const std::string& to) {
  const auto count = std::count_if(packets.begin(), packets.end(),
                                   [&](const Packet& packet) { return packet.to == to; });
  if (count != 1) throw std::logic_error(std::to_string(count) + " packets to " + to);
  const auto found = std::find_if(packets.begin(), packets.end(),
                                  [&](const Packet& packet) { return packet.to == to; });
  return static_cast<std::size_t>(found - packets.begin());
}

const Packet& ServerTest::To(const std::vector<Packet>& packets, const std::string& to) {
  return packets[IndexOf(packets, to)];
}

Packet ServerTest::To(std::vector<Packet>&& packets, const std::string& to) {
  return std::move(packets[IndexOf(packets, to)]);
}

}  // namespace quenlo::server::testing
