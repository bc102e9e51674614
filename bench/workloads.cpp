#include "workloads.h"

#include <quenlo/agenda.h>
#include <quenlo/voting.h>

#include <cstdio>

#ifndef _WIN32
#include <platform/xml_parser.h>
#endif

#include "agenda/agenda_session.h"
#include "voting/voting_session.h"

namespace quenlo::confext {
namespace {

using Accessor = HRESULT (STDMETHODCALLTYPE IAgendaReply::*)(BSTR*);
constexpr Accessor kFields[] = {
    &IAgendaReply::GetText,  &IAgendaReply::GetTime, &IAgendaReply::GetQid,  &IAgendaReply::GetType,
    &IAgendaReply::GetValue, &IAgendaReply::GetCode, &IAgendaReply::GetStyle};

// Where read values go, so that the reading cannot be left out.
const void* volatile keep = nullptr;

std::string MakeResultReply() {
  std::string text =
      "<iq type='result' from='room@conference.example' id='r9'>"
      "<query xmlns='quenlo:conf:voting' type='result'><qid>Q17</qid><caption>Big</caption>";
  char buffer[64];
  for (int subject = 0; subject < 10000; ++subject) {
    std::snprintf(buffer, sizeof buffer, "<subject name='s%05d' index='%d'>", subject, subject);
    text += buffer;
    for (int user = 0; user < 10; ++user) {
      std::snprintf(buffer, sizeof buffer, "<user>voter%05d-%02d</user>", subject, user);
      text += buffer;
    }
    text += "</subject>";
  }
  return text + "</query></iq>";
}

std::string MakeBrowseReply(int items) {
  std::string text =
      "<iq type='result' from='hall@conference.example' id='b1'>"
      "<query xmlns='quenlo:conf:agenda' type='browse'>";
  char buffer[256];
  for (int item = 0; item < items; ++item) {
    std::snprintf(buffer, sizeof buffer,
                  "<subject><qid>item-%04d</qid><text>Agenda point number %d</text>"
                  "<time>%02d:%02d</time><type>talk</type><value>%d</value><code>0</code>"
                  "<style>plain</style></subject>",
                  item, item, 8 + item / 60 % 10, item % 60, item % 90);
    text += buffer;
  }
  return text + "</query></iq>";
}

std::string MakeLargeReply(std::size_t targetBytes) {
  std::string text =
      "<iq type='result' from='room@conference.example' id='big'>"
      "<query xmlns='quenlo:conf:voting' type='showall'>";
  char buffer[256];
  for (int vote = 0; text.size() < targetBytes; ++vote) {
    std::snprintf(buffer, sizeof buffer,
                  "<vote id='%d' state='open'><qid>v-%06d</qid><caption>Question number %d &amp; "
                  "more</caption><subject index='1'>Yes</subject><subject index='2'>No</subject>"
                  "</vote>\n",
                  vote, vote, vote);
    text += buffer;
  }
  return text + "</query></iq>";
}

}  // namespace

const std::string& ResultReply() {
  static const std::string text = MakeResultReply();
  return text;
}

const std::string& BrowseReply() {
  static const std::string text = MakeBrowseReply(1000);
  return text;
}

const std::string& SmallReply() {
  static const std::string text =
      "<iq type='result' from='room@conference.example' to='alice@example/desk' id='req-17'>"
      "<query xmlns='quenlo:conf:voting' type='showall'><vote><qid>v-0001</qid>"
      "<caption>Where do we have lunch?</caption><status>started</status><timeout>120</timeout>"
      "</vote></query></iq>";
  return text;
}

const std::string& LargeReply() {
  static const std::string text = MakeLargeReply(3u << 20);
  return text;
}

const std::string& KitheReply() {
  static const std::string text =
      "<iq type='result' from='room@conference.example' to='anna@example.org/desk' id='k1'>"
      "<query xmlns='quenlo:conf:voting' type='kithe'><qid>Q17</qid>"
      "<caption>Where do we go for lunch?</caption><multi>false</multi><reg>true</reg>"
      "<count>12</count><subject name='Pizza' index='1' count='5'/>"
      "<subject name='Sushi' index='2' count='4'/><subject name='Salad' index='3' count='3'/>"
      "</query></iq>";
  return text;
}

#ifndef _WIN32
ComPtr<IXMLDOMElement> ParsePacket(const std::string& utf8) {
  ComPtr<IXMLDOMElement> root;
  XmlParseElement(utf8, root.Put());
  return root;
}

void AcceptLargeReplies() {
  XmlParseLimits limits = XmlGetDefaultParseLimits();
  limits.maxBytes = std::size_t{16} << 20;
  XmlSetDefaultParseLimits(limits);
}
#endif

BenchSession::BenchSession(Kind kind) {
  if (kind == Kind::Voting) {
    session = ComPtr<IUnknown>((new VotingSession())->Primary());
  } else {
    session = ComPtr<IUnknown>((new AgendaSession())->Primary());
  }
  config = session.As<IConferenceSession>();
  sink = session.As<IPacketSink>();
  if (kind == Kind::Voting) {
    config->SetProperty(OLESTR("voting.room_name"), OLESTR("room@conference.example"));
  } else {
    config->SetProperty(OLESTR("agenda.room_name"), OLESTR("hall@conference.example"));
  }
  config->Attach(&host);
}

BenchSession::~BenchSession() { config->Detach(); }

ComPtr<IXMLDOMDocument> NewDocument() {
  CLSID documentClass{};
  ComPtr<IXMLDOMDocument> document;
  if (SUCCEEDED(CLSIDFromProgID(OLESTR("Microsoft.XMLDOM"), &documentClass))) {
    CoCreateInstance(documentClass, nullptr, CLSCTX_INPROC_SERVER, IID_IXMLDOMDocument,
                     document.PutVoid());
  }
  return document;
}

ComPtr<IXMLDOMElement> BuildRequest() {
  const ComPtr<IXMLDOMDocument> document = NewDocument();
  if (!document) return nullptr;
  const auto element = [&document](const OLECHAR* tag, const OLECHAR* text) {
    ComPtr<IXMLDOMElement> made;
    document->createElement(Bstr::Copy(tag).Get(), made.Put());
    if (text != nullptr) made->put_text(Bstr::Copy(text).Get());
    return made;
  };
  const auto attribute = [](IXMLDOMElement* target, const OLECHAR* name, const OLECHAR* value) {
    const Bstr text = Bstr::Copy(value);
    VARIANT variant;
    VariantInit(&variant);
    variant.vt = VT_BSTR;
    variant.bstrVal = text.Get();
    target->setAttribute(Bstr::Copy(name).Get(), variant);
  };
  ComPtr<IXMLDOMElement> iq = element(OLESTR("iq"), nullptr);
  attribute(iq.Get(), OLESTR("type"), OLESTR("set"));
  attribute(iq.Get(), OLESTR("to"), OLESTR("room@conference.example"));
  attribute(iq.Get(), OLESTR("id"), OLESTR("req-18"));
  const ComPtr<IXMLDOMElement> query = element(OLESTR("query"), nullptr);
  attribute(query.Get(), OLESTR("type"), OLESTR("refer"));
  attribute(query.Get(), OLESTR("xmlns"), OLESTR("quenlo:conf:voting"));
  iq->appendChild(query.Get(), nullptr);
  for (int index = 0; index < kRequestSubjects; ++index) {
    query->appendChild(element(OLESTR("subject"), OLESTR("Pizza & pasta <today>")).Get(), nullptr);
  }
  return iq;
}

void SendRefer10(IVotingCommands& commands) {
  for (const OLECHAR* index : kReferIndexes) {
    commands.AddReferSubject(OLESTR("r"), index, OLESTR("A subject to choose"));
  }
  commands.Refer(OLESTR("r1"), OLESTR("Q17"), OLESTR("Where do we go for lunch?"));
}

void ReadEveryAccessor(IUnknown* result) {
  const ComPtr<IVotingDetail> detail = QueryFrom<IVotingDetail>(result);
  Bstr text;
  detail->GetQid(text.Put());
  detail->GetCaption(text.Put());
  LONG value = 0;
  detail->GetMulti(&value);
  detail->GetReg(&value);
  detail->GetCount(&value);
  detail->GetSubjectCount(&value);
  LONG votes = 0;
  const OLECHAR* name = nullptr;
  // GetSubjectResult answers 1 while the position holds a subject.
  for (LONG position = 0; detail->GetSubjectResult(position, &votes, &name) == S_FALSE;
       ++position) {
    for (LONG voter = 0; voter < votes; ++voter) {
      const OLECHAR* who = nullptr;
      detail->GetVoter(name, voter, &who);
      keep = who;
    }
  }
}

void ReadEveryItem(IUnknown* result) {
  const ComPtr<IAgendaList> list = QueryFrom<IAgendaList>(result);
  LONG count = 0;
  list->GetCount(&count);
  for (LONG index = 0; index < count; ++index) {
    ComPtr<IAgendaReply> item;
    list->GetItem(index, item.Put());
    for (Accessor field : kFields) {
      Bstr text;
      (item.Get()->*field)(text.Put());
      keep = text.Get();
    }
  }
}

}  // namespace quenlo::confext
