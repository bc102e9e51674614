// One participant of a meeting held on an XMPP server: the module's sessions on an
// XmppTransport. Several processes, each with its XmppConference, make a meeting; the server's
// clock is the real one, so letting time pass means waiting.
#pragma once

#include <memory>
#include <string>

#include "host/conference.h"
#include "host/conference_module.h"
#include "host/xmpp_transport.h"

namespace quenlo::host {

class XmppConference final : public Conference {
 public:
  // How long the line must stay silent before Settle counts pushes as all delivered.
  static constexpr std::chrono::milliseconds kQuietTime{100};

  XmppConference(std::shared_ptr<ConferenceModule> module, XmppAccount account, std::string room,
                 XmppTimings timings = {});
  XmppConference(const XmppConference&) = delete;
  XmppConference& operator=(const XmppConference&) = delete;
  ~XmppConference() override;

  const std::string& room() const noexcept override { return room_; }

  // Logs in and joins the room with `display_name` (the name when empty) as nick and voter
  // name. Throws HostError when somebody joined already: one process is one participant.
  Participant& Join(const std::string& name, const std::string& display_name = "") override;
  bool Leave(const std::string& name) override;
  Participant* Find(const std::string& name) override;

  void SetEventObserver(EventObserver observer) override;
  void SetWireObserver(WireObserver observer) override;
  void SetNoticeObserver(NoticeObserver observer) override;

  void Poll() override;
  // Waits for the answers to the requests sent; a request without one within the transport's
  // time limit is reported to the notice observer and waited for no more.
  std::size_t Settle() override;
  // Waits `elapsed`, delivering what arrives meanwhile, then settles.
  void Advance(std::chrono::seconds elapsed) override;

 private:
  std::shared_ptr<ConferenceModule> module_;
  std::string room_;
  XmppTransport transport_;
  EventObserver observer_;
  NoticeObserver noticeObserver_;
  std::string name_;
  // Declared last so that the participant leaves before the transport goes.
  std::unique_ptr<Participant> participant_;
};

}  // namespace quenlo::host
