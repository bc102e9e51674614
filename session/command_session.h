// A session with its command interface: the last layer before the concrete voting or agenda
// session, which implements the Commands operations and the reply handlers. Queries are answered
// in the order IPacketSink, Commands, then as ConferenceSession.
#pragma once

#include "component/interface_id.h"
#include "session/packet_session.h"

namespace quenlo::confext {

template <class Commands>
class CommandSession : public PacketSession,
                       public ForwardedInterface<CommandSession<Commands>, Commands> {
 protected:
  using PacketSession::PacketSession;
  ~CommandSession() override = default;

  IUnknown* FindInterface(REFIID iid) noexcept override {
    if (IsEqualIID(iid, IID_IPacketSink)) return Sink();
    if (IsEqualIID(iid, InterfaceId<Commands>())) return static_cast<Commands*>(this);
    return ConferenceSession::FindInterface(iid);
  }
};

}  // namespace quenlo::confext
