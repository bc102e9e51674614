#include "host/participant.h"

#include <utility>

#include "host/host_error.h"
#include "host/utf8_text.h"

namespace quenlo::host {
namespace {

template <class Interface>
ComPtr<Interface> Require(const ComPtr<IUnknown>& session, const char* what) {
  ComPtr<Interface> found = session.As<Interface>();
  if (!found) throw HostError(std::string("the module's session lacks ") + what);
  return found;
}

void JoinRoom(IConferenceSession& session, std::u16string_view property, const std::string& room) {
  const std::u16string name(property);
  const std::u16string value = FromUtf8(room);
  if (session.SetProperty(name.c_str(), value.c_str()) != S_OK) {
    throw HostError("the module's session has no property " + ToUtf8(property));
  }
}

}  // namespace

Participant::Participant(std::shared_ptr<ConferenceModule> module, Transport& transport,
                         Endpoint endpoint)
    : module_(std::move(module)),
      transport_(transport),
      endpoint_(std::move(endpoint)),
      host_(endpoint_.address, transport) {
  try {
    const ComPtr<IUnknown> voting = module_->SessionTypes().CreateSession(kVotingSessionType);
    const ComPtr<IUnknown> agenda = module_->SessionTypes().CreateSession(kAgendaSessionType);
    votingSession_ = Require<IConferenceSession>(voting, "IConferenceSession");
    agendaSession_ = Require<IConferenceSession>(agenda, "IConferenceSession");
    voting_ = Require<IVotingCommands>(voting, "IVotingCommands");
    agenda_ = Require<IAgendaCommands>(agenda, "IAgendaCommands");

    JoinRoom(*votingSession_.Get(), kVotingRoomNameProperty, endpoint_.room);
    JoinRoom(*agendaSession_.Get(), kAgendaRoomNameProperty, endpoint_.room);
    votingSession_->Attach(&host_);
    agendaSession_->Attach(&host_);
    transport_.Connect(endpoint_, host_);
    connected_ = true;
  } catch (...) {
    Leave();
    throw;
  }
}

Participant::~Participant() { Leave(); }

void Participant::Leave() noexcept {
  if (connected_) transport_.Disconnect(endpoint_.address);
  connected_ = false;
  if (votingSession_) votingSession_->Detach();
  if (agendaSession_) agendaSession_->Detach();
  agenda_.Reset();
  voting_.Reset();
  agendaSession_.Reset();
  votingSession_.Reset();
}

}  // namespace quenlo::host
