// Host code as it is written for Windows, built from this one source for POSIX and for Windows:
// numbers declared long or LONG (one type on Windows) and read through the module's interfaces
// and the DOM's, std::min and std::max after the platform's headers, and a host's own names
// beside the module's. The test host and the XML parser only carry the replies.
#include <gtest/gtest.h>
#include <quenlo/agenda.h>
#include <quenlo/extension.h>
#include <quenlo/names.h>
#include <quenlo/voting.h>

#include <algorithm>
#include <limits>

#include "support/recording_host.h"
#include "support/xml_equivalence.h"

// Names a host may give its own things: the module keeps its names in namespace quenlo.
struct SessionHost {};
[[maybe_unused]] constexpr int kPacketEvent = 0;

// windows.h's min and max macros would make these lines fail to compile.
static_assert(std::max(std::numeric_limits<LONG>::min(), std::numeric_limits<LONG>::max()) > 0);
static_assert((std::min)(1, 2) == 1);

// A host includes the entry point's declaration without exporting anything.
#define TEXT_OF(macro) #macro
#define EXPANDED_TEXT_OF(macro) TEXT_OF(macro)
static_assert(sizeof(EXPANDED_TEXT_OF(QUENLO_EXPORT)) == 1);

namespace {

using quenlo::ComPtr;

constexpr const char* kFrom = "<iq type='result' from='room7@conference.example'>";

// What a session of the type announces for the reply (the query element's text), as the host
// was handed it.
ComPtr<IUnknown> Announced(quenlo::confext::RecordingHost& host, std::size_t type,
                           const std::string& query) {
  if (LoadConferenceExtension(&host) != quenlo::kConferenceExtensionLoaded) return nullptr;
  ComPtr<IUnknown> session;
  host.Registrations()[type].factory->CreateInstance(nullptr, IID_IUnknown, session.PutVoid());
  const auto config = session.As<quenlo::IConferenceSession>();
  const OLECHAR* property =
      type == 0 ? quenlo::kVotingRoomNameProperty : quenlo::kAgendaRoomNameProperty;
  config->SetProperty(property, OLESTR("room7@conference.example"));
  config->Attach(&host);
  const ComPtr<IXMLDOMElement> packet = quenlo::confext::ParseXml((kFrom + query).c_str());
  session.As<quenlo::IPacketSink>()->OnPacket(nullptr, packet.Get(), 0);
  config->Detach();
  return host.Events().empty() ? nullptr : host.Events().back().result;
}

template <class Number>
void ExpectNumbersRead(quenlo::IVotingDetail* detail, quenlo::IVotingReply* reply,
                       quenlo::IVotingSubjectList* list, quenlo::IAgendaList* agenda,
                       IXMLDOMNodeList* nodes) {
  Number count = 0;
  EXPECT_EQ(detail->GetCount(&count), S_OK);
  EXPECT_EQ(count, -3);
  EXPECT_EQ(detail->GetSubjectCount(&count), S_OK);
  EXPECT_EQ(count, 2);
  Number votes = 0;
  const OLECHAR* name = nullptr;
  EXPECT_EQ(detail->GetSubjectResult(0, &votes, &name), S_FALSE);
  EXPECT_EQ(votes, 2);
  EXPECT_EQ(detail->GetSubjectResult(2, &votes, &name), S_OK);  // past the end: nothing written
  EXPECT_EQ(votes, 2);
  Number truth = 7;
  EXPECT_EQ(detail->GetMulti(&truth), S_OK);  // neither "true" nor "false": left alone
  EXPECT_EQ(truth, 7);
  EXPECT_EQ(detail->GetReg(&truth), S_OK);
  EXPECT_EQ(truth, 1);
  EXPECT_EQ(reply->GetMulti(&truth), S_OK);
  EXPECT_EQ(truth, 0);
  EXPECT_EQ(reply->GetReg(&truth), S_FALSE);
  EXPECT_EQ(truth, 0);
  EXPECT_EQ(reply->GetTimeout(&count), S_OK);
  EXPECT_EQ(count, 30);
  EXPECT_EQ(reply->GetSubjectCount(&count), S_OK);
  EXPECT_EQ(count, 1);
  EXPECT_EQ(list->GetCount(&count), S_OK);
  EXPECT_EQ(count, 1);
  BSTR text = nullptr;
  BSTR id = nullptr;
  Number type = 0;
  EXPECT_EQ(list->GetItem(0, &text, &id, &type), S_OK);
  EXPECT_EQ(type, -4);
  SysFreeString(text);
  SysFreeString(id);
  EXPECT_EQ(agenda->GetCount(&count), S_OK);
  EXPECT_EQ(count, 2);
  EXPECT_EQ(nodes->get_length(&count), S_OK);
  EXPECT_EQ(count, 3);
}

TEST(WindowsStyleHostTest, NumbersDeclaredLongOrLONGReadTheSame) {
  quenlo::confext::RecordingHost host;
  const auto detail =
      Announced(host, 0,
                "<query xmlns='quenlo:conf:voting' type='result'><count>-3</count>"
                "<multi>maybe</multi><reg>TRUE</reg><subject name='A' index='1'><user>u</user>"
                "<user>v</user></subject><subject name='B' index='2' count='5'/></query></iq>")
          .As<quenlo::IVotingDetail>();
  const auto reply = Announced(host, 0,
                               "<query xmlns='quenlo:conf:voting' type='content'><multi>false"
                               "</multi><timeout>30</timeout><subject index='1'>x</subject>"
                               "</query></iq>")
                         .As<quenlo::IVotingReply>();
  const auto list = Announced(host, 0,
                              "<query xmlns='quenlo:conf:voting' type='showall'><subject id='a' "
                              "type='-4'>x</subject></query></iq>")
                        .As<quenlo::IVotingSubjectList>();
  const auto agenda = Announced(host, 1,
                                "<query xmlns='quenlo:conf:agenda' type='browse'><subject/>"
                                "<subject/></query></iq>")
                          .As<quenlo::IAgendaList>();
  ASSERT_TRUE(detail && reply && list && agenda);
  const ComPtr<IXMLDOMElement> root = quenlo::confext::ParseXml("<r><s/><s/><s/></r>");
  ComPtr<IXMLDOMNodeList> nodes;
  BSTR tag = SysAllocString(OLESTR("s"));
  ASSERT_EQ(root->getElementsByTagName(tag, nodes.Put()), S_OK);
  SysFreeString(tag);

  ExpectNumbersRead<long>(detail.Get(), reply.Get(), list.Get(), agenda.Get(), nodes.Get());
  ExpectNumbersRead<LONG>(detail.Get(), reply.Get(), list.Get(), agenda.Get(), nodes.Get());
}

}  // namespace
