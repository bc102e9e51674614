// The ExtensionHost: the factories the module registers, and sessions made from them.
#include "host/session_type_registry.h"

#include <gtest/gtest.h>

#include "host/host_error.h"
#include "host_fakes.h"

namespace quenlo::host {
namespace {

using testing::FakeFactory;

TEST(SessionTypeRegistryTest, KeepsOneReferenceToEachFactoryUntilCleared) {
  FakeFactory voting;
  FakeFactory agenda;
  SessionTypeRegistry registry;
  registry.RegisterSessionType(u"quenlo.voting.session", u"1", &voting);
  registry.RegisterSessionType(u"quenlo.agenda.session", u"1", &agenda);
  EXPECT_EQ(ReferencesOf(&voting), 1u);
  EXPECT_EQ(ReferencesOf(&agenda), 1u);
  ASSERT_EQ(registry.registrations().size(), 2u);
  EXPECT_EQ(registry.registrations()[0].type_name, u"quenlo.voting.session");
  EXPECT_EQ(registry.registrations()[1].version, u"1");

  registry.Clear();
  EXPECT_EQ(ReferencesOf(&voting), 0u);
  EXPECT_EQ(ReferencesOf(&agenda), 0u);
}

TEST(SessionTypeRegistryTest, RegisteringATypeAgainReleasesTheFormerFactory) {
  FakeFactory first;
  FakeFactory second;
  SessionTypeRegistry registry;
  registry.RegisterSessionType(u"quenlo.voting.session", u"1", &first);
  registry.RegisterSessionType(u"quenlo.voting.session", u"1", &second);
  EXPECT_EQ(ReferencesOf(&first), 0u);
  EXPECT_EQ(ReferencesOf(&second), 1u);
  EXPECT_EQ(registry.registrations().size(), 1u);
}

TEST(SessionTypeRegistryTest, SessionsComeFromTheirTypesFactoryOwnedByTheCaller) {
  FakeFactory factory;
  SessionTypeRegistry registry;
  registry.RegisterSessionType(u"quenlo.voting.session", u"1", &factory);
  {
    const ComPtr<IUnknown> session = registry.CreateSession(u"quenlo.voting.session");
    EXPECT_EQ(session.Get(), static_cast<IUnknown*>(&factory.product));
    EXPECT_EQ(ReferencesOf(&factory.product), 1u);
  }
  EXPECT_EQ(ReferencesOf(&factory.product), 0u);
}

TEST(SessionTypeRegistryTest, MissingTypesNullFactoriesAndFailingFactoriesAreErrors) {
  FakeFactory failing;
  failing.status = E_OUTOFMEMORY;
  SessionTypeRegistry registry;
  registry.RegisterSessionType(u"quenlo.agenda.session", u"1", nullptr);
  registry.RegisterSessionType(u"quenlo.voting.session", u"1", &failing);

  EXPECT_THROW(registry.CreateSession(u"quenlo.chat.session"), HostError);
  EXPECT_THROW(registry.CreateSession(u"quenlo.agenda.session"), HostError);
  EXPECT_THROW(registry.CreateSession(u"quenlo.voting.session"), HostError);
}

}  // namespace
}  // namespace quenlo::host
