// Four host threads on one voting session, as a multi-threaded client drives it: two issue the
// subject-collection commands and their requests, one delivers replies, one reads the result
// objects the others have announced and drops them, while changing the room of a second session
// (which releases the module's shared document). Run under ThreadSanitizer in CI. Every check
// names the thread and the step that failed; the subjects each request carried are tallied, so
// a subject lost or sent twice by a race on the collections shows.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "component/bstr.h"
#include "component/host_object.h"
#include "support/xml_equivalence.h"
#include "voting/voting_session.h"

namespace quenlo::confext {

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kRunTime = std::chrono::seconds(2);
constexpr const OLECHAR* kRoom = u"room7@conference.example";

std::string Utf8(std::u16string_view text) {
  std::string ascii;
  for (const char16_t unit : text) ascii += unit < 0x80 ? static_cast<char>(unit) : '?';
  return ascii;
}

// Failed checks, each named by its thread and step.
class Findings {
 public:
  void Add(const std::string& finding) {
    const std::lock_guard lock(mutex_);
    if (findings_.size() < 20) findings_.push_back(finding);
  }
  void Check(bool holds, const std::string& who, const std::string& what) {
    if (!holds) Add(who + ": " + what);
  }
  std::vector<std::string> All() {
    const std::lock_guard lock(mutex_);
    return findings_;
  }

 private:
  std::mutex mutex_;
  std::vector<std::string> findings_;
};

// A host that may be called from any thread: it tallies the subjects of every request sent and
// keeps the latest announced objects for the reader.
class ThreadSafeHost final : public HostObject<SessionHost> {
 public:
  explicit ThreadSafeHost(Findings& findings) : findings_(findings) {}

  HRESULT STDMETHODCALLTYPE Subscribe(const OLECHAR*, IPacketSink*, ULONG* cookie) override {
    *cookie = 1;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Unsubscribe(ULONG) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE ReservedSlot1() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE ReservedSlot2() override { return E_NOTIMPL; }

  HRESULT STDMETHODCALLTYPE RaiseEvent(BSTR path, LONG, IUnknown* result) override {
    const std::lock_guard lock(mutex_);
    ++events_;
    if (result != nullptr) latest_[Utf8({path, SysStringLen(path)})] = ComPtr<IUnknown>(result);
    return S_OK;
  }

  // Called while the command holds the module's document: the request can be read here.
  HRESULT STDMETHODCALLTYPE SendPacket(IXMLDOMElement* request) override {
    Bstr xml;
    findings_.Check(request->get_xml(xml.Put()) == S_OK, "host", "a request writes out");
    const ComPtr<IXMLDOMElement> parsed = ParseXml(Utf8(xml.View()).c_str());
    findings_.Check(static_cast<bool>(parsed), "host", "a request parses: " + Utf8(xml.View()));
    if (!parsed) return S_OK;
    ComPtr<IXMLDOMNodeList> subjects;
    const Bstr tag = Bstr::Copy(u"subject");
    parsed->getElementsByTagName(tag.Get(), subjects.Put());
    long length = 0;
    subjects->get_length(&length);
    const std::lock_guard lock(mutex_);
    ++sent_;
    for (long index = 0; index < length; ++index) {
      ComPtr<IXMLDOMNode> subject;
      subjects->get_item(index, subject.Put());
      Bstr text;
      subject->get_text(text.Put());
      ++subjectsSent_[Utf8(text.View())];
    }
    return S_OK;
  }

  ComPtr<IUnknown> Latest(const std::string& path) {
    const std::lock_guard lock(mutex_);
    const auto found = latest_.find(path);
    return found == latest_.end() ? nullptr : found->second;
  }
  long events() {
    const std::lock_guard lock(mutex_);
    return events_;
  }
  std::map<std::string, int> subjectsSent() {
    const std::lock_guard lock(mutex_);
    return subjectsSent_;
  }
  void ForgetResults() {
    const std::lock_guard lock(mutex_);
    latest_.clear();
  }

 private:
  Findings& findings_;
  std::mutex mutex_;
  long events_ = 0;
  long sent_ = 0;
  std::map<std::string, int> subjectsSent_;
  std::map<std::string, ComPtr<IUnknown>> latest_;
};

struct Session {
  explicit Session(SessionHost& host, const OLECHAR* room) {
    object = ComPtr<IUnknown>((new VotingSession())->Primary());
    config = object.As<IConferenceSession>();
    commands = object.As<IVotingCommands>();
    sink = object.As<IPacketSink>();
    config->SetProperty(u"voting.room_name", room);
    config->Attach(&host);
  }
  ~Session() { config->Detach(); }

  ComPtr<IUnknown> object;
  ComPtr<IConferenceSession> config;
  ComPtr<IVotingCommands> commands;
  ComPtr<IPacketSink> sink;
};

// Adds uniquely named subjects to both collections and sends them, counting what it added.
void Commander(int number, Session& session, Findings& findings, Clock::time_point deadline,
               std::map<std::string, int>& added) {
  const std::string who = "commander " + std::to_string(number);
  for (int round = 0; Clock::now() < deadline; ++round) {
    const std::string name = std::to_string(number) + "-" + std::to_string(round);
    const std::u16string wide(name.begin(), name.end());
    const std::string step = " (round " + std::to_string(round) + ")";
    findings.Check(session.commands->AddReferSubject(u"x", wide.c_str(), wide.c_str()) == S_OK, who,
                   "AddReferSubject" + step);
    ++added[name];
    const std::u16string ballot = u"b" + wide;
    findings.Check(session.commands->AddVotingSubject(ballot.c_str()) == S_OK, who,
                   "AddVotingSubject" + step);
    ++added["b" + name];
    if (round % 3 == 2) {
      findings.Check(session.commands->Refer(u"r", u"Q", u"C") == S_OK, who, "Refer" + step);
      findings.Check(session.commands->Voting(u"v", u"Q") == S_OK, who, "Voting" + step);
    }
    findings.Check(session.commands->Kithe(u"k", u"Q") == S_OK, who, "Kithe" + step);
  }
}

const std::string kFrom = "<iq type='result' from='room7@conference.example'>";
const char* const kReplies[] = {
    "<query xmlns='quenlo:conf:voting' type='content'><subject index='2'>b</subject>"
    "<subject index='1'>a</subject></query></iq>",
    "<query xmlns='quenlo:conf:voting' type='result'><subject name='a' index='1'><user>u</user>"
    "</subject><subject name='b' index='2' count='4'/></query></iq>",
};

// Delivers replies; each must be announced once.
void Deliverer(Session& session, ThreadSafeHost& host, Findings& findings,
               Clock::time_point deadline) {
  std::vector<ComPtr<IXMLDOMElement>> packets;
  for (const char* reply : kReplies) packets.push_back(ParseXml((kFrom + reply).c_str()));
  for (int round = 0; Clock::now() < deadline; ++round) {
    const long before = host.events();
    const HRESULT status = session.sink->OnPacket(nullptr, packets[round % 2].Get(), 0);
    findings.Check(status == S_OK, "deliverer", "OnPacket round " + std::to_string(round));
    findings.Check(host.events() == before + 1, "deliverer",
                   "one announcement per reply, round " + std::to_string(round));
  }
}

// Reads the announced objects the deliverer keeps replacing (the last reference may go here or
// in the host), and moves a second session between its room and none.
void Reader(ThreadSafeHost& host, ThreadSafeHost& otherHost, Findings& findings,
            Clock::time_point deadline) {
  Session other(otherHost, u"room8@conference.example");
  for (int round = 0; Clock::now() < deadline; ++round) {
    const std::string step = " (round " + std::to_string(round) + ")";
    if (const auto content = host.Latest("/voting/getvoting/ok").As<IVotingReply>()) {
      const OLECHAR* first = nullptr;
      findings.Check(content->GetSubject(0, &first) == S_OK && first != nullptr &&
                         std::u16string_view(first) == u"a",
                     "reader", "content subject 0 reads a" + step);
    }
    if (const auto detail = host.Latest("/voting/look/ok").As<IVotingDetail>()) {
      LONG votes = 0;
      const OLECHAR* name = nullptr;
      findings.Check(detail->GetSubjectResult(1, &votes, &name) == S_FALSE && votes == 4, "reader",
                     "result subject 1 has 4 votes" + step);
      const OLECHAR* voter = nullptr;
      findings.Check(detail->GetVoter(u"a", 0, &voter) == S_OK && voter != nullptr &&
                         std::u16string_view(voter) == u"u",
                     "reader", "result voter of a is u" + step);
    }
    if (round % 16 == 0) host.ForgetResults();
    const bool empty = round % 2 == 0;
    findings.Check(other.config->SetProperty(u"voting.room_name",
                                             empty ? u"" : u"room8@conference.example") == S_OK,
                   "reader", "room change" + step);
    findings.Check(other.commands->Apply(u"a") == (empty ? S_FALSE : S_OK), "reader",
                   "Apply after the room change" + step);
  }
}

TEST(SharedSessionThreadsTest, FourHostThreadsOnOneVotingSession) {
  Findings findings;
  ThreadSafeHost host(findings);
  ThreadSafeHost otherHost(findings);
  std::map<std::string, int> added[2];
  {
    Session session(host, kRoom);
    const auto deadline = Clock::now() + kRunTime;
    std::vector<std::thread> threads;
    for (int number = 0; number < 2; ++number) {
      threads.emplace_back(
          [&, number] { Commander(number, session, findings, deadline, added[number]); });
    }
    threads.emplace_back([&] { Deliverer(session, host, findings, deadline); });
    threads.emplace_back([&] { Reader(host, otherHost, findings, deadline); });
    for (std::thread& thread : threads) thread.join();
    // What is still pending goes out now, so that every subject added is sent once.
    EXPECT_EQ(session.commands->Refer(u"r", u"Q", u"C"), S_OK);
    EXPECT_EQ(session.commands->Voting(u"v", u"Q"), S_OK);
  }
  std::map<std::string, int> expected = added[0];
  expected.insert(added[1].begin(), added[1].end());
  const std::map<std::string, int> sent = host.subjectsSent();
  for (const auto& [subject, count] : expected) {
    const auto found = sent.find(subject);
    findings.Check(found != sent.end() && found->second == count, "tally",
                   "subject " + subject + " sent " +
                       std::to_string(found == sent.end() ? 0 : found->second) + " times");
  }
  findings.Check(sent.size() == expected.size(), "tally",
                 std::to_string(sent.size()) + " distinct subjects sent, " +
                     std::to_string(expected.size()) + " added");
  host.ForgetResults();
  for (const std::string& finding : findings.All()) ADD_FAILURE() << finding;
}

}  // namespace

}  // namespace quenlo::confext
