// SessionFactory: what CreateInstance hands out and the factory's own interfaces.
#include "extension/session_factory.h"

#include <gtest/gtest.h>

#include "component/reference_count.h"
#include "test_session.h"

namespace quenlo::confext {

namespace {

class SessionFactoryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto* factory = new SessionFactory<TestSession>();
    factory_ = ComPtr<IClassFactory>(static_cast<IClassFactory*>(factory));
  }

  ComPtr<IClassFactory> factory_;
};

TEST_F(SessionFactoryTest, HandsOutThePrimaryInterfaceWithOneReference) {
  ComPtr<IUnknown> session;
  ASSERT_EQ(factory_->CreateInstance(nullptr, IID_IConferenceSession, session.PutVoid()), S_OK);
  ASSERT_TRUE(session);
  EXPECT_EQ(ReferencesOf(session.Get()), 1u);
  EXPECT_EQ(session.As<IUnknown>().Get(), session.Get());  // the primary, not IConferenceSession
  EXPECT_TRUE(session.As<IConferenceSession>());
  EXPECT_TRUE(session.As<IPacketSink>());
  EXPECT_TRUE(session.As<ITestCommands>());
}

TEST_F(SessionFactoryTest, EveryCallMakesANewSession) {
  TestSession::destroyed = 0;
  ComPtr<IUnknown> first;
  ComPtr<IUnknown> second;
  // An outer object is not examined: aggregation is never refused.
  ASSERT_EQ(factory_->CreateInstance(factory_.Get(), IID_IUnknown, first.PutVoid()), S_OK);
  ASSERT_EQ(factory_->CreateInstance(nullptr, IID_IClassFactory, second.PutVoid()), S_OK);
  EXPECT_NE(first.Get(), second.Get());
  EXPECT_EQ(ReferencesOf(second.Get()), 1u);
  first.Reset();
  second.Reset();
  EXPECT_EQ(TestSession::destroyed, 2);
  EXPECT_EQ(factory_->CreateInstance(nullptr, IID_IUnknown, nullptr), E_POINTER);
}

TEST_F(SessionFactoryTest, AnswersOnlyItsOwnInterfaces) {
  EXPECT_EQ(ReferencesOf(factory_.Get()), 1u);
  ComPtr<IUnknown> primary = factory_.As<IUnknown>();
  ASSERT_TRUE(primary);
  EXPECT_NE(static_cast<void*>(primary.Get()), static_cast<void*>(factory_.Get()));
  EXPECT_EQ(primary.As<IClassFactory>().Get(), factory_.Get());
  void* session = factory_.Get();
  EXPECT_EQ(factory_->QueryInterface(IID_IConferenceSession, &session), E_NOINTERFACE);
  EXPECT_EQ(session, nullptr);
  EXPECT_EQ(ReferencesOf(factory_.Get()), 2u);  // the test's two references, nothing more
  EXPECT_EQ(factory_->LockServer(TRUE), S_OK);
  EXPECT_EQ(factory_->LockServer(FALSE), S_OK);
}

}  // namespace

}  // namespace quenlo::confext
