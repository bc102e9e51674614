// VotingReply: the single values read on demand and the subjects listed by index.
#include <gtest/gtest.h>

#include "voting_fixture.h"

namespace quenlo::confext {

namespace {

class VotingReplyTest : public AttachedVotingTest {
 protected:
  std::vector<std::string> Subjects(IVotingReply* reply) {
    LONG count = -1;
    EXPECT_EQ(reply->GetSubjectCount(&count), S_OK);
    std::vector<std::string> texts;
    for (LONG position = 0; position < count; ++position) {
      const OLECHAR* text = nullptr;
      EXPECT_EQ(reply->GetSubject(position, &text), S_OK);
      texts.push_back(ToUtf8(text));
    }
    return texts;
  }
};

TEST_F(VotingReplyTest, SubjectsAreListedByIndexInCodeUnitOrder) {
  const ComPtr<IVotingReply> reply = Announced<IVotingReply>(
      "content",
      "<subjects><subject index='2'>two</subject><subject index='10'>ten</subject></subjects>"
      "<subject index='1'>one</subject><subject index='Z'>zed</subject>"
      "<x><subject index='a'>ay</subject></x><subject index='\xC3\xA9'>e</subject>");
  ASSERT_TRUE(reply);
  EXPECT_EQ(Subjects(reply.Get()),
            (std::vector<std::string>{"one", "ten", "two", "zed", "ay", "e"}));
  const OLECHAR* text = reinterpret_cast<const OLECHAR*>(&host_);
  EXPECT_EQ(reply->GetSubject(6, &text), S_FALSE);
  EXPECT_EQ(reply->GetSubject(-1, &text), S_FALSE);
  EXPECT_EQ(text, reinterpret_cast<const OLECHAR*>(&host_));
}

TEST_F(VotingReplyTest, RepeatedIndexesAreCountedButShowTheFirstText) {
  const ComPtr<IVotingReply> reply =
      Announced<IVotingReply>("voting",
                              "<subject index='1'>A</subject><subject index='0'>Z</subject>"
                              "<subject index='1'>B</subject>");
  ASSERT_TRUE(reply);
  EXPECT_EQ(Subjects(reply.Get()), (std::vector<std::string>{"Z", "A", "A"}));
}

TEST_F(VotingReplyTest, SubjectTextIsTheConcatenatedTextOfTheElement) {
  const ComPtr<IVotingReply> reply =
      Announced<IVotingReply>("content",
                              "<subject index='1'>a<b>b</b>c</subject>"
                              "<subject index='2'/>");
  ASSERT_TRUE(reply);
  EXPECT_EQ(Subjects(reply.Get()), (std::vector<std::string>{"abc", ""}));
}

TEST_F(VotingReplyTest, TextValuesComeFromTheFirstElementAtAnyDepth) {
  const ComPtr<IVotingReply> reply = Announced<IVotingReply>(
      "refer", "<a><qid>Q<i>7</i></qid></a><qid>second</qid><caption></caption>");
  ASSERT_TRUE(reply);
  Bstr qid;
  ASSERT_EQ(reply->GetQid(qid.Put()), S_OK);
  EXPECT_EQ(ToUtf8(qid), "Q7");
  Bstr caption;
  ASSERT_EQ(reply->GetCaption(caption.Put()), S_OK);
  EXPECT_EQ(ToUtf8(caption), "");
  EXPECT_EQ(reply->GetQid(nullptr), E_POINTER);
}

TEST_F(VotingReplyTest, MissingValuesAnswerOneAndLeaveTheOutputs) {
  const ComPtr<IVotingReply> reply = Announced<IVotingReply>("apply", "");
  ASSERT_TRUE(reply);
  BSTR text = reinterpret_cast<BSTR>(&host_);
  EXPECT_EQ(reply->GetQid(&text), S_FALSE);
  EXPECT_EQ(reply->GetCaption(&text), S_FALSE);
  EXPECT_EQ(reply->GetCode(&text), S_FALSE);
  EXPECT_EQ(text, reinterpret_cast<BSTR>(&host_));
  LONG value = 77;
  EXPECT_EQ(reply->GetMulti(&value), S_FALSE);
  EXPECT_EQ(reply->GetReg(&value), S_FALSE);
  EXPECT_EQ(reply->GetTimeout(&value), S_FALSE);
  EXPECT_EQ(value, 77);
}

TEST_F(VotingReplyTest, TruthValuesKnowOnlyTrueAndFalse) {
  const struct {
    const char* text;
    LONG expected;
  } cases[] = {{"true", 1}, {"TRUE", 1},   {"False", 0}, {"false", 0}, {"yes", 77},
               {"1", 77},   {"t rue", 77}, {"", 77},     {" true ", 1}};
  for (const auto& [text, expected] : cases) {
    const std::string body = std::string("<multi>") + text + "</multi><reg>" + text + "</reg>";
    ASSERT_EQ(Deliver(ReplyXml("apply", body)), S_OK);
    const ComPtr<IVotingReply> reply = LastResult<IVotingReply>();
    ASSERT_TRUE(reply);
    LONG multi = 77;
    LONG reg = 77;
    EXPECT_EQ(reply->GetMulti(&multi), S_OK) << text;
    EXPECT_EQ(reply->GetReg(&reg), S_OK) << text;
    EXPECT_EQ(multi, expected) << text;
    EXPECT_EQ(reg, expected) << text;
  }
}

TEST_F(VotingReplyTest, TimeoutReadsLikeAtoiAndSaturates) {
  const struct {
    const char* text;
    LONG expected;
  } cases[] = {{" 30x", 30},
               {"abc", 0},
               {"", 0},
               {"-12", -12},
               {"+7", 7},
               {"99999999999", 2147483647},
               {"-99999999999", -2147483647 - 1}};
  for (const auto& [text, expected] : cases) {
    ASSERT_EQ(Deliver(ReplyXml("apply", std::string("<timeout>") + text + "</timeout>")), S_OK);
    const ComPtr<IVotingReply> reply = LastResult<IVotingReply>();
    ASSERT_TRUE(reply);
    LONG timeout = 77;
    EXPECT_EQ(reply->GetTimeout(&timeout), S_OK) << text;
    EXPECT_EQ(timeout, expected) << text;
  }
}

TEST_F(VotingReplyTest, CodeIsTheAttributeOfTheQueryItself) {
  const ComPtr<IVotingReply> reply =
      Announced<IVotingReply>("delete", "<code>9</code><x code='8'/>");
  ASSERT_TRUE(reply);
  BSTR code = reinterpret_cast<BSTR>(&host_);
  EXPECT_EQ(reply->GetCode(&code), S_FALSE);
  EXPECT_EQ(code, reinterpret_cast<BSTR>(&host_));

  ASSERT_EQ(Deliver("<iq from='room7@conference.example'><query xmlns='quenlo:conf:voting' "
                    "type='delete' code='0'/></iq>"),
            S_OK);
  const ComPtr<IVotingReply> coded = LastResult<IVotingReply>();
  Bstr zero;
  ASSERT_EQ(coded->GetCode(zero.Put()), S_OK);
  EXPECT_EQ(ToUtf8(zero), "0");
}

TEST_F(VotingReplyTest, ValuesAreReadFromTheElementEachTime) {
  const ComPtr<IXMLDOMElement> iq = ParseXml(
      "<iq from='room7@conference.example'><query xmlns='quenlo:conf:voting' type='apply'>"
      "<qid>old</qid></query></iq>");
  ASSERT_EQ(Deliver(iq.Get()), S_OK);
  const ComPtr<IVotingReply> reply = LastResult<IVotingReply>();
  ASSERT_TRUE(reply);
  Bstr first;
  ASSERT_EQ(reply->GetQid(first.Put()), S_OK);
  EXPECT_EQ(ToUtf8(first), "old");

  ComPtr<IXMLDOMNodeList> qids;
  ASSERT_EQ(iq->getElementsByTagName(Bstr::Copy(OLESTR("qid")).Get(), qids.Put()), S_OK);
  ComPtr<IXMLDOMNode> qid;
  ASSERT_EQ(qids->get_item(0, qid.Put()), S_OK);
  ASSERT_EQ(qid->put_text(Bstr::Copy(OLESTR("new")).Get()), S_OK);
  Bstr second;
  ASSERT_EQ(reply->GetQid(second.Put()), S_OK);
  EXPECT_EQ(ToUtf8(second), "new");
}

}  // namespace

}  // namespace quenlo::confext
