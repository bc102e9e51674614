// The command path: programs of commands and property changes (see command_program.h) run on a
// voting and an agenda session, with arbitrary UTF-16 arguments. Each call either sends exactly
// one request that, written out and parsed again, holds its arguments where they belong, or
// returns non-zero, sends nothing and has a reason to refuse (no host, no room, a text XML
// cannot carry, an empty id or subject). A model of the pending subject collections says which
// subjects each upload and ballot must carry.
#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "command_program.h"
#include "component/bstr.h"
#include "component/reference_count.h"
#include "fuzz_host.h"
#include "request_tree.h"

namespace quenlo::fuzz {
namespace {

constexpr std::size_t kMaxCalls = 64;

// What the session receives: a zero-terminated string ends at its first zero unit.
std::u16string Text(const Argument& argument) {
  const std::u16string text = argument.value_or(u"");
  return text.substr(0, text.find(u'\0'));
}
const OLECHAR* Pointer(const Argument& argument) { return argument ? argument->c_str() : nullptr; }

XmlTree Element(std::u16string tag, std::u16string text = {}, std::vector<XmlTree> children = {}) {
  return XmlTree{std::move(tag), {}, std::move(text), std::move(children)};
}

// The C library's atoi, saturating at the 32-bit limits as the module's integer texts do.
long long ReadInteger(std::u16string_view text) {
  std::size_t at = 0;
  while (at < text.size() && (text[at] == u' ' || (text[at] >= u'\t' && text[at] <= u'\r'))) ++at;
  bool negative = false;
  if (at < text.size() && (text[at] == u'+' || text[at] == u'-')) negative = text[at++] == u'-';
  long long value = 0;
  for (; at < text.size() && text[at] >= u'0' && text[at] <= u'9'; ++at) {
    value = std::min<long long>(value * 10 + (text[at] - u'0'), 1LL + INT_MAX);
  }
  value = negative ? -value : value;
  return std::clamp<long long>(value, INT_MIN, INT_MAX);
}

bool SameTree(const XmlTree& expected, const XmlTree& actual) {
  if (expected.tag != actual.tag || expected.attributes != actual.attributes ||
      !SameElementText(expected.text, actual.text) ||
      expected.children.size() != actual.children.size()) {
    return false;
  }
  for (std::size_t child = 0; child < expected.children.size(); ++child) {
    if (!SameTree(expected.children[child], actual.children[child])) return false;
  }
  return true;
}

struct SessionUnderTest {
  explicit SessionUnderTest(Product kind) : product(kind) {}

  Product product;
  ComPtr<IUnknown> session;
  ComPtr<IConferenceSession> config;
  bool attached = false;
};

// What a voting session holds for the next upload and ballot. A collection becomes unknown when
// a refused upload or ballot may or may not have kept it; the next one sent empties it again.
struct PendingSubjects {
  std::map<std::u16string, std::u16string> refer;
  bool referKnown = true;
  std::vector<std::u16string> ballot;
  bool ballotKnown = true;
};

class ProgramRun {
 public:
  ProgramRun() {
    for (SessionUnderTest* under : {&voting_, &agenda_}) {
      under->session = NewSession(under->product);
      under->config = under->session.As<IConferenceSession>();
    }
  }
  ~ProgramRun() {
    for (SessionUnderTest* under : {&voting_, &agenda_}) {
      if (under->attached) under->config->Detach();
    }
    Require(host_.subscriptions() == 0, "every subscription is cancelled by Detach");
    for (SessionUnderTest* under : {&voting_, &agenda_}) {
      under->config.Reset();
      under->session.Reset();
    }
    Require(ReferencesOf(&host_) == 0, "released sessions hold no reference to their host");
  }

  void Run(const Call& call) {
    std::vector<Argument> arguments = call.arguments;
    arguments.resize(6);  // a missing argument is a null pointer
    const std::string& verb = call.verb;
    if (verb == "set" || verb == "get") return Property(verb == "set", arguments[0], arguments[1]);
    if (verb.ends_with(".attach") || verb.ends_with(".detach")) {
      SessionUnderTest& under = verb.starts_with("voting.") ? voting_ : agenda_;
      const bool attach = verb.ends_with(".attach");
      if (attach == under.attached) return;
      Require((attach ? under.config->Attach(&host_) : under.config->Detach()) == S_OK,
              "Attach and Detach answer 0");
      under.attached = attach;
      return;
    }
    if (verb.starts_with("voting.")) return Voting(verb.substr(7), arguments);
    if (verb.starts_with("agenda.")) return Agenda(verb.substr(7), arguments);
  }

 private:
  void Property(bool set, const Argument& name, const Argument& value) {
    const std::u16string text = Text(name);
    std::vector<SessionUnderTest*> owners;
    if (!text.starts_with(u"agenda.")) owners.push_back(&voting_);
    if (!text.starts_with(u"voting.")) owners.push_back(&agenda_);
    for (SessionUnderTest* under : owners) {
      const bool known = text == RoomProperty(under->product) ||
                         (under->product == Product::kVoting &&
                          (text == u"voting.multiselsect" || text == u"voting.registered" ||
                           text == u"voting.timeout"));
      if (set) {
        const HRESULT status = under->config->SetProperty(Pointer(name), Pointer(value));
        Require(status == (known ? S_OK : S_FALSE), "SetProperty answers 0 for its own names only");
        if (!known || !IsPrintableAscii(Text(value))) continue;
        Require(PropertyText(*under, text) == Text(value), "a printable ASCII value reads back");
      } else {
        Bstr read;
        const HRESULT status = under->config->GetProperty(Pointer(name), read.Put());
        Require(status == (known ? S_OK : S_FALSE), "GetProperty answers 0 for its own names only");
      }
    }
  }

  static bool IsPrintableAscii(std::u16string_view text) {
    for (const char16_t unit : text) {
      if (unit < 0x20 || unit > 0x7E) return false;
    }
    return true;
  }

  static std::u16string PropertyText(SessionUnderTest& under, const std::u16string& name) {
    Bstr value;
    Require(under.config->GetProperty(name.c_str(), value.Put()) == S_OK,
            "a session's own property reads");
    return std::u16string(value.View());
  }

  // Why a sending command may refuse before it builds anything.
  bool CannotSend(SessionUnderTest& under) {
    const std::u16string room = PropertyText(under, RoomProperty(under.product));
    return !under.attached || room.empty();
  }

  static bool AllCarry(const std::vector<Argument>& arguments, std::size_t count) {
    for (std::size_t index = 0; index < count; ++index) {
      if (!CarriesInXml(Text(arguments[index]))) return false;
    }
    return true;
  }

  // Checks one sending call. `body` is what the query must hold; `subjectsKnown` false leaves the
  // subjects of an upload or ballot unchecked. Returns whether the call sent.
  bool CheckSend(SessionUnderTest& under, HRESULT status, const Argument& id,
                 std::u16string_view queryType, std::vector<XmlTree> body, bool textsCarry,
                 bool subjectsKnown = true) {
    // Every request is taken away once checked: whatever is there now, this call sent.
    const std::size_t sent = host_.sent().size();
    const std::u16string room = PropertyText(under, RoomProperty(under.product));
    const bool mayRefuse = CannotSend(under) || !textsCarry || !CarriesInXml(room);
    if (status != S_OK) {
      Require(status == S_FALSE, "a command answers 0 or 1");
      Require(sent == 0, "a refused command sends nothing");
      Require(mayRefuse, "a command refuses only for a reason");
      return false;
    }
    Require(!CannotSend(under), "a command without host or room refuses");
    Require(sent == 1, "a command that answers 0 sends one request");
    const std::optional<XmlTree> request = ReparsedRequest(host_.sent().back().Get());
    host_.sent().clear();
    Require(request.has_value(), "a sent request parses again");
    XmlTree expected = Element(u"iq");
    expected.attributes = {{u"type", u"set"}, {u"to", room}, {u"id", Text(id)}};
    XmlTree query = Element(u"query", {}, std::move(body));
    query.attributes = {{u"type", std::u16string(queryType)},
                        {u"xmlns", NamespaceOf(under.product)}};
    expected.children.push_back(std::move(query));
    XmlTree actual = *request;
    if (!subjectsKnown) {
      // "subjects" is the last body element; which subjects it holds is not known.
      expected.children[0].children.back().children.clear();
      if (!actual.children.empty() && !actual.children[0].children.empty()) {
        actual.children[0].children.back().children.clear();
      }
    }
    if (!SameTree(expected, actual)) {
      Fail("a request parses back to its arguments: expected " + Describe(expected) + ", got " +
           Describe(actual));
    }
    return true;
  }

  void Voting(std::string_view command, const std::vector<Argument>& a) {
    SessionUnderTest& under = voting_;
    const auto commands = under.session.As<IVotingCommands>();
    if (command == "add-refer-subject") {
      const HRESULT status = commands->AddReferSubject(Pointer(a[0]), Pointer(a[1]), Pointer(a[2]));
      if (status == S_OK) {
        Require(!Text(a[0]).empty() && !Text(a[2]).empty(),
                "AddReferSubject refuses an empty id or text");
        pending_.refer.emplace(Text(a[1]), Text(a[2]));
      } else {
        Require(status == S_FALSE, "a command answers 0 or 1");
        Require(Text(a[0]).empty() || Text(a[2]).empty() || !AllCarry(a, 3),
                "AddReferSubject refuses only for a reason");
      }
      return;
    }
    if (command == "clear-refer-subjects") {
      Require(commands->ClearReferSubjects(Pointer(a[0])) == S_OK, "ClearReferSubjects answers 0");
      pending_.refer.clear();
      pending_.referKnown = true;
      return;
    }
    if (command == "add-voting-subject") {
      const HRESULT status = commands->AddVotingSubject(Pointer(a[0]));
      if (status == S_OK) {
        pending_.ballot.push_back(Text(a[0]));
      } else {
        Require(status == S_FALSE && !CarriesInXml(Text(a[0])),
                "AddVotingSubject refuses only a text XML cannot carry");
      }
      return;
    }
    if (command == "refer") return Refer(*commands.Get(), a);
    if (command == "voting") return Ballot(*commands.Get(), a);

    using Sender = HRESULT (STDMETHODCALLTYPE IVotingCommands::*)(const OLECHAR*, const OLECHAR*);
    static const std::map<std::string_view, std::pair<Sender, std::u16string_view>> withQid = {
        {"delete", {&IVotingCommands::Delete, u"delete"}},
        {"start", {&IVotingCommands::Start, u"start"}},
        {"content", {&IVotingCommands::Content, u"content"}},
        {"end", {&IVotingCommands::End, u"end"}},
        {"kithe", {&IVotingCommands::Kithe, u"kithe"}},
        {"result", {&IVotingCommands::Result, u"result"}},
    };
    if (const auto found = withQid.find(command); found != withQid.end()) {
      const auto [send, queryType] = found->second;
      const HRESULT status = (commands.Get()->*send)(Pointer(a[0]), Pointer(a[1]));
      CheckSend(under, status, a[0], queryType, {Element(u"qid", Text(a[1]))}, AllCarry(a, 2));
    } else if (command == "apply") {
      CheckSend(under, commands->Apply(Pointer(a[0])), a[0], u"apply", {}, AllCarry(a, 1));
    } else if (command == "showall") {
      CheckSend(under, commands->ShowAll(Pointer(a[0])), a[0], u"showall", {}, AllCarry(a, 1));
    }
  }

  void Refer(IVotingCommands& commands, const std::vector<Argument>& a) {
    const bool couldSend = !CannotSend(voting_);
    const HRESULT status = commands.Refer(Pointer(a[0]), Pointer(a[1]), Pointer(a[2]));
    bool subjectsCarry = pending_.referKnown;
    std::vector<XmlTree> subjects;
    for (const auto& [index, text] : pending_.refer) {
      subjectsCarry = subjectsCarry && CarriesInXml(index) && CarriesInXml(text);
      XmlTree subject = Element(u"subject", text);
      subject.attributes = {{u"index", index}};
      subjects.push_back(std::move(subject));
    }
    const std::u16string multi = PropertyText(voting_, u"voting.multiselsect");
    const std::u16string reg = PropertyText(voting_, u"voting.registered");
    const std::u16string timeout = PropertyText(voting_, u"voting.timeout");
    std::vector<XmlTree> body = {
        Element(u"qid", Text(a[1])),
        Element(u"caption", Text(a[2])),
        Element(u"multi", ReadInteger(multi) == 1 ? u"true" : u"false"),
        Element(u"reg", ReadInteger(reg) == 1 ? u"true" : u"false"),
        Element(u"timeout", timeout),
        Element(u"subjects", {}, std::move(subjects)),
    };
    const bool texts = AllCarry(a, 3) && subjectsCarry && CarriesInXml(timeout);
    if (CheckSend(voting_, status, a[0], u"refer", std::move(body), texts, pending_.referKnown)) {
      pending_.refer.clear();
      pending_.referKnown = true;
    } else if (couldSend) {
      pending_.referKnown = false;
    }
  }

  void Ballot(IVotingCommands& commands, const std::vector<Argument>& a) {
    const bool couldSend = !CannotSend(voting_);
    const HRESULT status = commands.Voting(Pointer(a[0]), Pointer(a[1]));
    bool subjectsCarry = pending_.ballotKnown;
    std::vector<XmlTree> subjects;
    for (const std::u16string& text : pending_.ballot) {
      subjectsCarry = subjectsCarry && CarriesInXml(text);
      subjects.push_back(Element(u"subject", text));
    }
    std::vector<XmlTree> body = {Element(u"qid", Text(a[1])),
                                 Element(u"subjects", Text(a[1]), std::move(subjects))};
    if (CheckSend(voting_, status, a[0], u"voting", std::move(body),
                  AllCarry(a, 2) && subjectsCarry, pending_.ballotKnown)) {
      pending_.ballot.clear();
      pending_.ballotKnown = true;
    } else if (couldSend) {
      pending_.ballotKnown = false;
    }
  }

  void Agenda(std::string_view command, const std::vector<Argument>& a) {
    SessionUnderTest& under = agenda_;
    const auto commands = under.session.As<IAgendaCommands>();
    if (command == "create" || command == "modify") {
      const bool create = command == "create";
      const HRESULT status = create ? commands->Create(Pointer(a[0]), Pointer(a[1]), Pointer(a[2]),
                                                       Pointer(a[3]), Pointer(a[4]), Pointer(a[5]))
                                    : commands->Modify(Pointer(a[0]), Pointer(a[1]), Pointer(a[2]),
                                                       Pointer(a[3]), Pointer(a[4]), Pointer(a[5]));
      XmlTree subject = Element(
          u"subject", {},
          {Element(u"qid", Text(a[1])), Element(u"text", Text(a[2])), Element(u"time", Text(a[3])),
           Element(u"type", Text(a[4])), Element(u"value", Text(a[5]))});
      CheckSend(under, status, a[0], create ? u"create" : u"modify", {std::move(subject)},
                AllCarry(a, 6));
    } else if (command == "delete" || command == "sync") {
      const bool remove = command == "delete";
      const HRESULT status = remove ? commands->Delete(Pointer(a[0]), Pointer(a[1]))
                                    : commands->Sync(Pointer(a[0]), Pointer(a[1]));
      CheckSend(under, status, a[0], remove ? u"delete" : u"sync", {Element(u"qid", Text(a[1]))},
                AllCarry(a, 2));
    } else if (command == "browse" || command == "request") {
      const bool browse = command == "browse";
      const HRESULT status =
          browse ? commands->Browse(Pointer(a[0])) : commands->Request(Pointer(a[0]));
      CheckSend(under, status, a[0], browse ? u"browse" : u"request", {}, AllCarry(a, 1));
    }
  }

  FuzzHost host_;  // outlives the sessions, which hold references to it while attached
  SessionUnderTest voting_{Product::kVoting};
  SessionUnderTest agenda_{Product::kAgenda};
  PendingSubjects pending_;
};

// One input, run inside the namespace so that the toolkit and the helpers above are in reach.
int RunOne(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  ProgramRun run;
  for (const Call& call : ReadProgram(text, kMaxCalls)) run.Run(call);
  return 0;
}

}  // namespace
}  // namespace quenlo::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return quenlo::fuzz::RunOne(data, size);
}
