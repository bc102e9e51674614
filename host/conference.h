// A meeting as a host drives it: participants join and leave a room, packets are delivered when
// the host settles, and time passes on the server's clock. InProcessConference runs the whole
// meeting in one process; XmppConference is one participant of a meeting on an XMPP server.
#pragma once

#include <chrono>
#include <functional>
#include <string>

#include "host/host_event.h"
#include "host/participant.h"
#include "host/transport.h"
#include "host/transport_notice.h"

namespace quenlo::host {

class Conference {
 public:
  // Hears every event of every participant, with the participant's name.
  using EventObserver = std::function<void(const std::string& participant, const HostEvent&)>;
  // Hears what a participant's transport tells beside the module's events: its connection lost
  // and back, and requests the service did not answer.
  using NoticeObserver =
      std::function<void(const std::string& participant, const TransportNotice&)>;

  virtual ~Conference() = default;

  virtual const std::string& room() const noexcept = 0;

  // `display_name` is what registered votes show (the name itself when empty). Throws
  // HostError when the participant cannot join.
  virtual Participant& Join(const std::string& name, const std::string& display_name = "") = 0;
  // False when nobody of that name is here.
  virtual bool Leave(const std::string& name) = 0;
  // Null when nobody of that name is here.
  virtual Participant* Find(const std::string& name) = 0;

  virtual void SetEventObserver(EventObserver observer) = 0;
  virtual void SetWireObserver(WireObserver observer) = 0;
  virtual void SetNoticeObserver(NoticeObserver observer) = 0;

  // Delivers what has arrived by now, without waiting for more: what a host calls while it
  // waits for its user, so that pushes are shown as they come.
  virtual void Poll() = 0;
  // Delivers every packet on its way, and what handling them sends in turn. Gives the number
  // delivered.
  virtual std::size_t Settle() = 0;
  // Lets `elapsed` pass on the server's clock (votes may time out), then settles. Throws
  // HostError when that much time cannot pass.
  virtual void Advance(std::chrono::seconds elapsed) = 0;
};

}  // namespace quenlo::host
