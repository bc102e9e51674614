// Complete round trips through the in-process transport, on the module loaded by path: a
// command builds its request, the host serialises it, the simulator answers in text, the host
// parses the answer and delivers it, the module dispatches it and the host reads every accessor
// of the announced object. Reports round trips per second and the share of that time spent
// inside the module (its commands, its packet handling and its accessors, less the host calls
// they make).
#include <benchmark/benchmark.h>
#include <quenlo/agenda.h>
#include <quenlo/voting.h>

#include <chrono>
#include <map>
#include <memory>
#include <string>

#include "component/com_ptr.h"
#include "component/host_object.h"
#include "host/conference_module.h"
#include "host/in_process_transport.h"
#include "host/participant_host.h"
#include "host/result_snapshot.h"
#include "server/sqlite_store.h"

namespace quenlo::confext {
namespace {

using quenlo::host::ParticipantHost;
using Clock = std::chrono::steady_clock;

constexpr char kRoom[] = "board@conference.example.net";
constexpr char kAddress[] = "alice@example.net";

// Time spent in the module, gathered from the calls into it and out of it.
struct ModuleClock {
  Clock::duration inside{};
};

// Stands between the module and the participant's host to time the module's calls into it:
// those are host time, to be taken out of the time of the module call that made them.
class TimedSink final : public HostObject<IPacketSink> {
 public:
  TimedSink(IPacketSink* sink, ModuleClock& clock) : sink_(sink), clock_(clock) {}
  HRESULT STDMETHODCALLTYPE OnPacket(BSTR path, IUnknown* packet, LONG reserved) override {
    const auto start = Clock::now();
    const HRESULT status = sink_->OnPacket(path, packet, reserved);
    clock_.inside += Clock::now() - start;
    return status;
  }

 private:
  ComPtr<IPacketSink> sink_;
  ModuleClock& clock_;
};

class TimedHost final : public HostObject<SessionHost> {
 public:
  TimedHost(ParticipantHost& host, ModuleClock& clock) : host_(host), clock_(clock) {}
  HRESULT STDMETHODCALLTYPE Subscribe(const OLECHAR* path, IPacketSink* sink,
                                      ULONG* cookie) override {
    auto timed = std::make_unique<TimedSink>(sink, clock_);
    const HRESULT status = host_.Subscribe(path, timed.get(), cookie);
    sinks_[*cookie] = std::move(timed);
    return status;
  }
  HRESULT STDMETHODCALLTYPE Unsubscribe(ULONG cookie) override {
    const HRESULT status = host_.Unsubscribe(cookie);
    sinks_.erase(cookie);
    return status;
  }
  HRESULT STDMETHODCALLTYPE RaiseEvent(BSTR path, LONG reserved, IUnknown* result) override {
    return OutsideModule([&] { return host_.RaiseEvent(path, reserved, result); });
  }
  HRESULT STDMETHODCALLTYPE ReservedSlot1() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE ReservedSlot2() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SendPacket(IXMLDOMElement* request) override {
    return OutsideModule([&] { return host_.SendPacket(request); });
  }

 private:
  template <class Call>
  HRESULT OutsideModule(Call call) {
    const auto start = Clock::now();
    const HRESULT status = call();
    clock_.inside -= Clock::now() - start;
    return status;
  }

  ParticipantHost& host_;
  ModuleClock& clock_;
  std::map<ULONG, std::unique_ptr<TimedSink>> sinks_;
};

// Discards what the server sends to the extra voters.
struct DiscardingReceiver final : quenlo::host::PacketReceiver {
  void Receive(std::string_view) override {}
};

class RoundTrip {
 public:
  RoundTrip()
      : module_(quenlo::host::ConferenceModule::Load(QUENLO_MODULE_PATH)),
        transport_(server_),
        host_(kAddress, transport_),
        timedHost_(host_, clock_) {
    const auto& types = module_->SessionTypes();
    votingSession_ = types.CreateSession(u"quenlo.voting.session").As<IConferenceSession>();
    agendaSession_ = types.CreateSession(u"quenlo.agenda.session").As<IConferenceSession>();
    voting_ = votingSession_.As<IVotingCommands>();
    agenda_ = agendaSession_.As<IAgendaCommands>();
    votingSession_->SetProperty(u"voting.room_name", u"board@conference.example.net");
    votingSession_->SetProperty(u"voting.registered", u"1");
    agendaSession_->SetProperty(u"agenda.room_name", u"board@conference.example.net");
    votingSession_->Attach(&timedHost_);
    agendaSession_->Attach(&timedHost_);
    transport_.Connect({kAddress, kRoom, "Alice"}, host_);
    host_.AddListener([this](const quenlo::host::HostEvent& event) {
      const auto start = Clock::now();
      benchmark::DoNotOptimize(quenlo::host::ReadResult(event.result.Get()));
      clock_.inside += Clock::now() - start;
      ++events_;
    });
  }

  ~RoundTrip() {
    transport_.Disconnect(kAddress);
    votingSession_->Detach();
    agendaSession_->Detach();
  }

  // One command and everything it brings back; false when no event came.
  template <class Command>
  bool Run(Command command) {
    const std::size_t before = events_;
    const auto start = Clock::now();
    command();
    clock_.inside += Clock::now() - start;
    transport_.DeliverPending();
    return events_ > before;
  }

  // A vote with three subjects, started, with a ballot from alice and two more voters.
  std::u16string PrepareVote() {
    std::u16string qid;
    const std::size_t listener = host_.AddListener([&](const quenlo::host::HostEvent& event) {
      if (event.path == u"/voting/apply/ok" && qid.empty()) {
        const auto snapshot = quenlo::host::ReadResult(event.result.Get());
        qid = std::u16string(snapshot.Find("qid")->begin(), snapshot.Find("qid")->end());
      }
    });
    Run([&] { voting_->Apply(u"a"); });
    host_.RemoveListener(listener);
    voting_->AddReferSubject(u"r", u"1", u"Yes");
    voting_->AddReferSubject(u"r", u"2", u"No");
    voting_->AddReferSubject(u"r", u"3", u"Abstain");
    Run([&] { voting_->Refer(u"r", qid.c_str(), u"Approve the 2025 budget?"); });
    Run([&] { voting_->Start(u"s", qid.c_str()); });
    voting_->AddVotingSubject(u"1");
    Run([&] { voting_->Voting(u"v", qid.c_str()); });
    const std::string vote(qid.begin(), qid.end());
    for (const char* voter : {"bob", "carol"}) {
      const std::string address = std::string(voter) + "@example.net";
      transport_.Connect({address, kRoom, voter}, discard_);
      transport_.Send(address, "<iq type=\"set\" to=\"" + std::string(kRoom) +
                                   "\" id=\"b\"><query type=\"voting\" "
                                   "xmlns=\"quenlo:conf:voting\"><qid>" +
                                   vote + "</qid><subjects>" + vote +
                                   "<subject>2</subject></subjects></query></iq>");
    }
    transport_.DeliverPending();
    return qid;
  }

  void PrepareAgenda(int items) {
    for (int i = 0; i < items; ++i) {
      const std::u16string qid = u"item" + std::u16string(1, static_cast<char16_t>(u'a' + i));
      Run([&] {
        agenda_->Create(u"c", qid.c_str(), u"Budget review and vote", u"09:10", u"talk", u"20");
      });
    }
  }

  IVotingCommands& voting() { return *voting_.Get(); }
  IAgendaCommands& agenda() { return *agenda_.Get(); }

  void StartTiming() {
    clock_.inside = {};
    started_ = Clock::now();
  }
  void Report(benchmark::State& state) const {
    const double total = std::chrono::duration<double>(Clock::now() - started_).count();
    const double inside = std::chrono::duration<double>(clock_.inside).count();
    state.counters["round_trips/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["module_share"] = inside / total;
  }

 private:
  std::shared_ptr<quenlo::host::ConferenceModule> module_;
  quenlo::server::ConferenceServer server_{
      std::make_unique<quenlo::server::SqliteStore>(":memory:")};
  quenlo::host::InProcessTransport transport_;
  ModuleClock clock_;
  ParticipantHost host_;
  TimedHost timedHost_;
  DiscardingReceiver discard_;
  ComPtr<IConferenceSession> votingSession_;
  ComPtr<IConferenceSession> agendaSession_;
  ComPtr<IVotingCommands> voting_;
  ComPtr<IAgendaCommands> agenda_;
  std::size_t events_ = 0;
  Clock::time_point started_;
};

template <class Command>
void Measure(benchmark::State& state, RoundTrip& trip, Command command) {
  trip.StartTiming();
  for (auto _ : state) {
    if (!trip.Run(command)) state.SkipWithError("no event came back");
  }
  trip.Report(state);
}

// Apply would grow the simulator's list of votes with every round trip; the listing of one
// vote is the smallest request whose cost stays the same.
void BM_RoundTripShowAll(benchmark::State& state) {
  RoundTrip trip;
  trip.PrepareVote();
  Measure(state, trip, [&] { trip.voting().ShowAll(u"showall"); });
}
BENCHMARK(BM_RoundTripShowAll);

void BM_RoundTripContent(benchmark::State& state) {
  RoundTrip trip;
  const std::u16string qid = trip.PrepareVote();
  Measure(state, trip, [&] { trip.voting().Content(u"content", qid.c_str()); });
}
BENCHMARK(BM_RoundTripContent);

void BM_RoundTripLiveTally(benchmark::State& state) {
  RoundTrip trip;
  const std::u16string qid = trip.PrepareVote();
  Measure(state, trip, [&] { trip.voting().Kithe(u"kithe", qid.c_str()); });
}
BENCHMARK(BM_RoundTripLiveTally);

void BM_RoundTripAgendaBrowse(benchmark::State& state) {
  RoundTrip trip;
  trip.PrepareAgenda(static_cast<int>(state.range(0)));
  Measure(state, trip, [&] { trip.agenda().Browse(u"browse"); });
}
BENCHMARK(BM_RoundTripAgendaBrowse)->Arg(1)->Arg(10);

}  // namespace
}  // namespace quenlo::confext

BENCHMARK_MAIN();
