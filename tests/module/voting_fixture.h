// A voting session attached to a recording host, with its room set, and helpers to deliver
// replies parsed from XML text (as a host would) and to read what the session announced.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "component/bstr.h"
#include "support/recording_host.h"
#include "support/xml_equivalence.h"
#include "voting/voting_session.h"

inline constexpr const OLECHAR* kRoom = OLESTR("room7@conference.example");

// The reference count as the object reports it, without changing it.
inline ULONG CountOf(IUnknown* object) {
  object->AddRef();
  return object->Release();
}

inline std::string Utf8(OleStringView text) { return ToUtf8(OleString(text)); }
inline std::string Utf8(const Bstr& text) { return Utf8(text.View()); }

class VotingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    session_ = ComPtr<IUnknown>((new VotingSession())->Primary());
    config_ = session_.As<IConferenceSession>();
    sink_ = session_.As<IPacketSink>();
    commands_ = session_.As<IVotingCommands>();
    ASSERT_TRUE(config_ && sink_ && commands_);
  }

  void TearDown() override {
    if (config_) config_->Detach();
  }

  void AttachToRoom(const OLECHAR* room = kRoom) {
    ASSERT_EQ(config_->SetProperty(OLESTR("voting.room_name"), room), S_OK);
    ASSERT_EQ(config_->Attach(&host_), S_OK);
  }

  HRESULT Deliver(IXMLDOMElement* packet) { return sink_->OnPacket(nullptr, packet, 0); }
  HRESULT Deliver(const char* xml) {
    const ComPtr<IXMLDOMElement> packet = ParseXml(xml);
    EXPECT_TRUE(packet) << xml;
    return Deliver(packet.Get());
  }

  // The paths announced so far, in order.
  std::vector<std::string> EventPaths() const {
    std::vector<std::string> paths;
    for (const RecordingHost::Event& event : host_.Events())
      paths.push_back(ToUtf8(event.eventPath));
    return paths;
  }

  // The object of the last announcement as Interface (empty when there is none).
  template <class Interface>
  ComPtr<Interface> LastResult() const {
    if (host_.Events().empty()) return nullptr;
    return host_.Events().back().result.template As<Interface>();
  }

  // Delivers a reply from the room to a freshly attached session and hands back what it
  // announced as Interface.
  template <class Interface>
  ComPtr<Interface> Announced(const std::string& queryType, const std::string& body) {
    const std::string xml =
        "<iq type='result' from='room7@conference.example'>"
        "<query xmlns='quenlo:conf:voting' type='" +
        queryType + "'>" + body + "</query></iq>";
    EXPECT_EQ(Deliver(xml.c_str()), S_OK) << xml;
    EXPECT_EQ(host_.Events().size(), 1u) << xml;
    return LastResult<Interface>();
  }

  RecordingHost host_;  // outlives the session references below
  ComPtr<IUnknown> session_;
  ComPtr<IConferenceSession> config_;
  ComPtr<IPacketSink> sink_;
  ComPtr<IVotingCommands> commands_;
};
