// A product session attached to a recording host, with helpers to deliver replies parsed from XML
// text (as a host would) and to read what the session announced. Product describes the session:
// its class, its command interface, its room property, the room it is tested in and the namespace
// of its queries.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "component/bstr.h"
#include "component/reference_count.h"
#include "support/recording_host.h"
#include "support/xml_equivalence.h"

namespace quenlo::confext {

inline std::string ToUtf8(const Bstr& text) { return ToUtf8(OleString(text.View())); }

template <class Product>
class SessionFixture : public ::testing::Test {
 public:
  // A reply from the room: an iq of type "result" whose query has the given type and body.
  static std::string ReplyXml(const std::string& queryType, const std::string& body = "") {
    return std::string("<iq type='result' from='") + Product::kRoomUtf8 + "'><query xmlns='" +
           Product::kNamespace + "' type='" + queryType + "'>" + body + "</query></iq>";
  }

  // A request to the room as the session sends it.
  static std::string RequestXml(const std::string& id, const std::string& queryType,
                                const std::string& body = "") {
    return std::string("<iq type='set' to='") + Product::kRoomUtf8 + "' id='" + id +
           "'><query type='" + queryType + "' xmlns='" + Product::kNamespace + "'>" + body +
           "</query></iq>";
  }

 protected:
  void SetUp() override {
    session_ = ComPtr<IUnknown>((new typename Product::Session())->Primary());
    config_ = session_.As<IConferenceSession>();
    sink_ = session_.As<IPacketSink>();
    commands_ = session_.As<typename Product::Commands>();
    ASSERT_TRUE(config_ && sink_ && commands_);
  }

  void TearDown() override {
    if (config_) config_->Detach();
  }

  void SetRoom(const OLECHAR* room = Product::kRoom) {
    ASSERT_EQ(config_->SetProperty(Product::kRoomProperty, room), S_OK);
  }
  void AttachToRoom(const OLECHAR* room = Product::kRoom) {
    SetRoom(room);
    ASSERT_EQ(config_->Attach(&host_), S_OK);
  }

  HRESULT Deliver(IUnknown* packet) { return sink_->OnPacket(nullptr, packet, 0); }
  HRESULT Deliver(const std::string& xml) {
    const ComPtr<IXMLDOMElement> packet = ParseXml(xml.c_str());
    EXPECT_TRUE(packet) << xml;
    return Deliver(packet.Get());
  }

  // The paths announced so far, in order.
  std::vector<std::string> EventPaths() const {
    std::vector<std::string> paths;
    for (const RecordingHost::Event& event : host_.Events()) {
      paths.push_back(ToUtf8(event.eventPath));
    }
    return paths;
  }

  // The object of the last announcement as Interface (empty when there is none).
  template <class Interface>
  ComPtr<Interface> LastResult() const {
    if (host_.Events().empty()) return nullptr;
    return host_.Events().back().result.template As<Interface>();
  }

  // Delivers a reply from the room to the attached session and hands back what it announced.
  template <class Interface>
  ComPtr<Interface> Announced(const std::string& queryType, const std::string& body) {
    const std::string xml = ReplyXml(queryType, body);
    EXPECT_EQ(Deliver(xml), S_OK) << xml;
    EXPECT_EQ(host_.Events().size(), 1u) << xml;
    return LastResult<Interface>();
  }

  RecordingHost host_;  // outlives the session references below
  ComPtr<IUnknown> session_;
  ComPtr<IConferenceSession> config_;
  ComPtr<IPacketSink> sink_;
  ComPtr<typename Product::Commands> commands_;
};

// The same session, attached in its room from the start.
template <class Product>
class AttachedSessionFixture : public SessionFixture<Product> {
 protected:
  void SetUp() override {
    SessionFixture<Product>::SetUp();
    if (!this->HasFatalFailure()) this->AttachToRoom();
  }
};

// A packet delivered to a session attached in its room, the status OnPacket answers and the one
// path announced (null: nothing).
struct FilterCase {
  const char* name;
  const char* packet;
  HRESULT status;
  const char* announced;
};

inline std::string NameOfFilterCase(const ::testing::TestParamInfo<FilterCase>& test) {
  return test.param.name;
}

template <class Product>
class PacketFilterFixture : public SessionFixture<Product>,
                            public ::testing::WithParamInterface<FilterCase> {
 protected:
  void ExpectStatusAndAnnouncement() {
    this->AttachToRoom();
    const FilterCase& filter = GetParam();
    EXPECT_EQ(this->Deliver(filter.packet), filter.status);
    if (filter.announced == nullptr) {
      EXPECT_TRUE(this->host_.Events().empty());
    } else {
      EXPECT_EQ(this->EventPaths(), std::vector<std::string>{filter.announced});
    }
  }
};

}  // namespace quenlo::confext
