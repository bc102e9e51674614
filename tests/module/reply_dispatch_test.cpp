// Reply dispatch of both sessions, one table: each route with its path and result object, query
// types that match no route, error replies, and what the announced objects read once the packet
// and the session are gone; then the lifetime of an object the host does not keep.
#include <gtest/gtest.h>

#include "agenda_fixture.h"
#include "voting_fixture.h"
#include "xml/element_lookup.h"

namespace quenlo::confext {

namespace {

using Events = std::vector<RecordingHost::Event>;

// What a session of the product, attached in its room, announces for the packet; the session and
// the packet are gone when it returns.
template <class Product>
Events AnnouncedBy(const std::string& packet) {
  RecordingHost host;
  const ComPtr<IUnknown> session((new typename Product::Session())->Primary());
  const ComPtr<IConferenceSession> config = session.As<IConferenceSession>();
  EXPECT_EQ(config->SetProperty(Product::kRoomProperty, Product::kRoom), S_OK);
  EXPECT_EQ(config->Attach(&host), S_OK);
  EXPECT_EQ(host.Deliver(ParseXml(packet.c_str()).Get()), S_OK) << packet;
  config->Detach();
  return host.Events();
}

constexpr auto Voting = &AnnouncedBy<VotingProduct>;
constexpr auto Agenda = &AnnouncedBy<AgendaProduct>;
std::string VotingReply(const char* type, const std::string& body = "") {
  return SessionFixture<VotingProduct>::ReplyXml(type, body);
}
std::string AgendaReply(const char* type, const std::string& body = "<subject/>") {
  return SessionFixture<AgendaProduct>::ReplyXml(type, body);
}

struct Route {
  Events (*announce)(const std::string& packet);
  std::string packet;
  const char* eventPath;  // null: nothing is announced
  const IID* result;      // the one result interface the announced object answers
  void (*check)(IUnknown* result) = nullptr;
};

const Route kRoutes[] = {
    {Voting, VotingReply("apply"), "/voting/apply/ok", &IID_IVotingReply},
    {Voting, VotingReply("showall"), "/voting/showall/ok", &IID_IVotingSubjectList},
    {Voting, VotingReply("voting"), "/voting/voting/ok", &IID_IVotingReply},
    {Voting, VotingReply("delete"), "/voting/delete/ok", &IID_IVotingReply},
    {Voting, VotingReply("refer"), "/voting/upload/ok", &IID_IVotingReply},
    {Voting, VotingReply("start", "<qid>9</qid>"), "/voting/start/ok", &IID_IVotingReply,
     [](IUnknown* result) {
       LONG count = -1;  // a reply without subjects is still announced
       EXPECT_EQ(ComPtr<IUnknown>(result).As<IVotingReply>()->GetSubjectCount(&count), S_OK);
       EXPECT_EQ(count, 0);
     }},
    {Voting, VotingReply("end"), "/voting/end/ok", &IID_IVotingReply},
    {Voting, VotingReply("kithe"), "/voting/kithe/ok", &IID_IVotingDetail},
    {Voting, VotingReply("result"), "/voting/look/ok", &IID_IVotingDetail},
    {Voting, VotingReply("APPLY"), "/voting/apply/ok", &IID_IVotingReply},
    {Voting, VotingReply("ReSuLt"), "/voting/look/ok", &IID_IVotingDetail},
    {Voting, VotingReply("content", "<caption>Lunch</caption><subject index='1'>Soup</subject>"),
     "/voting/getvoting/ok", &IID_IVotingReply,
     [](IUnknown* result) {
       const ComPtr<IVotingReply> reply = ComPtr<IUnknown>(result).As<IVotingReply>();
       Bstr caption;
       const OLECHAR* subject = nullptr;
       EXPECT_EQ(reply->GetCaption(caption.Put()), S_OK);
       EXPECT_EQ(ToUtf8(caption), "Lunch");
       EXPECT_EQ(reply->GetSubject(0, &subject), S_OK);
       EXPECT_EQ(ToUtf8(subject), "Soup");
     }},
    // Answered or not, every iq is dispatched by its query type alone.
    {Voting,
     "<iq type='set' from='room7@conference.example'><query xmlns='quenlo:conf:voting' "
     "type='start'/></iq>",
     "/voting/start/ok", &IID_IVotingReply},
    {Voting,
     "<iq type='get' from='room7@conference.example'><query xmlns='quenlo:conf:voting' "
     "type='end'/></iq>",
     "/voting/end/ok", &IID_IVotingReply},
    {Voting,
     "<iq type='error' from='anyone'><query xmlns='quenlo:conf:voting' type='refer' code='7'/>"
     "<wrap><error code='503'><qid>Q2</qid><subject index='1'>s</subject></error></wrap>"
     "<error code='2'/></iq>",
     "/voting/error", &IID_IVotingReply,
     [](IUnknown* result) {
       const ComPtr<IVotingReply> reply = ComPtr<IUnknown>(result).As<IVotingReply>();
       Bstr code;
       Bstr qid;
       LONG count = 0;
       EXPECT_EQ(reply->GetCode(code.Put()), S_OK);
       EXPECT_EQ(ToUtf8(code), "503");
       EXPECT_EQ(reply->GetQid(qid.Put()), S_OK);
       EXPECT_EQ(ToUtf8(qid), "Q2");
       EXPECT_EQ(reply->GetSubjectCount(&count), S_OK);
       EXPECT_EQ(count, 1);
     }},
    // Types fold ASCII case only and match whole.
    {Voting, VotingReply(" apply"), nullptr, nullptr},
    {Voting, VotingReply("apply "), nullptr, nullptr},
    {Voting, VotingReply("applies"), nullptr, nullptr},
    {Voting, VotingReply(""), nullptr, nullptr},
    {Voting, VotingReply("upload"), nullptr, nullptr},
    {Voting, VotingReply("look"), nullptr, nullptr},
    {Voting, VotingReply("error"), nullptr, nullptr},
    {Voting, VotingReply("\xC3\xA1pply"), nullptr, nullptr},
    {Voting, VotingReply("showAll\xC2\xA0"), nullptr, nullptr},
    // A subject missing an attribute its object needs: the object is abandoned.
    {Voting, VotingReply("content", "<subject index='1'>a</subject><subject>b</subject>"), nullptr,
     nullptr},
    {Voting, VotingReply("showall", "<subject id='1'>a</subject>"), nullptr, nullptr},
    {Voting, VotingReply("showall", "<subject type='1'>a</subject>"), nullptr, nullptr},
    {Voting, VotingReply("kithe", "<subject index='1' count='2'/>"), nullptr, nullptr},
    {Voting, VotingReply("kithe", "<subject name='x' count='2'/>"), nullptr, nullptr},
    {Voting, VotingReply("result", "<subject name='x' index='1'/>"), nullptr, nullptr},
    {Voting, VotingReply("result", "<subject name='x' index='1'><user>u</user></subject>"),
     "/voting/look/ok", &IID_IVotingDetail},  // with users, no count is needed

    {Agenda, AgendaReply("request"), "/agenda/request/ok", &IID_IAgendaReply},
    {Agenda, AgendaReply("create"), "/agenda/create/ok", &IID_IAgendaList},
    {Agenda, AgendaReply("delete", "<qid>4</qid>"), "/agenda/delete/ok", &IID_IAgendaList,
     [](IUnknown* result) {
       LONG count = -1;  // a list without subjects is still announced
       EXPECT_EQ(ComPtr<IUnknown>(result).As<IAgendaList>()->GetCount(&count), S_OK);
       EXPECT_EQ(count, 0);
     }},
    {Agenda, AgendaReply("modify"), "/agenda/modify/ok", &IID_IAgendaList},
    {Agenda, AgendaReply("browse"), "/agenda/showall/ok", &IID_IAgendaList},
    {Agenda, AgendaReply("BROWSE"), "/agenda/showall/ok", &IID_IAgendaList},
    {Agenda, AgendaReply("Sync"), "/agenda/sync/ok", &IID_IAgendaReply},
    {Agenda,
     AgendaReply("sync",
                 "<subject><qid>11</qid><text>Budget</text></subject><subject><qid>12"
                 "</qid></subject>"),
     "/agenda/sync/ok", &IID_IAgendaReply,
     [](IUnknown* result) {
       Bstr qid;  // the first below the query
       EXPECT_EQ(ComPtr<IUnknown>(result).As<IAgendaReply>()->GetQid(qid.Put()), S_OK);
       EXPECT_EQ(ToUtf8(qid), "11");
     }},
    {Agenda,
     "<iq type='error' from='server.example'><query xmlns='quenlo:conf:agenda' type='create'>"
     "<code>1</code></query><wrap><error code='9'><code>404</code><text>no such item</text>"
     "</error></wrap></iq>",
     "/agenda/error", &IID_IAgendaReply,
     [](IUnknown* result) {
       const ComPtr<IAgendaReply> error = ComPtr<IUnknown>(result).As<IAgendaReply>();
       Bstr code;
       Bstr text;
       EXPECT_EQ(error->GetCode(code.Put()), S_OK);
       EXPECT_EQ(ToUtf8(code), "404");  // the element inside "error", not its attribute
       EXPECT_EQ(error->GetText(text.Put()), S_OK);
       EXPECT_EQ(ToUtf8(text), "no such item");
     }},
    {Agenda, "<iq type='error'><query xmlns='quenlo:conf:agenda'/><error code='9'/></iq>",
     "/agenda/error", &IID_IAgendaReply,
     [](IUnknown* result) {
       BSTR untouched = nullptr;
       EXPECT_EQ(ComPtr<IUnknown>(result).As<IAgendaReply>()->GetCode(&untouched), S_FALSE);
       EXPECT_EQ(untouched, nullptr);
     }},
    {Agenda,
     "<iq type='error' from='hall3@conference.example'><query xmlns='quenlo:conf:agenda'>"
     "<code>5</code></query></iq>",
     nullptr, nullptr},
    {Agenda, AgendaReply(""), nullptr, nullptr},
    {Agenda, AgendaReply("showall"), nullptr, nullptr},
    {Agenda, AgendaReply(" browse"), nullptr, nullptr},
    {Agenda, AgendaReply("browse "), nullptr, nullptr},
    {Agenda, AgendaReply("creat"), nullptr, nullptr},
    {Agenda, AgendaReply("error"), nullptr, nullptr},
    {Agenda, AgendaReply("sync\xC3\xA9"), nullptr, nullptr},
};

const IID* const kResultInterfaces[] = {&IID_IVotingReply, &IID_IVotingSubjectList,
                                        &IID_IVotingDetail, &IID_IAgendaReply, &IID_IAgendaList};

TEST(ReplyDispatchTest, EveryRouteAnnouncesItsPathWithItsObjectAndNothingElseDoes) {
  for (const Route& route : kRoutes) {
    SCOPED_TRACE(route.packet);
    const Events events = route.announce(route.packet);
    if (route.eventPath == nullptr) {
      EXPECT_TRUE(events.empty());
      continue;
    }
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(ToUtf8(events[0].eventPath), route.eventPath);
    EXPECT_EQ(events[0].reserved, 0);
    ASSERT_TRUE(events[0].result);
    // The host is handed the object's result interface itself, and it answers no other.
    for (const IID* result : kResultInterfaces) {
      void* answered = nullptr;
      const HRESULT status = events[0].result->QueryInterface(*result, &answered);
      if (result == route.result) {
        ASSERT_EQ(status, S_OK);
        EXPECT_EQ(answered, static_cast<void*>(events[0].result.Get()));
        events[0].result->Release();
      } else {
        EXPECT_EQ(status, E_NOINTERFACE);
      }
    }
    if (route.check != nullptr) route.check(events[0].result.Get());
  }
}

// While RaiseEvent runs, the module's reference is the object's only one: the object's own count
// shows on every DOM that it goes at once unless the host keeps it. Where the DOM keeps one object
// per node, the reply's elements that the object holds show the same.
template <class Product>
void ExpectAnObjectTheHostDoesNotKeepToGoAtOnce(const std::string& reply, ULONG subjectsHeld) {
  const bool nodeIdentity = DomKeepsNodeIdentity();
  const ComPtr<IXMLDOMElement> packet = ParseXml(reply.c_str());
  const ComPtr<IXMLDOMElement> query = FindElement(packet.Get(), OLESTR("query"));
  const ComPtr<IXMLDOMElement> subject = FindElement(packet.Get(), OLESTR("subject"));
  const ULONG queryBefore = ReferencesOf(query.Get());
  const ULONG subjectBefore = ReferencesOf(subject.Get());
  RecordingHost host;
  const ComPtr<IUnknown> session((new typename Product::Session())->Primary());
  const ComPtr<IConferenceSession> config = session.As<IConferenceSession>();
  ASSERT_EQ(config->SetProperty(Product::kRoomProperty, Product::kRoom), S_OK);
  ASSERT_EQ(config->Attach(&host), S_OK);

  host.KeepResults(false);
  ASSERT_EQ(host.Deliver(packet.Get()), S_OK);
  ASSERT_EQ(host.Events().size(), 1u);
  EXPECT_TRUE(host.Events()[0].hadResult);
  EXPECT_EQ(host.Events()[0].referencesDuringEvent, 1u);
  if (nodeIdentity) {
    EXPECT_EQ(ReferencesOf(query.Get()), queryBefore);
    EXPECT_EQ(ReferencesOf(subject.Get()), subjectBefore);
  }

  host.KeepResults(true);
  ASSERT_EQ(host.Deliver(packet.Get()), S_OK);
  EXPECT_EQ(host.Events().back().referencesDuringEvent, 1u);
  EXPECT_EQ(ReferencesOf(host.Events().back().result.Get()), 1u);  // the host's record alone
  if (nodeIdentity) {
    EXPECT_EQ(ReferencesOf(query.Get()), queryBefore + 1);
    EXPECT_EQ(ReferencesOf(subject.Get()), subjectBefore + subjectsHeld);
  }
  config->Detach();
}

TEST(ReplyDispatchTest, AnObjectTheHostDoesNotKeepIsDestroyedAtOnce) {
  ExpectAnObjectTheHostDoesNotKeepToGoAtOnce<VotingProduct>(
      VotingReply("kithe", "<subject name='a' index='1' count='3'/>"), 0);
  ExpectAnObjectTheHostDoesNotKeepToGoAtOnce<AgendaProduct>(
      AgendaReply("browse", "<subject><qid>1</qid></subject>"), 1);
}

}  // namespace

}  // namespace quenlo::confext
