// Loading the module by path: clear errors for files that are not the module, and a real
// module whose sessions hold the host only while they are attached.
#include "host/conference_module.h"

#include <gmock/gmock.h>

#include "component/reference_count.h"
#include "host/host_error.h"
#include "host/in_process_transport.h"
#include "host/participant.h"
#include "server/sqlite_store.h"

namespace quenlo::host {
namespace {

using ::testing::HasSubstr;

std::string LoadError(const std::string& path) {
  try {
    ConferenceModule::Load(path);
  } catch (const HostError& error) {
    return error.what();
  }
  return "loaded";
}

TEST(ConferenceModuleTest, FileThatIsNotThereIsAnErrorNamingIt) {
  EXPECT_THAT(LoadError("/nonexistent/libquenlo_confext.so"),
              HasSubstr("cannot load module: /nonexistent/libquenlo_confext.so"));
}

TEST(ConferenceModuleTest, LibraryWithoutTheEntryPointIsAnError) {
  EXPECT_THAT(LoadError(QUENLO_LIBRARY_WITHOUT_ENTRY),
              HasSubstr("does not export LoadConferenceExtension"));
}

TEST(ConferenceModuleTest, EntryPointWithAnotherAnswerIsAnError) {
  EXPECT_THAT(LoadError(QUENLO_WRONG_ANSWER_MODULE),
              HasSubstr("answered 7 to LoadConferenceExtension instead of 42"));
}

TEST(ConferenceModuleTest, ModuleRegistersVotingThenAgendaWithFactories) {
  const auto module = ConferenceModule::Load(QUENLO_MODULE_PATH);
  const auto& registrations = module->SessionTypes().registrations();
  ASSERT_EQ(registrations.size(), 2u);
  EXPECT_EQ(registrations[0].type_name, u"quenlo.voting.session");
  EXPECT_EQ(registrations[1].type_name, u"quenlo.agenda.session");
  for (const auto& registration : registrations) {
    EXPECT_EQ(registration.version, u"1");
    EXPECT_TRUE(registration.factory);
  }
}

TEST(ConferenceModuleTest, SessionsHoldTheHostOnlyWhileTheParticipantIsInTheRoom) {
  server::ConferenceServer server(std::make_unique<server::SqliteStore>(":memory:"));
  InProcessTransport transport(server);
  Participant participant(ConferenceModule::Load(QUENLO_MODULE_PATH), transport,
                          {"alice@example.net", "room@example.net", "Alice"});
  EXPECT_EQ(ReferencesOf(&participant.host()), 2u);
  EXPECT_EQ(participant.host().SubscriptionCount(), 2u);

  participant.Leave();
  EXPECT_EQ(ReferencesOf(&participant.host()), 0u);
  EXPECT_EQ(participant.host().SubscriptionCount(), 0u);
}

}  // namespace
}  // namespace quenlo::host
