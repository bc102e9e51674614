// ComponentBase, ForwardedInterface, ResultObject and the owning wrappers: reference counts,
// destruction, and the QueryInterface contract.
#include <gtest/gtest.h>
#include <quenlo/agenda.h>
#include <quenlo/voting.h>

#include <cstdio>
#include <string>

#include "component/bstr.h"
#include "component/component_base.h"
#include "component/forwarded_interface.h"
#include "component/host_object.h"
#include "component/reference_count.h"
#include "support/xml_equivalence.h"
#include "test_session.h"

namespace quenlo::confext {

namespace {

// Two secondary interfaces; its destructor takes and drops references to itself.
class TwoFaced final : public ComponentBase,
                       public ForwardedInterface<TwoFaced, ITestCommands>,
                       public ForwardedInterface<TwoFaced, ITestResult> {
 public:
  static inline int destroyed = 0;

  HRESULT STDMETHODCALLTYPE Ping(const OLECHAR*, const OLECHAR*, const OLECHAR*) override {
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetElement(IXMLDOMElement**) override { return S_FALSE; }

  ITestCommands* Commands() { return this; }
  ITestResult* Result() { return this; }

 private:
  ~TwoFaced() override {
    Primary()->AddRef();
    Primary()->Release();
    ++destroyed;
  }

  IUnknown* FindInterface(REFIID iid) noexcept override {
    if (IsEqualIID(iid, IID_ITestCommands)) return static_cast<ITestCommands*>(this);
    if (IsEqualIID(iid, IID_ITestResult)) return static_cast<ITestResult*>(this);
    return ComponentBase::FindInterface(iid);
  }
};

// The count as the object reports it, without changing it.
TEST(ComponentBaseTest, StartsAtZeroAndQueryForUnknownTakesTheFirstReference) {
  auto* object = new TwoFaced();
  void* unknown = nullptr;
  ASSERT_EQ(object->Commands()->QueryInterface(IID_IUnknown, &unknown), S_OK);
  EXPECT_EQ(unknown, object->Primary());
  EXPECT_EQ(ReferencesOf(object->Primary()), 1u);
  EXPECT_EQ(object->Primary()->Release(), 0u);
}

// The destructor touches the count; it still runs once.
TEST(ComponentBaseTest, EveryInterfaceSharesOneCount) {
  TwoFaced::destroyed = 0;
  auto* object = new TwoFaced();
  EXPECT_EQ(object->Primary()->AddRef(), 1u);
  EXPECT_EQ(object->Commands()->AddRef(), 2u);
  EXPECT_EQ(object->Result()->AddRef(), 3u);
  EXPECT_EQ(object->Result()->Release(), 2u);
  EXPECT_EQ(object->Primary()->Release(), 1u);
  EXPECT_EQ(TwoFaced::destroyed, 0);
  EXPECT_EQ(object->Commands()->Release(), 0u);
  EXPECT_EQ(TwoFaced::destroyed, 1);
}

TEST(ComponentBaseTest, QueriesAnswerTheSameInterfacesThroughEveryInterface) {
  auto* object = new TwoFaced();
  ComPtr<IUnknown> holder(object->Primary());
  for (IUnknown* through : {object->Primary(), static_cast<IUnknown*>(object->Commands()),
                            static_cast<IUnknown*>(object->Result())}) {
    void* found = nullptr;
    ASSERT_EQ(through->QueryInterface(IID_IUnknown, &found), S_OK);
    EXPECT_EQ(found, object->Primary());
    object->Primary()->Release();
    ASSERT_EQ(through->QueryInterface(IID_ITestResult, &found), S_OK);
    EXPECT_EQ(found, object->Result());
    object->Primary()->Release();
    ASSERT_EQ(through->QueryInterface(IID_ITestCommands, &found), S_OK);
    EXPECT_EQ(found, object->Commands());
    object->Primary()->Release();
  }
  EXPECT_EQ(ReferencesOf(object->Primary()), 1u);
}

TEST(ComponentBaseTest, FailedQueryNullsTheResultAndLeavesTheCount) {
  auto* object = new TwoFaced();
  ComPtr<IUnknown> holder(object->Primary());
  void* found = object;  // not null, to see it cleared
  EXPECT_EQ(object->Result()->QueryInterface(IID_IConferenceSession, &found), E_NOINTERFACE);
  EXPECT_EQ(found, nullptr);
  EXPECT_EQ(object->Primary()->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
  EXPECT_EQ(ReferencesOf(object->Primary()), 1u);
}

class ResultObjectTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TestResult::constructed = 0;
    TestResult::destroyed = 0;
    TestResult::loads = 0;
  }
};

TEST_F(ResultObjectTest, CreateHandsOutOneReferenceAfterLoadingAndHoldsTheElement) {
  const ComPtr<IXMLDOMElement> element = ParseXml("<query/>");
  ASSERT_TRUE(element);
  const ULONG before = ReferencesOf(element.Get());
  {
    ComPtr<ITestResult> result = TestResult::Create(element.Get());
    ASSERT_TRUE(result);
    EXPECT_EQ(TestResult::loads, 1);
    EXPECT_EQ(ReferencesOf(result.Get()), 1u);
    EXPECT_EQ(ReferencesOf(element.Get()), before + 1);
    ComPtr<IXMLDOMElement> held;
    EXPECT_EQ(result->GetElement(held.Put()), S_OK);
    EXPECT_EQ(held.Get(), element.Get());
    // ElementLoader is internal: only the primary and the public interface answer.
    EXPECT_FALSE(result.As<ITestCommands>());
    EXPECT_TRUE(result.As<IUnknown>());
  }
  EXPECT_EQ(TestResult::destroyed, 1);
  EXPECT_EQ(ReferencesOf(element.Get()), before);
}

TEST_F(ResultObjectTest, FailingLoadDestroysTheObjectAndReleasesTheElement) {
  const ComPtr<IXMLDOMElement> element = ParseXml("<query><broken/></query>");
  ASSERT_TRUE(element);
  const ULONG before = ReferencesOf(element.Get());
  EXPECT_THROW(TestResult::Create(element.Get()), _com_error);
  EXPECT_EQ(TestResult::constructed, 1);
  EXPECT_EQ(TestResult::destroyed, 1);
  EXPECT_EQ(ReferencesOf(element.Get()), before);
}

std::string RegistryForm(const IID& iid) {
  char text[40];
  std::snprintf(text, sizeof text, "%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X",
                static_cast<unsigned>(iid.Data1), iid.Data2, iid.Data3, iid.Data4[0], iid.Data4[1],
                iid.Data4[2], iid.Data4[3], iid.Data4[4], iid.Data4[5], iid.Data4[6], iid.Data4[7]);
  return text;
}

TEST(InterfaceIdTest, IdentifiersMatchTheirPublishedRegistryForm) {
  EXPECT_EQ(RegistryForm(InterfaceId<IUnknown>()), "00000000-0000-0000-C000-000000000046");
  EXPECT_EQ(RegistryForm(InterfaceId<IClassFactory>()), "00000001-0000-0000-C000-000000000046");
  EXPECT_EQ(RegistryForm(InterfaceId<IConferenceSession>()),
            "1FFA36EB-7AC8-4D26-A513-9292892D8C9C");
  EXPECT_EQ(RegistryForm(InterfaceId<IPacketSink>()), "F093EF0F-04D3-4C18-98B1-330999774153");
  EXPECT_EQ(RegistryForm(InterfaceId<IVotingCommands>()), "AB194A24-7E16-4A12-BA43-953184B3C767");
  EXPECT_EQ(RegistryForm(InterfaceId<IAgendaCommands>()), "315BD804-0FD7-4F5D-BD81-DE8F3795E616");
  EXPECT_EQ(RegistryForm(InterfaceId<IVotingReply>()), "FB9F90EA-F0D7-4238-A0EE-11CBFE307201");
  EXPECT_EQ(RegistryForm(InterfaceId<IVotingDetail>()), "FB9F90EB-F0D7-4238-A0EE-11CBFE307201");
  EXPECT_EQ(RegistryForm(InterfaceId<IVotingSubjectList>()),
            "FB9F90EC-F0D7-4238-A0EE-11CBFE307201");
  EXPECT_EQ(RegistryForm(InterfaceId<IAgendaReply>()), "315BD803-0FD7-4F5D-BD81-DE8F3795E616");
  EXPECT_EQ(RegistryForm(InterfaceId<IAgendaList>()), "315BD805-0FD7-4F5D-BD81-DE8F3795E616");
  EXPECT_EQ(RegistryForm(InterfaceId<IXMLDOMDocument>()), "2933BF81-7B36-11D2-B20E-00C04F983E60");
  EXPECT_EQ(RegistryForm(InterfaceId<IXMLDOMElement>()), "2933BF86-7B36-11D2-B20E-00C04F983E60");
}

TEST(ComPtrTest, OwnsExactlyTheReferencesItTakes) {
  auto* object = new TwoFaced();
  object->Primary()->AddRef();  // the test's own reference
  {
    ComPtr<ITestCommands> shared(object->Commands());
    EXPECT_EQ(ReferencesOf(object->Primary()), 2u);
    ComPtr<ITestCommands> copy = shared;
    EXPECT_EQ(ReferencesOf(object->Primary()), 3u);
    ComPtr<ITestCommands> moved = std::move(copy);
    EXPECT_FALSE(copy);  // NOLINT(bugprone-use-after-move): moved-from is empty by contract
    EXPECT_EQ(ReferencesOf(object->Primary()), 3u);
    ComPtr<ITestResult> other = moved.As<ITestResult>();
    EXPECT_EQ(other.Get(), object->Result());
    EXPECT_EQ(ReferencesOf(object->Primary()), 4u);
    EXPECT_FALSE(moved.As<IConferenceSession>());
    other.Put();  // drops the held reference
    EXPECT_EQ(ReferencesOf(object->Primary()), 3u);
  }
  EXPECT_EQ(ReferencesOf(object->Primary()), 1u);
  object->Primary()->AddRef();
  ComPtr<IUnknown> adopted = ComPtr<IUnknown>::Adopt(object->Primary());
  EXPECT_EQ(ReferencesOf(object->Primary()), 2u);
  IUnknown* detached = adopted.Detach();
  EXPECT_EQ(ReferencesOf(object->Primary()), 2u);
  detached->Release();
  EXPECT_EQ(object->Primary()->Release(), 0u);
}

TEST(ComPtrTest, QueryToHandsOutOneReferenceOrANullAndTheReason) {
  auto* object = new TwoFaced();
  const ComPtr<ITestCommands> commands(object->Commands());
  ITestResult* result = nullptr;
  ASSERT_EQ(commands.QueryTo(&result), S_OK);
  EXPECT_EQ(result, object->Result());
  EXPECT_EQ(ReferencesOf(object->Primary()), 2u);
  result->Release();
  IConferenceSession* missing = reinterpret_cast<IConferenceSession*>(object);  // to see it cleared
  EXPECT_EQ(commands.QueryTo(&missing), E_NOINTERFACE);
  EXPECT_EQ(missing, nullptr);
  missing = reinterpret_cast<IConferenceSession*>(object);
  EXPECT_EQ(ComPtr<ITestCommands>().QueryTo(&missing), E_NOINTERFACE);
  EXPECT_EQ(missing, nullptr);
  EXPECT_EQ(commands.QueryTo<ITestResult>(nullptr), E_POINTER);
  EXPECT_EQ(ReferencesOf(object->Primary()), 1u);
}

// A host-side object with an interface that has an identifier and one that has none.
class HostSide final : public HostObject<IPacketSink, SessionHost> {
 public:
  HRESULT STDMETHODCALLTYPE OnPacket(BSTR, IUnknown*, LONG) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE Subscribe(const OLECHAR*, IPacketSink*, ULONG*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Unsubscribe(ULONG) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE RaiseEvent(BSTR, LONG, IUnknown*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE ReservedSlot1() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE ReservedSlot2() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SendPacket(IXMLDOMElement*) override { return E_NOTIMPL; }
};

TEST(HostObjectTest, AnswersUnknownAndItsIdentifiedInterfacesAndOutlivesItsCount) {
  HostSide object;
  SessionHost* host = &object;
  void* found = nullptr;
  ASSERT_EQ(host->QueryInterface(IID_IUnknown, &found), S_OK);
  EXPECT_EQ(found, static_cast<IUnknown*>(static_cast<IPacketSink*>(&object)));
  ASSERT_EQ(host->QueryInterface(IID_IPacketSink, &found), S_OK);
  EXPECT_EQ(found, static_cast<IPacketSink*>(&object));
  EXPECT_EQ(ReferencesOf(&object), 2u);
  found = &object;  // not null, to see it cleared
  EXPECT_EQ(host->QueryInterface(IID_IConferenceSession, &found), E_NOINTERFACE);
  EXPECT_EQ(found, nullptr);
  EXPECT_EQ(host->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
  EXPECT_EQ(object.Release(), 1u);
  EXPECT_EQ(object.Release(), 0u);  // the owner, not the count, decides when it goes
  EXPECT_EQ(ReferencesOf(&object), 0u);
}

TEST(BstrTest, CopiesKeepEmbeddedZerosAndNullCopiesAsAnAllocatedEmptyString) {
  const OLECHAR withZero[] = {'a', 0, 'b'};
  const Bstr copy = Bstr::Copy(OleStringView(withZero, 3));
  EXPECT_EQ(SysStringLen(copy.Get()), 3u);
  EXPECT_EQ(copy.View(), OleStringView(withZero, 3));
  const Bstr empty = Bstr::Copy(ViewOf(nullptr));
  ASSERT_NE(empty.Get(), nullptr);
  EXPECT_EQ(SysStringLen(empty.Get()), 0u);
}

}  // namespace

}  // namespace quenlo::confext
