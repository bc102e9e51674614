// Agenda reply dispatch: each route, unknown types, error replies and the lifetime of what is
// announced.
#include <gtest/gtest.h>

#include "agenda_fixture.h"
#include "xml/element_lookup.h"

namespace quenlo::confext {

namespace {

using AgendaDispatchTest = AttachedAgendaTest;

struct Route {
  const char* queryType;
  const char* eventPath;
  bool isList;
};

class AgendaRouteTest : public AgendaDispatchTest, public ::testing::WithParamInterface<Route> {};

TEST_P(AgendaRouteTest, AnnouncesItsPathWithItsObject) {
  const Route& route = GetParam();
  ASSERT_EQ(Deliver(ReplyXml(route.queryType, "<subject><qid>7</qid></subject>")), S_OK);
  ASSERT_EQ(EventPaths(), std::vector<std::string>{route.eventPath});
  EXPECT_EQ(host_.Events()[0].reserved, 0);
  const ComPtr<IUnknown>& result = host_.Events()[0].result;
  ASSERT_TRUE(result);
  // The host is handed the object's public interface itself, not only something that leads there.
  if (route.isList) {
    EXPECT_EQ(result.Get(), static_cast<IUnknown*>(result.As<IAgendaList>().Get()));
    EXPECT_FALSE(result.As<IAgendaReply>());
  } else {
    EXPECT_EQ(result.Get(), static_cast<IUnknown*>(result.As<IAgendaReply>().Get()));
    EXPECT_FALSE(result.As<IAgendaList>());
  }
}

INSTANTIATE_TEST_SUITE_P(Routes, AgendaRouteTest,
                         ::testing::Values(Route{"request", "/agenda/request/ok", false},
                                           Route{"create", "/agenda/create/ok", true},
                                           Route{"delete", "/agenda/delete/ok", true},
                                           Route{"modify", "/agenda/modify/ok", true},
                                           Route{"browse", "/agenda/showall/ok", true},
                                           Route{"sync", "/agenda/sync/ok", false},
                                           Route{"BROWSE", "/agenda/showall/ok", true},
                                           Route{"Sync", "/agenda/sync/ok", false}),
                         [](const ::testing::TestParamInfo<Route>& test) {
                           return std::string(test.param.queryType) + std::to_string(test.index);
                         });

TEST_F(AgendaDispatchTest, UnknownTypesAnnounceNothing) {
  for (const char* type : {"", "showall", " browse", "browse ", "creat", "error", "sync\xC3\xA9"}) {
    EXPECT_EQ(Deliver(ReplyXml(type, "<subject/>")), S_OK) << type;
  }
  EXPECT_TRUE(host_.Events().empty());
}

TEST_F(AgendaDispatchTest, AListWithoutSubjectsIsStillAnnounced) {
  const ComPtr<IAgendaList> list = Announced<IAgendaList>("delete", "<qid>4</qid>");
  ASSERT_TRUE(list);
  LONG count = -1;
  ASSERT_EQ(list->GetCount(&count), S_OK);
  EXPECT_EQ(count, 0);
}

TEST_F(AgendaDispatchTest, ASyncRecordReadsTheFirstFieldsBelowTheQuery) {
  const ComPtr<IAgendaReply> record = Announced<IAgendaReply>(
      "sync",
      "<subject><qid>11</qid><text>Budget</text></subject><subject><qid>12</qid></subject>");
  ASSERT_TRUE(record);
  Bstr qid;
  ASSERT_EQ(record->GetQid(qid.Put()), S_OK);
  EXPECT_EQ(ToUtf8(qid), "11");
}

TEST_F(AgendaDispatchTest, AnErrorIsAnnouncedOverItsErrorElement) {
  ASSERT_EQ(Deliver("<iq type='error' from='server.example'>"
                    "<query xmlns='quenlo:conf:agenda' type='create'><code>1</code></query>"
                    "<wrap><error code='9'><code>404</code><text>no such item</text></error></wrap>"
                    "</iq>"),
            S_OK);
  ASSERT_EQ(EventPaths(), std::vector<std::string>{"/agenda/error"});
  const ComPtr<IAgendaReply> error = LastResult<IAgendaReply>();
  ASSERT_TRUE(error);
  Bstr code;
  Bstr text;
  ASSERT_EQ(error->GetCode(code.Put()), S_OK);
  ASSERT_EQ(error->GetText(text.Put()), S_OK);
  EXPECT_EQ(ToUtf8(code), "404");  // the element inside "error", not its attribute or the query's
  EXPECT_EQ(ToUtf8(text), "no such item");
}

TEST_F(AgendaDispatchTest, AnErrorWithoutCodeIsAnnouncedAndReadsNoCode) {
  ASSERT_EQ(Deliver("<iq type='error'><query xmlns='quenlo:conf:agenda'/>"
                    "<error code='9'/></iq>"),
            S_OK);
  const ComPtr<IAgendaReply> error = LastResult<IAgendaReply>();
  ASSERT_TRUE(error);
  BSTR untouched = nullptr;
  EXPECT_EQ(error->GetCode(&untouched), S_FALSE);
  EXPECT_EQ(untouched, nullptr);
}

TEST_F(AgendaDispatchTest, AnErrorWithoutErrorElementAnnouncesNothing) {
  EXPECT_EQ(Deliver("<iq type='error' from='hall3@conference.example'>"
                    "<query xmlns='quenlo:conf:agenda'><code>5</code></query></iq>"),
            S_OK);
  EXPECT_TRUE(host_.Events().empty());
}

// While RaiseEvent runs, the module's reference is the object's only one: the object's own count
// shows on every DOM that it goes at once unless the host keeps it. Where the DOM keeps one object
// per node, the reply's elements (which the objects hold) show the same.
TEST_F(AgendaDispatchTest, AnObjectTheHostDoesNotKeepIsDestroyedAtOnce) {
  const bool nodeIdentity = DomKeepsNodeIdentity();
  const ComPtr<IXMLDOMElement> packet =
      ParseXml(ReplyXml("browse", "<subject><qid>1</qid></subject>").c_str());
  const ComPtr<IXMLDOMElement> query = FindElement(packet.Get(), OLESTR("query"));
  const ComPtr<IXMLDOMElement> subject = FindElement(packet.Get(), OLESTR("subject"));
  const ULONG queryBefore = ReferencesOf(query.Get());
  const ULONG subjectBefore = ReferencesOf(subject.Get());

  host_.KeepResults(false);
  ASSERT_EQ(Deliver(packet.Get()), S_OK);
  ASSERT_EQ(EventPaths(), std::vector<std::string>{"/agenda/showall/ok"});
  EXPECT_TRUE(host_.Events()[0].hadResult);
  EXPECT_EQ(host_.Events()[0].referencesDuringEvent, 1u);
  if (nodeIdentity) {
    EXPECT_EQ(ReferencesOf(query.Get()), queryBefore);
    EXPECT_EQ(ReferencesOf(subject.Get()), subjectBefore);
  }

  host_.KeepResults(true);
  ASSERT_EQ(Deliver(packet.Get()), S_OK);
  EXPECT_EQ(host_.Events().back().referencesDuringEvent, 1u);
  EXPECT_EQ(ReferencesOf(host_.Events().back().result.Get()), 1u);  // the host's record alone
  if (nodeIdentity) {
    EXPECT_EQ(ReferencesOf(query.Get()), queryBefore + 1);
    EXPECT_EQ(ReferencesOf(subject.Get()), subjectBefore + 1);
  }
}

}  // namespace

}  // namespace quenlo::confext
