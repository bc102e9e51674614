// Reply dispatch: the ten rows of the table with their renamed paths and result objects, types
// that match no row, the error path, and the lifetime of announced objects.
#include <gtest/gtest.h>

#include "voting_fixture.h"

namespace quenlo::confext {

namespace {

using VotingDispatchTest = AttachedVotingTest;

struct Row {
  const char* queryType;
  const char* eventPath;
  const IID* resultInterface;
};

TEST_F(VotingDispatchTest, EveryRowAnnouncesItsPathAndResultObject) {
  const Row rows[] = {
      {"apply", "/voting/apply/ok", &IID_IVotingReply},
      {"showall", "/voting/showall/ok", &IID_IVotingSubjectList},
      {"voting", "/voting/voting/ok", &IID_IVotingReply},
      {"delete", "/voting/delete/ok", &IID_IVotingReply},
      {"refer", "/voting/upload/ok", &IID_IVotingReply},
      {"content", "/voting/getvoting/ok", &IID_IVotingReply},
      {"start", "/voting/start/ok", &IID_IVotingReply},
      {"end", "/voting/end/ok", &IID_IVotingReply},
      {"kithe", "/voting/kithe/ok", &IID_IVotingDetail},
      {"result", "/voting/look/ok", &IID_IVotingDetail},
  };
  for (const Row& row : rows) {
    ASSERT_EQ(Deliver(ReplyXml(row.queryType)), S_OK) << row.queryType;
    ASSERT_FALSE(host_.Events().empty());
    const RecordingHost::Event& event = host_.Events().back();
    EXPECT_EQ(ToUtf8(event.eventPath), row.eventPath);
    EXPECT_EQ(event.reserved, 0);
    ASSERT_TRUE(event.result) << row.queryType;
    // The announced pointer is the result interface itself, not IUnknown.
    void* expected = nullptr;
    ASSERT_EQ(event.result->QueryInterface(*row.resultInterface, &expected), S_OK);
    EXPECT_EQ(static_cast<void*>(event.result.Get()), expected) << row.queryType;
    event.result->Release();
  }
  EXPECT_EQ(host_.Events().size(), 10u);
}

TEST_F(VotingDispatchTest, QueryTypesFoldAsciiCaseOnlyAndMatchWhole) {
  EXPECT_EQ(Deliver(ReplyXml("APPLY")), S_OK);
  EXPECT_EQ(Deliver(ReplyXml("ReSuLt")), S_OK);
  EXPECT_EQ(EventPaths(), (std::vector<std::string>{"/voting/apply/ok", "/voting/look/ok"}));
  for (const char* type : {" apply", "apply ", "applies", "", "upload", "look", "error",
                           "\xC3\xA1pply", "showAll\xC2\xA0"}) {
    EXPECT_EQ(Deliver(ReplyXml(type)), S_OK) << type;
  }
  EXPECT_EQ(host_.Events().size(), 2u);
}

TEST_F(VotingDispatchTest, AnsweredOrNotEveryIqIsDispatchedByItsQueryType) {
  EXPECT_EQ(Deliver("<iq type='set' from='room7@conference.example'>"
                    "<query xmlns='quenlo:conf:voting' type='start'/></iq>"),
            S_OK);
  EXPECT_EQ(Deliver("<iq type='get' from='room7@conference.example'>"
                    "<query xmlns='quenlo:conf:voting' type='end'/></iq>"),
            S_OK);
  EXPECT_EQ(EventPaths(), (std::vector<std::string>{"/voting/start/ok", "/voting/end/ok"}));
}

// The object is abandoned inside the dispatcher; the packet itself was this session's.
TEST_F(VotingDispatchTest, ASubjectMissingARequiredAttributeAnnouncesNothing) {
  EXPECT_EQ(Deliver(ReplyXml("content", "<subject index='1'>a</subject><subject>b</subject>")),
            S_OK);
  EXPECT_EQ(Deliver(ReplyXml("showall", "<subject id='1'>a</subject>")), S_OK);
  EXPECT_EQ(Deliver(ReplyXml("showall", "<subject type='1'>a</subject>")), S_OK);
  EXPECT_EQ(Deliver(ReplyXml("kithe", "<subject index='1' count='2'/>")), S_OK);
  EXPECT_EQ(Deliver(ReplyXml("kithe", "<subject name='x' count='2'/>")), S_OK);
  EXPECT_EQ(Deliver(ReplyXml("result", "<subject name='x' index='1'/>")), S_OK);
  EXPECT_TRUE(host_.Events().empty());
  // With users, no count is needed.
  EXPECT_EQ(Deliver(ReplyXml("result", "<subject name='x' index='1'><user>u</user></subject>")),
            S_OK);
  EXPECT_EQ(EventPaths(), std::vector<std::string>{"/voting/look/ok"});
}

TEST_F(VotingDispatchTest, AReplyWithoutSubjectsIsStillAnnounced) {
  const ComPtr<IVotingReply> reply = Announced<IVotingReply>("start", "<qid>9</qid>");
  ASSERT_TRUE(reply);
  LONG count = -1;
  EXPECT_EQ(reply->GetSubjectCount(&count), S_OK);
  EXPECT_EQ(count, 0);
}

TEST_F(VotingDispatchTest, AnErrorIsAnnouncedOverItsErrorElement) {
  ASSERT_EQ(Deliver("<iq type='error' from='anyone'><query xmlns='quenlo:conf:voting' "
                    "type='refer' code='7'/><wrap><error code='503'><qid>Q2</qid>"
                    "<subject index='1'>s</subject></error></wrap><error code='2'/></iq>"),
            S_OK);
  ASSERT_EQ(EventPaths(), std::vector<std::string>{"/voting/error"});
  const ComPtr<IVotingReply> reply = LastResult<IVotingReply>();
  ASSERT_TRUE(reply);
  Bstr code;
  ASSERT_EQ(reply->GetCode(code.Put()), S_OK);
  EXPECT_EQ(ToUtf8(code), "503");
  Bstr qid;
  ASSERT_EQ(reply->GetQid(qid.Put()), S_OK);
  EXPECT_EQ(ToUtf8(qid), "Q2");
  LONG count = 0;
  ASSERT_EQ(reply->GetSubjectCount(&count), S_OK);
  EXPECT_EQ(count, 1);
}

// While RaiseEvent runs, the module's reference is the object's only one, so the object goes when
// RaiseEvent returns unless the host took one: the object's own count shows it on every DOM. Where
// the DOM keeps one object per node, the element's count (the object holds the one reference on
// it that outlives OnPacket) shows the object gone as well.
TEST_F(VotingDispatchTest, AnObjectTheHostDoesNotKeepIsDestroyedAfterRaiseEvent) {
  const bool nodeIdentity = DomKeepsNodeIdentity();
  host_.KeepResults(false);
  const ComPtr<IXMLDOMElement> iq =
      ParseXml(ReplyXml("kithe", "<subject name='a' index='1' count='3'/>").c_str());
  ComPtr<IXMLDOMNode> first;
  ASSERT_EQ(iq->get_firstChild(first.Put()), S_OK);
  const ComPtr<IXMLDOMElement> queryElement = first.As<IXMLDOMElement>();
  const ULONG before = ReferencesOf(queryElement.Get());
  ASSERT_EQ(Deliver(iq.Get()), S_OK);
  ASSERT_EQ(host_.Events().size(), 1u);
  EXPECT_TRUE(host_.Events()[0].hadResult);
  EXPECT_EQ(host_.Events()[0].referencesDuringEvent, 1u);
  if (nodeIdentity) {
    EXPECT_EQ(ReferencesOf(queryElement.Get()), before);
  }

  host_.KeepResults(true);
  ASSERT_EQ(Deliver(iq.Get()), S_OK);
  EXPECT_EQ(host_.Events().back().referencesDuringEvent, 1u);
  const ComPtr<IUnknown> kept = host_.Events().back().result;
  ASSERT_TRUE(kept);
  if (nodeIdentity) {
    EXPECT_EQ(ReferencesOf(queryElement.Get()), before + 1);
  }
  EXPECT_EQ(ReferencesOf(kept.Get()), 2u);  // the host's record and this test's copy
}

TEST_F(VotingDispatchTest, AKeptObjectOutlivesThePacketAndTheSession) {
  {
    const ComPtr<IXMLDOMElement> iq = ParseXml(
        ReplyXml("content", "<caption>Lunch</caption><subject index='1'>Soup</subject>").c_str());
    ASSERT_EQ(Deliver(iq.Get()), S_OK);
  }
  const ComPtr<IVotingReply> reply = LastResult<IVotingReply>();
  ASSERT_TRUE(reply);
  config_->Detach();
  commands_ = nullptr;
  sink_ = nullptr;
  config_ = nullptr;
  session_ = nullptr;
  Bstr caption;
  ASSERT_EQ(reply->GetCaption(caption.Put()), S_OK);
  EXPECT_EQ(ToUtf8(caption), "Lunch");
  const OLECHAR* subject = nullptr;
  ASSERT_EQ(reply->GetSubject(0, &subject), S_OK);
  EXPECT_EQ(ToUtf8(subject), "Soup");
}

}  // namespace

}  // namespace quenlo::confext
