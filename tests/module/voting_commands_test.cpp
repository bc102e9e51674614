// The thirteen voting commands: each request compared as a tree with what the server expects,
// the refusals that send nothing, and the two pending subject collections.
#include <gtest/gtest.h>

#include "voting_fixture.h"

namespace quenlo::confext {

namespace {

// The body of a refer of qid "q" and caption "c", without flags or timeout, with these subjects.
std::string PlainReferBody(const std::string& subjects = "") {
  return "<qid>q</qid><caption>c</caption><multi>false</multi><reg>false</reg><timeout/"
         "><subjects>" +
         subjects + "</subjects>";
}

class VotingCommandsTest : public AttachedVotingTest {
 protected:
  IXMLDOMElement* LastSent() const {
    return host_.Sent().empty() ? nullptr : host_.Sent().back().Get();
  }
};

TEST_F(VotingCommandsTest, ApplyAndShowAllSendAnEmptyQuery) {
  ASSERT_EQ(commands_->Apply(OLESTR("a1")), S_OK);
  EXPECT_TRUE(XmlEquivalent(LastSent(), RequestXml("a1", "apply")));
  ASSERT_EQ(commands_->ShowAll(OLESTR("s1")), S_OK);
  EXPECT_TRUE(XmlEquivalent(LastSent(), RequestXml("s1", "showall")));
  EXPECT_EQ(host_.Sent().size(), 2u);
}

TEST_F(VotingCommandsTest, QidCommandsSendTheirTypeAndOneQid) {
  using Command = HRESULT (STDMETHODCALLTYPE IVotingCommands::*)(const OLECHAR*, const OLECHAR*);
  const struct {
    Command command;
    const char* type;
  } cases[] = {
      {&IVotingCommands::Delete, "delete"},   {&IVotingCommands::Start, "start"},
      {&IVotingCommands::Content, "content"}, {&IVotingCommands::End, "end"},
      {&IVotingCommands::Kithe, "kithe"},     {&IVotingCommands::Result, "result"},
  };
  for (const auto& [command, type] : cases) {
    ASSERT_EQ((commands_.Get()->*command)(OLESTR("r<&>'\""), OLESTR("Q 9&")), S_OK) << type;
    EXPECT_TRUE(XmlEquivalent(
        LastSent(), RequestXml("r&lt;&amp;&gt;&apos;&quot;", type, "<qid>Q 9&amp;</qid>")))
        << type;
  }
  EXPECT_EQ(host_.Sent().size(), 6u);
}

TEST_F(VotingCommandsTest, NullArgumentsStandForEmptyTexts) {
  ASSERT_EQ(commands_->Kithe(nullptr, nullptr), S_OK);
  EXPECT_TRUE(XmlEquivalent(LastSent(), RequestXml("", "kithe", "<qid/>")));
}

TEST_F(VotingCommandsTest, ReferSendsFlagsTimeoutAndSubjectsInIndexOrder) {
  ASSERT_EQ(config_->SetProperty(OLESTR("voting.multiselsect"), OLESTR("1x")), S_OK);
  ASSERT_EQ(config_->SetProperty(OLESTR("voting.timeout"), OLESTR(" 30s")), S_OK);
  EXPECT_EQ(commands_->AddReferSubject(OLESTR("x"), OLESTR("2"), OLESTR("two")), S_OK);
  EXPECT_EQ(commands_->AddReferSubject(OLESTR("x"), OLESTR("10"), OLESTR("ten")), S_OK);
  EXPECT_EQ(commands_->AddReferSubject(OLESTR("x"), OLESTR("1"), OLESTR("one")), S_OK);
  EXPECT_EQ(commands_->AddReferSubject(OLESTR("x"), OLESTR("2"), OLESTR("again")), S_OK);
  EXPECT_EQ(commands_->AddReferSubject(OLESTR("x"), nullptr, OLESTR("unnumbered")), S_OK);

  ASSERT_EQ(commands_->Refer(OLESTR("u1"), OLESTR("Q1"), OLESTR("Lunch?")), S_OK);
  EXPECT_TRUE(XmlEquivalent(
      LastSent(),
      RequestXml("u1", "refer",
                 "<qid>Q1</qid><caption>Lunch?</caption><multi>true</multi><reg>false</"
                 "reg><timeout> 30s</timeout><subjects><subject "
                 "index=''>unnumbered</subject><subject index='1'>one</subject><subject "
                 "index='10'>ten</subject><subject index='2'>two</subject></subjects>")));

  // The subjects went with the request.
  ASSERT_EQ(commands_->Refer(OLESTR("u2"), OLESTR("Q1"), OLESTR("")), S_OK);
  EXPECT_TRUE(
      XmlEquivalent(LastSent(), RequestXml("u2", "refer",
                                           "<qid>Q1</qid><caption/><multi>true</multi><reg>false</"
                                           "reg><timeout> 30s</timeout><subjects/>")));
}

TEST_F(VotingCommandsTest, ReferFlagsAreTrueOnlyForTheIntegerOne) {
  const struct {
    const OLECHAR* value;
    const char* flag;
  } cases[] = {{OLESTR("0"), "false"},    {OLESTR("1"), "true"},   {OLESTR(" 1"), "true"},
               {OLESTR("01"), "true"},    {OLESTR("+1z"), "true"}, {OLESTR("2"), "false"},
               {OLESTR("true"), "false"}, {OLESTR(""), "false"},   {OLESTR("4294967297"), "false"}};
  for (const auto& [value, flag] : cases) {
    ASSERT_EQ(config_->SetProperty(OLESTR("voting.registered"), value), S_OK);
    ASSERT_EQ(config_->SetProperty(OLESTR("voting.multiselsect"), value), S_OK);
    ASSERT_EQ(commands_->Refer(OLESTR("f"), OLESTR("q"), OLESTR("c")), S_OK);
    const std::string body = std::string("<qid>q</qid><caption>c</caption><multi>") + flag +
                             "</multi><reg>" + flag + "</reg><timeout/><subjects/>";
    EXPECT_TRUE(XmlEquivalent(LastSent(), RequestXml("f", "refer", body))) << ToUtf8(value);
  }
}

TEST_F(VotingCommandsTest, AddReferSubjectNeedsAnIdAndAText) {
  EXPECT_EQ(commands_->AddReferSubject(nullptr, OLESTR("1"), OLESTR("a")), S_FALSE);
  EXPECT_EQ(commands_->AddReferSubject(OLESTR(""), OLESTR("1"), OLESTR("a")), S_FALSE);
  EXPECT_EQ(commands_->AddReferSubject(OLESTR("x"), OLESTR("1"), nullptr), S_FALSE);
  EXPECT_EQ(commands_->AddReferSubject(OLESTR("x"), OLESTR("1"), OLESTR("")), S_FALSE);
  ASSERT_EQ(commands_->Refer(OLESTR("u"), OLESTR("q"), OLESTR("c")), S_OK);
  EXPECT_TRUE(XmlEquivalent(LastSent(), RequestXml("u", "refer", PlainReferBody())));
}

TEST_F(VotingCommandsTest, ClearReferSubjectsEmptiesTheMapWhateverItsArgument) {
  ASSERT_EQ(commands_->AddReferSubject(OLESTR("x"), OLESTR("1"), OLESTR("a")), S_OK);
  EXPECT_EQ(commands_->ClearReferSubjects(nullptr), S_OK);
  ASSERT_EQ(commands_->AddReferSubject(OLESTR("x"), OLESTR("1"), OLESTR("b")), S_OK);
  ASSERT_EQ(commands_->Refer(OLESTR("u"), OLESTR("q"), OLESTR("c")), S_OK);
  EXPECT_TRUE(XmlEquivalent(
      LastSent(), RequestXml("u", "refer", PlainReferBody("<subject index='1'>b</subject>"))));
}

// The server relies on the qid text standing inside "subjects" ahead of the subjects.
TEST_F(VotingCommandsTest, VotingRepeatsTheQidInsideSubjectsAndSendsBallotsInOrder) {
  EXPECT_EQ(commands_->AddVotingSubject(OLESTR("b")), S_OK);
  EXPECT_EQ(commands_->AddVotingSubject(OLESTR("a")), S_OK);
  EXPECT_EQ(commands_->AddVotingSubject(OLESTR("b")), S_OK);
  EXPECT_EQ(commands_->AddVotingSubject(nullptr), S_OK);
  ASSERT_EQ(commands_->Voting(OLESTR("v1"), OLESTR("Q5")), S_OK);
  EXPECT_TRUE(XmlEquivalent(LastSent(),
                            RequestXml("v1", "voting",
                                       "<qid>Q5</qid><subjects>Q5<subject>b</subject><subject>a</"
                                       "subject><subject>b</subject><subject/></subjects>")));

  ASSERT_EQ(commands_->Voting(OLESTR("v2"), OLESTR("Q5")), S_OK);
  EXPECT_TRUE(XmlEquivalent(LastSent(),
                            RequestXml("v2", "voting", "<qid>Q5</qid><subjects>Q5</subjects>")));
}

TEST_F(VotingCommandsTest, TheSameIdMayBeUsedAgain) {
  EXPECT_EQ(commands_->Apply(OLESTR("same")), S_OK);
  EXPECT_EQ(commands_->Apply(OLESTR("same")), S_OK);
  EXPECT_EQ(host_.Sent().size(), 2u);
}

TEST_F(VotingCommandsTest, ARequestIsAFreeStandingTreeHeldOnlyByTheHost) {
  ASSERT_EQ(commands_->Kithe(OLESTR("k"), OLESTR("q")), S_OK);
  IXMLDOMElement* sent = LastSent();
  EXPECT_EQ(ReferencesOf(sent), 1u);
  ComPtr<IXMLDOMNode> parent;
  EXPECT_EQ(sent->get_parentNode(parent.Put()), S_FALSE);
  EXPECT_FALSE(parent);
}

// Everything that cannot go out leaves both subject collections as they were.
class VotingRefusalTest : public VotingTest {
 protected:
  void Fill() {
    ASSERT_EQ(commands_->AddReferSubject(OLESTR("x"), OLESTR("1"), OLESTR("kept")), S_OK);
    ASSERT_EQ(commands_->AddVotingSubject(OLESTR("kept too")), S_OK);
  }

  void ExpectEverySendRefused(const char* state) {
    EXPECT_EQ(commands_->Apply(OLESTR("i")), S_FALSE) << state;
    EXPECT_EQ(commands_->Delete(OLESTR("i"), OLESTR("q")), S_FALSE) << state;
    EXPECT_EQ(commands_->Start(OLESTR("i"), OLESTR("q")), S_FALSE) << state;
    EXPECT_EQ(commands_->Refer(OLESTR("i"), OLESTR("q"), OLESTR("c")), S_FALSE) << state;
    EXPECT_EQ(commands_->Content(OLESTR("i"), OLESTR("q")), S_FALSE) << state;
    EXPECT_EQ(commands_->ShowAll(OLESTR("i")), S_FALSE) << state;
    EXPECT_EQ(commands_->End(OLESTR("i"), OLESTR("q")), S_FALSE) << state;
    EXPECT_EQ(commands_->Kithe(OLESTR("i"), OLESTR("q")), S_FALSE) << state;
    EXPECT_EQ(commands_->Result(OLESTR("i"), OLESTR("q")), S_FALSE) << state;
    EXPECT_EQ(commands_->Voting(OLESTR("i"), OLESTR("q")), S_FALSE) << state;
    EXPECT_TRUE(host_.Sent().empty());
  }

  // Once the session can send, the kept subjects go out.
  void ExpectSubjectsKept() {
    ASSERT_EQ(commands_->Refer(OLESTR("r"), OLESTR("q"), OLESTR("c")), S_OK);
    EXPECT_TRUE(XmlEquivalent(
        host_.Sent().back().Get(),
        RequestXml("r", "refer", PlainReferBody("<subject index='1'>kept</subject>"))));
    ASSERT_EQ(commands_->Voting(OLESTR("v"), OLESTR("q")), S_OK);
    EXPECT_TRUE(
        XmlEquivalent(host_.Sent().back().Get(),
                      RequestXml("v", "voting",
                                 "<qid>q</qid><subjects>q<subject>kept too</subject></subjects>")));
  }
};

TEST_F(VotingRefusalTest, NothingIsSentWithoutARoomOrAHost) {
  ASSERT_EQ(config_->Attach(&host_), S_OK);
  Fill();
  ExpectEverySendRefused("no room ever set");
  ASSERT_EQ(config_->Detach(), S_OK);
  SetRoom();
  ExpectEverySendRefused("never attached");
  ASSERT_EQ(config_->Attach(&host_), S_OK);
  SetRoom(OLESTR(""));
  ExpectEverySendRefused("room set back to empty");
  SetRoom();
  ASSERT_EQ(config_->Detach(), S_OK);
  ExpectEverySendRefused("detached");
  ASSERT_EQ(config_->Attach(&host_), S_OK);
  ExpectSubjectsKept();
}

// A text XML cannot carry would make the server drop the connection: nothing is sent.
TEST_F(VotingRefusalTest, TextsXmlCannotCarry) {
  AttachToRoom();
  Fill();
  const OLECHAR control[] = {u'a', 0x0001, 0};
  EXPECT_EQ(commands_->Apply(control), S_FALSE);
  EXPECT_EQ(commands_->Delete(OLESTR("i"), control), S_FALSE);
  EXPECT_EQ(commands_->Refer(OLESTR("i"), OLESTR("q"), control), S_FALSE);
  EXPECT_EQ(commands_->Voting(OLESTR("i"), control), S_FALSE);
  EXPECT_TRUE(host_.Sent().empty());
  ExpectSubjectsKept();

  const OLECHAR loneSurrogate[] = {0xD800, 0};
  ASSERT_EQ(commands_->AddReferSubject(OLESTR("x"), loneSurrogate, OLESTR("t")), S_OK);
  EXPECT_EQ(commands_->Refer(OLESTR("i"), OLESTR("q"), OLESTR("c")), S_FALSE);
  EXPECT_EQ(host_.Sent().size(), 2u);
}

// A ballot subject XML cannot carry is refused as it comes in: stored, it would make every later
// Voting refuse to build, and nothing empties the ballot list.
TEST_F(VotingRefusalTest, ABallotSubjectXmlCannotCarryIsRefusedAndPoisonsNothing) {
  AttachToRoom();
  const OLECHAR loneSurrogate[] = {u'a', 0xD800, 0};
  const OLECHAR control[] = {0x001F, 0};
  EXPECT_EQ(commands_->AddVotingSubject(OLESTR("before")), S_OK);
  EXPECT_EQ(commands_->AddVotingSubject(loneSurrogate), S_FALSE);
  EXPECT_EQ(commands_->AddVotingSubject(control), S_FALSE);
  EXPECT_EQ(commands_->AddVotingSubject(OLESTR("after")), S_OK);
  ASSERT_EQ(commands_->Voting(OLESTR("v"), OLESTR("q")), S_OK);
  EXPECT_TRUE(XmlEquivalent(host_.Sent().back().Get(),
                            RequestXml("v", "voting",
                                       "<qid>q</qid><subjects>q<subject>before</subject>"
                                       "<subject>after</subject></subjects>")));
}

}  // namespace

}  // namespace quenlo::confext
