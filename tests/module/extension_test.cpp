// The exported entry point, called through the built module as a host would.
#include <gtest/gtest.h>
#include <quenlo/agenda.h>
#include <quenlo/extension.h>
#include <quenlo/voting.h>

#include "component/reference_count.h"
#include "support/recording_host.h"

namespace quenlo::confext {

namespace {

TEST(ExtensionTest, RegistersVotingThenAgendaAndReturns42) {
  RecordingHost host;
  const LoadConferenceExtensionFunction entry = &LoadConferenceExtension;
  EXPECT_EQ(entry(&host), 42);
  ASSERT_EQ(host.Registrations().size(), 2u);
  EXPECT_EQ(host.Registrations()[0].typeName, ToOleString(OLESTR("quenlo.voting.session")));
  EXPECT_EQ(host.Registrations()[1].typeName, ToOleString(OLESTR("quenlo.agenda.session")));
  for (const RecordingHost::Registration& registration : host.Registrations()) {
    EXPECT_EQ(registration.version, ToOleString(OLESTR("1")));
  }
  EXPECT_EQ(ReferencesOf(&host), 1u);  // the host is neither kept nor counted
}

TEST(ExtensionTest, EachCallRegistersNewFactoriesThatTheHostOwns) {
  RecordingHost host;
  LoadConferenceExtension(&host);
  LoadConferenceExtension(&host);
  ASSERT_EQ(host.Registrations().size(), 4u);
  for (std::size_t index = 0; index < 2; ++index) {
    const ComPtr<IClassFactory>& first = host.Registrations()[index].factory;
    const ComPtr<IClassFactory>& again = host.Registrations()[index + 2].factory;
    ASSERT_TRUE(first);
    ASSERT_TRUE(again);
    EXPECT_NE(first.Get(), again.Get());
    // The host's reference is the only one: the module kept none.
    EXPECT_EQ(ReferencesOf(first.Get()), 1u);
  }
}

TEST(ExtensionTest, FactoriesMakeTheSessionOfTheirType) {
  RecordingHost host;
  LoadConferenceExtension(&host);
  ASSERT_EQ(host.Registrations().size(), 2u);
  ComPtr<IUnknown> voting;
  ComPtr<IUnknown> agenda;
  ASSERT_EQ(
      host.Registrations()[0].factory->CreateInstance(nullptr, IID_IUnknown, voting.PutVoid()),
      S_OK);
  ASSERT_EQ(
      host.Registrations()[1].factory->CreateInstance(nullptr, IID_IUnknown, agenda.PutVoid()),
      S_OK);
  EXPECT_TRUE(voting.As<IVotingCommands>());
  EXPECT_FALSE(voting.As<IAgendaCommands>());
  EXPECT_TRUE(agenda.As<IAgendaCommands>());
  EXPECT_FALSE(agenda.As<IVotingCommands>());
  EXPECT_TRUE(voting.As<IConferenceSession>());
  EXPECT_TRUE(agenda.As<IPacketSink>());
}

}  // namespace

}  // namespace quenlo::confext
