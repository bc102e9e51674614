// An agenda session attached to a recording host, with helpers to deliver replies parsed from
// XML text (as a host would) and to read what the session announced.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "agenda/agenda_session.h"
#include "component/bstr.h"
#include "support/recording_host.h"
#include "support/xml_equivalence.h"

inline constexpr const OLECHAR* kAgendaRoom = OLESTR("hall3@conference.example");

// The reference count as the object reports it, without changing it.
inline ULONG ReferencesOf(IUnknown* object) {
  object->AddRef();
  return object->Release();
}

inline std::string Utf8Of(const Bstr& text) { return ToUtf8(OleString(text.View())); }

// A reply from the room: an iq of type "result" whose agenda query has the given type and body.
inline std::string AgendaReplyXml(const std::string& queryType, const std::string& body) {
  return "<iq type='result' from='hall3@conference.example'>"
         "<query xmlns='quenlo:conf:agenda' type='" +
         queryType + "'>" + body + "</query></iq>";
}

class AgendaTest : public ::testing::Test {
 protected:
  void SetUp() override {
    session_ = ComPtr<IUnknown>((new AgendaSession())->Primary());
    config_ = session_.As<IConferenceSession>();
    sink_ = session_.As<IPacketSink>();
    commands_ = session_.As<IAgendaCommands>();
    ASSERT_TRUE(config_ && sink_ && commands_);
  }

  void TearDown() override {
    if (config_) config_->Detach();
  }

  void SetRoom(const OLECHAR* room = kAgendaRoom) {
    ASSERT_EQ(config_->SetProperty(OLESTR("agenda.room_name"), room), S_OK);
  }
  void AttachToRoom() {
    SetRoom();
    ASSERT_EQ(config_->Attach(&host_), S_OK);
  }

  HRESULT Deliver(IUnknown* packet) { return sink_->OnPacket(nullptr, packet, 0); }
  HRESULT Deliver(const std::string& xml) {
    const ComPtr<IXMLDOMElement> packet = ParseXml(xml.c_str());
    EXPECT_TRUE(packet) << xml;
    return Deliver(packet.Get());
  }

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
    const std::string xml = AgendaReplyXml(queryType, body);
    EXPECT_EQ(Deliver(xml), S_OK) << xml;
    EXPECT_EQ(host_.Events().size(), 1u) << xml;
    return LastResult<Interface>();
  }

  RecordingHost host_;  // outlives the session references below
  ComPtr<IUnknown> session_;
  ComPtr<IConferenceSession> config_;
  ComPtr<IPacketSink> sink_;
  ComPtr<IAgendaCommands> commands_;
};
