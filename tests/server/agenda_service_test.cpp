#include <string>
#include <vector>

#include "server/request_error.h"
#include "server_fixture.h"

namespace quenlo::server::testing {
namespace {

int Code(ErrorCode code) { return static_cast<int>(code); }

std::string Item(const std::string& qid, const std::string& text, const std::string& time = "") {
  return "<subject><qid>" + qid + "</qid><text>" + text + "</text><time>" + time +
         "</time><type>talk</type><value>5</value></subject>";
}

std::vector<std::string> QidsOf(const Packet& reply) {
  std::vector<std::string> qids;
  for (const pugi::xml_node subject : reply.query().children("subject")) {
    qids.push_back(subject.child("qid").text().get());
  }
  return qids;
}

using AgendaTest = ServerTest;

TEST_F(AgendaTest, ItemsAreCreatedModifiedDeletedAndBrowsed) {
  const Packet& created = To(Agenda(kAnn, "create", Item("a", "Welcome", "09:00")), kAnn);
  EXPECT_EQ(created.type(), "result");
  EXPECT_STREQ(created.query().child("subject").child("time").text().get(), "09:00");
  To(Agenda(kAnn, "create", Item("b", "Budget")), kAnn);
  EXPECT_EQ(To(Agenda(kAnn, "create", Item("a", "Again")), kAnn).ErrorCode(),
            Code(ErrorCode::kDuplicateAgendaItem));

  const Packet& modified = To(Agenda(kAnn, "modify", Item("a", "Welcome back")), kAnn);
  EXPECT_STREQ(modified.query().child("subject").child("text").text().get(), "Welcome back");
  EXPECT_EQ(To(Agenda(kAnn, "modify", Item("z", "None")), kAnn).ErrorCode(),
            Code(ErrorCode::kUnknownAgendaItem));

  const Packet& browsed = To(Agenda(kCid, "browse"), kCid);
  EXPECT_EQ(QidsOf(browsed), (std::vector<std::string>{"a", "b"}));
  EXPECT_STREQ(browsed.query().child("subject").child("text").text().get(), "Welcome back");
  EXPECT_STREQ(browsed.query().child("subject").child("type").text().get(), "talk");

  const Packet& deleted = To(Agenda(kAnn, "delete", "<qid>a</qid>"), kAnn);
  EXPECT_STREQ(deleted.query().child("subject").child("text").text().get(), "Welcome back");
  EXPECT_EQ(QidsOf(To(Agenda(kCid, "browse"), kCid)), (std::vector<std::string>{"b"}));
  const Packet& refused = To(Agenda(kAnn, "delete", "<qid>a</qid>"), kAnn);
  EXPECT_EQ(refused.ErrorCode(), Code(ErrorCode::kUnknownAgendaItem));
  EXPECT_STREQ(refused.iq().child("error").child("qid").text().get(), "a");
}

TEST_F(AgendaTest, ChangesArePushedToTheOthersButBrowsingIsNot) {
  for (const auto& [type, body] :
       std::vector<std::pair<std::string, std::string>>{{"create", Item("a", "Welcome")},
                                                        {"modify", Item("a", "Hello")},
                                                        {"sync", "<qid>a</qid>"},
                                                        {"delete", "<qid>a</qid>"}}) {
    const auto packets = Agenda(kAnn, type, body);
    ASSERT_EQ(packets.size(), 3u) << type;
    EXPECT_EQ(To(packets, kAnn).type(), "result");
    for (const char* other : {kBob, kCid}) {
      const Packet& push = To(packets, other);
      EXPECT_EQ(push.type(), "set");
      EXPECT_EQ(push.query().attribute("type").value(), type);
      EXPECT_EQ(QidsOf(push), std::vector<std::string>{"a"}) << type;
    }
  }
  EXPECT_EQ(Agenda(kBob, "browse").size(), 1u);
  EXPECT_EQ(Agenda(kBob, "request").size(), 1u);
}

TEST_F(AgendaTest, RequestGivesTheItemLastSynced) {
  Agenda(kAnn, "create", Item("a", "Welcome"));
  Agenda(kAnn, "create", Item("b", "Budget"));
  EXPECT_FALSE(To(Agenda(kBob, "request"), kBob).query().first_child());

  EXPECT_EQ(QidsOf(To(Agenda(kAnn, "sync", "<qid>b</qid>"), kAnn)), std::vector<std::string>{"b"});
  Agenda(kAnn, "modify", Item("b", "Budget 2025"));
  const Packet& current = To(Agenda(kBob, "request"), kBob);
  EXPECT_STREQ(current.query().child("subject").child("text").text().get(), "Budget 2025");

  EXPECT_EQ(To(Agenda(kAnn, "sync", "<qid>zz</qid>"), kAnn).ErrorCode(),
            Code(ErrorCode::kUnknownAgendaItem));
  EXPECT_EQ(QidsOf(To(Agenda(kBob, "request"), kBob)), std::vector<std::string>{"b"});

  Agenda(kAnn, "delete", "<qid>b</qid>");
  EXPECT_FALSE(To(Agenda(kBob, "request"), kBob).query().first_child());
}

TEST_F(AgendaTest, MalformedItemsAreRefused) {
  for (const std::string& body :
       {std::string(), std::string("<subject><text>t</text></subject>"), Item("", "No key")}) {
    EXPECT_EQ(To(Agenda(kAnn, "create", body), kAnn).ErrorCode(),
              Code(ErrorCode::kMalformedRequest))
        << body;
  }
  EXPECT_EQ(To(Agenda(kAnn, "sync"), kAnn).ErrorCode(), Code(ErrorCode::kMalformedRequest));
  EXPECT_TRUE(QidsOf(To(Agenda(kAnn, "browse"), kAnn)).empty());
}

}  // namespace
}  // namespace quenlo::server::testing
