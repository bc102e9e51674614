// One conference client in one room: its SessionHost and a voting and an agenda session made
// by the module, configured for the room and attached. Detaches and releases them when it goes.
#pragma once

#include <quenlo/agenda.h>
#include <quenlo/names.h>
#include <quenlo/voting.h>

#include <memory>

#include "component/com_ptr.h"
#include "host/conference_module.h"
#include "host/participant_host.h"
#include "host/transport.h"

namespace quenlo::host {

class Participant {
 public:
  // Throws HostError when the module cannot make the sessions or the endpoint cannot connect.
  Participant(std::shared_ptr<ConferenceModule> module, Transport& transport, Endpoint endpoint);
  Participant(const Participant&) = delete;
  Participant& operator=(const Participant&) = delete;
  ~Participant();

  const Endpoint& endpoint() const noexcept { return endpoint_; }
  ParticipantHost& host() noexcept { return host_; }
  // Sends a request of the host's own (UTF-8 XML text of an iq) on the participant's behalf;
  // its answer comes in like any packet (ParticipantHost::SetPacketWatcher sees it).
  void SendOwnRequest(std::string xml) { transport_.Send(endpoint_.address, std::move(xml)); }

  IConferenceSession& VotingSession() const noexcept { return *votingSession_.Get(); }
  IConferenceSession& AgendaSession() const noexcept { return *agendaSession_.Get(); }
  IVotingCommands& voting() const noexcept { return *voting_.Get(); }
  IAgendaCommands& agenda() const noexcept { return *agenda_.Get(); }

  // Leaves the room: disconnects, detaches and releases the sessions. The host then holds no
  // subscription and the module no reference to it. The accessors above must not be used after.
  void Leave() noexcept;

 private:
  // Declared first so that it goes last: the sessions run the module's code.
  std::shared_ptr<ConferenceModule> module_;
  Transport& transport_;
  Endpoint endpoint_;
  bool connected_ = false;
  ParticipantHost host_;
  ComPtr<IConferenceSession> votingSession_;
  ComPtr<IConferenceSession> agendaSession_;
  ComPtr<IVotingCommands> voting_;
  ComPtr<IAgendaCommands> agenda_;
};

}  // namespace quenlo::host
