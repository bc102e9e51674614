// The module's entry point: registers the two session types with the host.
#include <quenlo/extension.h>
#include <quenlo/names.h>

#include "agenda/agenda_session.h"
#include "extension/session_factory.h"
#include "voting/voting_session.h"

namespace quenlo::confext {
namespace {

// The host takes its own reference on the factory; the module keeps none. A factory that cannot
// be allocated is registered as null.
template <class Session>
void RegisterSessionType(ExtensionHost* host, const OLECHAR* typeName) {
  auto* factory = new (std::nothrow) SessionFactory<Session>();
  host->RegisterSessionType(typeName, kSessionTypeVersion,
                            factory == nullptr ? nullptr : static_cast<IClassFactory*>(factory));
}

}  // namespace
}  // namespace quenlo::confext

extern "C" QUENLO_EXPORT int QUENLO_CALL LoadConferenceExtension(quenlo::ExtensionHost* host) {
  namespace confext = quenlo::confext;
  confext::RegisterSessionType<confext::VotingSession>(host, quenlo::kVotingSessionType);
  confext::RegisterSessionType<confext::AgendaSession>(host, quenlo::kAgendaSessionType);
  return quenlo::kConferenceExtensionLoaded;
}
