// Out of memory at every allocation of a command, a reply route read through every accessor, a
// property change and session creation. Whichever allocation fails, the call keeps its contract
// (a command sends its whole request or nothing, and reports which; a packet is announced with
// true values or not at all; a property change succeeds or raises E_OUTOFMEMORY, never another
// exception), the session still works once memory is back, and nothing is left alive.
#include <gtest/gtest.h>
#include <quenlo/extension.h>

#include <exception>
#include <string>

#include "agenda_fixture.h"
#include "allocation_walk.h"
#include "platform/allocation_probe.h"
#include "sheltered_host.h"
#include "support/xml_equivalence.h"
#include "voting_fixture.h"
#include "xml/element_lookup.h"

namespace quenlo::confext {

namespace {

using Voting = SessionFixture<VotingProduct>;
using Agenda = SessionFixture<AgendaProduct>;

// The status of a call that may raise the platform's error object; any other exception is a
// fault of its own (it would cross the host boundary as nothing the contract names).
template <class Call>
HRESULT StatusOf(Call&& call, const char* what = "a command") {
  try {
    return call();
  } catch (const _com_error& error) {
    return error.Error();
  } catch (const std::exception& error) {
    ADD_FAILURE() << "an exception outside the contract escaped " << what << ": " << error.what();
  } catch (...) {
    ADD_FAILURE() << "an unknown exception escaped " << what;
  }
  return E_UNEXPECTED;
}

// The status of a call into the module made with the scheduled allocation failure armed (and
// only that call: the test's own reading and checking must not fail). The packet filter and the
// accessors must let no exception out at all.
template <class Call>
HRESULT ArmedStatus(FailureSchedule& schedule, const char* what, Call&& call) {
  HRESULT status = E_UNEXPECTED;
  schedule.Armed([&] {
    try {
      status = call();
    } catch (const std::exception& error) {
      ADD_FAILURE() << "an exception escaped " << what << ": " << error.what();
    } catch (...) {
      ADD_FAILURE() << "an exception escaped " << what;
    }
  });
  return status;
}
#define READ(object, call) ArmedStatus(schedule, #call, [&] { return object->call; })

// A session of the product attached to a sheltered recording host in its room.
template <class Product>
struct AttachedSession {
  AttachedSession() : sheltered(host) {
    session = ComPtr<IUnknown>((new typename Product::Session())->Primary());
    config = session.template As<IConferenceSession>();
    commands = session.template As<typename Product::Commands>();
    sink = session.template As<IPacketSink>();
    EXPECT_EQ(config->SetProperty(Product::kRoomProperty, Product::kRoom), S_OK);
    EXPECT_EQ(config->Attach(&sheltered), S_OK);
  }
  ~AttachedSession() { config->Detach(); }

  IXMLDOMElement* LastSent() const {
    return host.Sent().empty() ? nullptr : host.Sent().back().Get();
  }

  RecordingHost host;
  ShelteredHost sheltered;
  ComPtr<IUnknown> session;
  ComPtr<IConferenceSession> config;
  ComPtr<typename Product::Commands> commands;
  ComPtr<IPacketSink> sink;
};

// Delivers the packet with the scheduled failure armed. The filter must answer 0 or 1 and announce
// at most once, under eventPath; result is then the announced object as Interface, and stays
// empty when nothing was announced or the object could not be allocated.
template <class Interface, class Product>
void DeliverArmed(FailureSchedule& schedule, AttachedSession<Product>& attached,
                  IXMLDOMElement* packet, const char* eventPath, ComPtr<Interface>& result) {
  const HRESULT status = ArmedStatus(schedule, "OnPacket",
                                     [&] { return attached.sink->OnPacket(nullptr, packet, 0); });
  EXPECT_TRUE(status == S_OK || status == S_FALSE) << "OnPacket answered " << status;
  ASSERT_LE(attached.host.Events().size(), 1u);
  if (attached.host.Events().empty()) return;
  EXPECT_EQ(ToUtf8(attached.host.Events()[0].eventPath), eventPath);
  result = attached.host.Events()[0].result.template As<Interface>();
}

// A command either answers 0 and sends its whole request, or refuses (1, or E_OUTOFMEMORY
// raised) and sends nothing.
void ExpectWholeRequestOrNothing(HRESULT status, const RecordingHost& host,
                                 const std::string& request) {
  if (status == S_OK) {
    ASSERT_EQ(host.Sent().size(), 1u);
    EXPECT_TRUE(XmlEquivalent(host.Sent().back().Get(), request));
  } else {
    EXPECT_TRUE(status == S_FALSE || status == E_OUTOFMEMORY) << "status " << status;
    EXPECT_TRUE(host.Sent().empty()) << "a refused command sent a request";
  }
}

// The two string copies differ only in how they report a refused allocation: Copy throws, TryCopy
// answers a null string and leaves the caller to answer its status.
TEST(AllocationFailureTest, StringCopiesReportARefusedAllocationAsTheirKindSays) {
  QuenloProbeFailAllocation(1);
  EXPECT_EQ(Bstr::TryCopy(OLESTR("text")).Get(), nullptr);
  QuenloProbeFailAllocation(1);
  EXPECT_THROW(Bstr::Copy(OLESTR("text")), _com_error);
  QuenloProbeFailAllocation(0);
  EXPECT_NE(Bstr::TryCopy(OLESTR("text")).Get(), nullptr);
}

// A lookup that walks the nodes itself makes a name string at each: under any refused allocation
// it still finds the match or finds nothing, and leaves nothing alive.
TEST(AllocationFailureTest, WalkingLookupFindsTheMatchOrNothing) {
  const ComPtr<IXMLDOMElement> root = ParseXml("<r><a><b/></a><c>x</c><qid>found</qid></r>");
  ASSERT_TRUE(root);
  WalkEveryAllocation([&](FailureSchedule& schedule) {
    ComPtr<IXMLDOMElement> qid;
    schedule.Armed([&] { qid = FindElement(root.Get(), OLESTR("qid"), 32); });
    if (!qid) return;
    Bstr text;
    ASSERT_EQ(qid->get_text(text.Put()), S_OK);
    EXPECT_EQ(text.View(), OleStringView(OLESTR("found")));
  });
}

TEST(AllocationFailureTest, VotingUploadSendsItsSubjectsOnceOrKeepsThem) {
  const std::string subjects = "<subject index='1'>Yes</subject><subject index='2'>No</subject>";
  const auto upload = [](const char* id, const std::string& sent) {
    return Voting::RequestXml(id, "refer",
                              "<qid>7</qid><caption>Lunch?</caption><multi>false</multi><reg>false"
                              "</reg><timeout/><subjects>" +
                                  sent + "</subjects>");
  };
  const AllocationPoints points = WalkEveryAllocation([&](FailureSchedule& schedule) {
    AttachedSession<VotingProduct> voting;
    ASSERT_EQ(voting.commands->AddReferSubject(u"x", u"2", u"No"), S_OK);
    ASSERT_EQ(voting.commands->AddReferSubject(u"x", u"1", u"Yes"), S_OK);
    HRESULT status = S_OK;
    schedule.Armed(
        [&] { status = StatusOf([&] { return voting.commands->Refer(u"u1", u"7", u"Lunch?"); }); });
    ExpectWholeRequestOrNothing(status, voting.host, upload("u1", subjects));

    // The subjects went with a request that was sent, and are still pending if none was.
    voting.host.ForgetSent();
    ASSERT_EQ(voting.commands->Refer(u"u2", u"7", u"Lunch?"), S_OK);
    EXPECT_TRUE(XmlEquivalent(voting.LastSent(), upload("u2", status == S_OK ? "" : subjects)));
  });
  // Refer's own allocations are all the platform's (its nodes and strings, the timeout's text).
  EXPECT_GT(points.platform, 0);
}

TEST(AllocationFailureTest, BallotSendsItsChoicesOnceOrKeepsThem) {
  const auto ballot = [](const char* id, const std::string& choices) {
    return Voting::RequestXml(id, "voting", "<qid>7</qid><subjects>7" + choices + "</subjects>");
  };
  const std::string choices = "<subject>1</subject><subject>3</subject>";
  const AllocationPoints points = WalkEveryAllocation([&](FailureSchedule& schedule) {
    AttachedSession<VotingProduct> voting;
    ASSERT_EQ(voting.commands->AddVotingSubject(u"1"), S_OK);
    ASSERT_EQ(voting.commands->AddVotingSubject(u"3"), S_OK);
    HRESULT status = S_OK;
    schedule.Armed(
        [&] { status = StatusOf([&] { return voting.commands->Voting(u"v1", u"7"); }); });
    ExpectWholeRequestOrNothing(status, voting.host, ballot("v1", choices));

    voting.host.ForgetSent();
    ASSERT_EQ(voting.commands->Voting(u"v2", u"7"), S_OK);
    EXPECT_TRUE(XmlEquivalent(voting.LastSent(), ballot("v2", status == S_OK ? "" : choices)));
  });
  // The ballot's own allocations are all the platform's (its nodes and strings).
  EXPECT_GT(points.platform, 0);
}

TEST(AllocationFailureTest, AgendaItemIsSentWholeOrNotAtAll) {
  const std::string item = Agenda::RequestXml(
      "c1", "create",
      "<subject><qid>a1</qid><text>Welcome</text><time>09:00</time><type>talk</type>"
      "<value>10</value></subject>");
  const AllocationPoints points = WalkEveryAllocation([&](FailureSchedule& schedule) {
    AttachedSession<AgendaProduct> agenda;
    HRESULT status = S_OK;
    schedule.Armed([&] {
      status = StatusOf([&] {
        return agenda.commands->Create(u"c1", u"a1", u"Welcome", u"09:00", u"talk", u"10");
      });
    });
    ExpectWholeRequestOrNothing(status, agenda.host, item);
  });
  EXPECT_GT(points.platform, 0);
}

// What a read delivered: the value, or nothing when the accessor reported that it had none.
template <class Read>
void ExpectTrueOrNothing(const char* accessor, HRESULT delivered, Read&& value,
                         const std::u16string& expected) {
  if (delivered == S_OK) {
    EXPECT_EQ(value(), expected) << accessor;
  }
}

std::u16string Text(const Bstr& text) { return std::u16string(text.View()); }
std::u16string Text(const OLECHAR* text) { return text == nullptr ? u"<null>" : text; }

// A registered result: every value announced is the reply's, voters included. A subject list
// may come out short (the DOM failed while it was read) but never with a wrong entry: a subject
// whose users could not be looked up must not pass for one without voter names.
TEST(AllocationFailureTest, TallyIsAnnouncedWithTrueValuesOrNotAtAll) {
  const std::string reply = Voting::ReplyXml(
      "result",
      "<qid>7</qid><caption>Lunch?</caption><multi>false</multi><reg>true</reg><count>2</count>"
      "<subjects><subject name='Yes' index='1' count='2'><user>Bob</user><user>Ann</user>"
      "</subject><subject name='No' index='2' count='1'><user>Cy</user></subject></subjects>");
  const AllocationPoints points = WalkEveryAllocation([&](FailureSchedule& schedule) {
    AttachedSession<VotingProduct> voting;
    const ComPtr<IXMLDOMElement> packet = ParseXml(reply.c_str());
    ASSERT_TRUE(packet);
    [&] {
      ComPtr<IVotingDetail> detail;
      DeliverArmed(schedule, voting, packet.Get(), "/voting/look/ok", detail);
      if (!detail) return;
      Bstr text;
      ExpectTrueOrNothing(
          "GetQid", READ(detail, GetQid(text.Put())), [&] { return Text(text); }, u"7");
      ExpectTrueOrNothing(
          "GetCaption", READ(detail, GetCaption(text.Put())), [&] { return Text(text); },
          u"Lunch?");
      LONG number = -1;
      if (READ(detail, GetReg(&number)) == S_OK) {
        EXPECT_EQ(number, 1);
      }
      if (READ(detail, GetCount(&number)) == S_OK) {
        EXPECT_EQ(number, 2);
      }
      LONG subjects = -1;
      ASSERT_EQ(READ(detail, GetSubjectCount(&subjects)), S_OK);
      EXPECT_LE(subjects, 2);
      const struct {
        const char16_t* name;
        LONG votes;
        std::u16string voters[2];
      } expected[] = {{u"Yes", 2, {u"Bob", u"Ann"}}, {u"No", 1, {u"Cy"}}};
      for (LONG position = 0; position < subjects; ++position) {
        LONG votes = -1;
        const OLECHAR* name = nullptr;
        // This accessor answers 1 when it delivered.
        if (READ(detail, GetSubjectResult(position, &votes, &name)) != S_FALSE || name == nullptr) {
          continue;
        }
        EXPECT_EQ(Text(name), expected[position].name);
        EXPECT_EQ(votes, expected[position].votes);
        for (LONG voter = 0; voter < expected[position].votes; ++voter) {
          const OLECHAR* who = nullptr;
          if (READ(detail, GetVoter(expected[position].name, voter, &who)) == S_OK) {
            EXPECT_EQ(Text(who), expected[position].voters[voter])
                << "a voter named in the reply is announced as someone else (or nobody)";
          }
        }
      }
    }();
  });
  EXPECT_GT(points.operatorNew, 0);
}

TEST(AllocationFailureTest, AgendaListIsAnnouncedWithTrueRecordsOrNotAtAll) {
  const std::string reply =
      Agenda::ReplyXml("browse",
                       "<subject><qid>a1</qid><text>Welcome</text></subject>"
                       "<subject><qid>a2</qid><text>Budget</text><code>5</code></subject>");
  const AllocationPoints points = WalkEveryAllocation([&](FailureSchedule& schedule) {
    AttachedSession<AgendaProduct> agenda;
    const ComPtr<IXMLDOMElement> packet = ParseXml(reply.c_str());
    ASSERT_TRUE(packet);
    [&] {
      ComPtr<IAgendaList> list;
      DeliverArmed(schedule, agenda, packet.Get(), "/agenda/showall/ok", list);
      if (!list) return;
      LONG count = -1;
      ASSERT_EQ(READ(list, GetCount(&count)), S_OK);
      EXPECT_LE(count, 2);
      const std::u16string qids[] = {u"a1", u"a2"};
      const std::u16string texts[] = {u"Welcome", u"Budget"};
      for (LONG index = 0; index < count; ++index) {
        ComPtr<IAgendaReply> item;
        if (READ(list, GetItem(index, item.Put())) != S_OK) continue;
        ASSERT_TRUE(item);
        Bstr text;
        ExpectTrueOrNothing(
            "GetQid", READ(item, GetQid(text.Put())), [&] { return Text(text); }, qids[index]);
        ExpectTrueOrNothing(
            "GetText", READ(item, GetText(text.Put())), [&] { return Text(text); }, texts[index]);
        if (index == 1) {
          ExpectTrueOrNothing(
              "GetCode", READ(item, GetCode(text.Put())), [&] { return Text(text); }, u"5");
        }
        EXPECT_NE(READ(item, GetStyle(text.Put())), S_OK) << "no record has a style";
      }
    }();
  });
  EXPECT_GT(points.operatorNew, 0);
}

// An accessor's output, read outside the armed call: a text, a number, or neither when the
// accessor has not written it (-1: no field below holds it).
struct FieldOutput {
  Bstr text;
  LONG number = -1;

  std::u16string Shown() const {
    if (text.Get() != nullptr) return Text(text);
    const std::string digits = std::to_string(number);
    return number == -1 ? u"<untouched>" : std::u16string(digits.begin(), digits.end());
  }
};

template <class Interface>
struct FieldRead {
  const char* accessor;
  HRESULT (*read)(Interface* object, FieldOutput& output);
  std::u16string value;  // in the record that has every field
};

template <class Interface, HRESULT (STDMETHODCALLTYPE Interface::*get)(BSTR*)>
HRESULT ReadText(Interface* object, FieldOutput& output) {
  return (object->*get)(output.text.Put());
}

template <class Interface, HRESULT (STDMETHODCALLTYPE Interface::*get)(LONG*)>
HRESULT ReadNumber(Interface* object, FieldOutput& output) {
  return (object->*get)(&output.number);
}

// Each accessor as the object's first read (which looks for every field at once), every
// allocation failing in turn, the DOM's included: a field that is there reads as its value or as
// E_OUTOFMEMORY, never as 1, which would tell the host the reply lacks it; a field that is not
// there reads as 1 or E_OUTOFMEMORY. Whatever is not delivered leaves the output untouched.
template <class Product, class Interface>
void ExpectFieldsReadOrOutOfMemory(const char* queryType, const char* eventPath,
                                   const std::string& fields, const std::string& others,
                                   std::initializer_list<FieldRead<Interface>> reads) {
  for (const FieldRead<Interface>& field : reads) {
    for (const bool present : {true, false}) {
      const std::string reply =
          SessionFixture<Product>::ReplyXml(queryType, (present ? fields : "") + others);
      WalkEveryAllocation([&](FailureSchedule& schedule) {
        AttachedSession<Product> attached;
        const ComPtr<IXMLDOMElement> packet = ParseXml(reply.c_str());
        ASSERT_EQ(attached.sink->OnPacket(nullptr, packet.Get(), 0), S_OK);
        ASSERT_EQ(attached.host.Events().size(), 1u);
        EXPECT_EQ(ToUtf8(attached.host.Events()[0].eventPath), eventPath);
        const ComPtr<Interface> object = attached.host.Events()[0].result.template As<Interface>();
        ASSERT_TRUE(object);
        FieldOutput output;
        const HRESULT status =
            ArmedStatus(schedule, field.accessor, [&] { return field.read(object.Get(), output); });
        if (present && status == S_OK) {
          EXPECT_EQ(output.Shown(), field.value) << field.accessor;
        } else {
          EXPECT_TRUE(status == E_OUTOFMEMORY || (!present && status == S_FALSE))
              << field.accessor << (present ? " of a field that is there" : " of a missing field")
              << " answered " << status;
          EXPECT_EQ(output.Shown(), u"<untouched>") << field.accessor;
        }
      });
    }
  }
}

TEST(AccessorOutOfMemoryFault, TallyFieldsReadAsTheirValueOrAsOutOfMemory) {
  using Detail = IVotingDetail;
  ExpectFieldsReadOrOutOfMemory<VotingProduct, Detail>(
      "result", "/voting/look/ok",
      "<qid>7</qid><caption>Lunch?</caption><multi>false</multi><reg>true</reg><count>2</count>",
      "<subjects><subject name='Yes' index='1' count='2'/></subjects>",
      {{"GetQid", ReadText<Detail, &Detail::GetQid>, u"7"},
       {"GetCaption", ReadText<Detail, &Detail::GetCaption>, u"Lunch?"},
       {"GetMulti", ReadNumber<Detail, &Detail::GetMulti>, u"0"},
       {"GetReg", ReadNumber<Detail, &Detail::GetReg>, u"1"},
       {"GetCount", ReadNumber<Detail, &Detail::GetCount>, u"2"}});
}

TEST(AccessorOutOfMemoryFault, AgendaFieldsReadAsTheirValueOrAsOutOfMemory) {
  using Record = IAgendaReply;
  ExpectFieldsReadOrOutOfMemory<AgendaProduct, Record>(
      "request", "/agenda/request/ok",
      "<qid>a1</qid><text>Welcome</text><time>09:00</time><type>talk</type><value>10</value>"
      "<code>5</code><style>bold</style>",
      "",
      {{"GetText", ReadText<Record, &Record::GetText>, u"Welcome"},
       {"GetTime", ReadText<Record, &Record::GetTime>, u"09:00"},
       {"GetQid", ReadText<Record, &Record::GetQid>, u"a1"},
       {"GetType", ReadText<Record, &Record::GetType>, u"talk"},
       {"GetValue", ReadText<Record, &Record::GetValue>, u"10"},
       {"GetCode", ReadText<Record, &Record::GetCode>, u"5"},
       {"GetStyle", ReadText<Record, &Record::GetStyle>, u"bold"}});
}

// A room change that fails part-way must leave a session that a retry repairs.
TEST(AllocationFailureTest, RoomChangeSucceedsOrRaisesAndARetryRepairsIt) {
  const AllocationPoints points = WalkEveryAllocation([&](FailureSchedule& schedule) {
    AttachedSession<VotingProduct> voting;
    HRESULT status = S_OK;
    schedule.Armed([&] {
      status = StatusOf([&] {
        return voting.config->SetProperty(u"voting.room_name", u"room8@conference.example");
      });
    });
    EXPECT_TRUE(status == S_OK || status == E_OUTOFMEMORY) << "SetProperty answered " << status;

    ASSERT_EQ(voting.config->SetProperty(u"voting.room_name", u"room8@conference.example"), S_OK);
    ASSERT_EQ(voting.commands->Apply(u"a1"), S_OK) << "the session lost its room for good";
    EXPECT_TRUE(XmlEquivalent(voting.LastSent(),
                              "<iq type='set' to='room8@conference.example' id='a1'><query "
                              "type='apply' xmlns='quenlo:conf:voting'/></iq>"));
  });
  EXPECT_GT(points.operatorNew, 0);
}

// Entering the module and making, configuring and attaching a session of each type: each step
// succeeds or says it failed, and whatever was made goes again without a trace.
TEST(AllocationFailureTest, SessionsAreMadeOrRefusedWithoutATrace) {
  const AllocationPoints points = WalkEveryAllocation([&](FailureSchedule& schedule) {
    RecordingHost host;
    ShelteredHost sheltered(host);
    std::vector<ComPtr<IConferenceSession>> sessions;
    int answer = 0;
    schedule.Armed([&] { answer = LoadConferenceExtension(&sheltered); });
    ASSERT_EQ(answer, 42);
    for (const RecordingHost::Registration& registration : host.Registrations()) {
      if (!registration.factory) continue;  // registered without a factory: no memory
      // The factory hands out the session's primary interface, whatever was asked for.
      ComPtr<IUnknown> made;
      const HRESULT status = ArmedStatus(schedule, "CreateInstance", [&] {
        return registration.factory->CreateInstance(nullptr, IID_IUnknown, made.PutVoid());
      });
      EXPECT_EQ(status == S_OK, static_cast<bool>(made));
      if (status != S_OK) {
        EXPECT_EQ(status, E_OUTOFMEMORY);
        continue;
      }
      const auto session = made.As<IConferenceSession>();
      ASSERT_TRUE(session);
      const OLECHAR* property = registration.typeName == u"quenlo.voting.session"
                                    ? u"voting.room_name"
                                    : u"agenda.room_name";
      HRESULT set = S_OK;
      schedule.Armed([&] {
        set = StatusOf([&] { return session->SetProperty(property, u"room9@conference.example"); },
                       "SetProperty");
      });
      EXPECT_TRUE(set == S_OK || set == E_OUTOFMEMORY) << "SetProperty answered " << set;
      EXPECT_EQ(ArmedStatus(schedule, "Attach", [&] { return session->Attach(&sheltered); }), S_OK);
      sessions.push_back(session);
    }
    for (const ComPtr<IConferenceSession>& session : sessions) session->Detach();
    sessions.clear();
    EXPECT_EQ(host.ActiveSubscriptions(), 0u);
  });
  EXPECT_GT(points.operatorNew, 0);
}

}  // namespace

}  // namespace quenlo::confext
