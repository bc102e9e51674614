// iq round trips through a real Prosody: one client asks confserver (the conference service as
// an XMPP component) for the agenda item in progress, serially and with 100 requests in flight.
// The baseline, in the same run and through the same server, is a bare libstrophe component
// that echoes each iq's payload back. Prints round trips per second, p50 and p99 latency, the
// ratio to the baseline (goal >= 0.8x), and, for a round trip made by the module through the
// XMPP transport, the share of the time spent on the client's side (the module's command, the
// host's parsing and the module's handling of the answer).
#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "host/conference_module.h"
#include "host/participant.h"
#include "host/xmpp_transport.h"
#include "tests/xmpp/confserver_process.h"
#include "tests/xmpp/prosody_server.h"
#include "tests/xmpp/test_client.h"
#include "xmpp/connection.h"
#include "xmpp/stanza.h"

namespace {

using quenlo::xmpp_test::ProsodyServer;
using quenlo::xmpp_test::RunUntil;
using quenlo::xmpp_test::TestClient;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr int kSerialRequests = 2000;
constexpr int kPipelinedRequests = 20000;
constexpr int kInFlight = 100;
constexpr int kModuleRoundTrips = 1000;

// The bare component: answers every iq get/set with a result holding the request's payload.
class EchoComponent {
 public:
  explicit EchoComponent(const ProsodyServer& server) : thread_([this, &server] { Run(server); }) {
    while (!ready_) std::this_thread::sleep_for(1ms);
  }
  ~EchoComponent() {
    stop_ = true;
    thread_.join();
  }

 private:
  void Run(const ProsodyServer& server) {
    quenlo::xmpp::Context context;
    quenlo::xmpp::Connection connection(context);
    connection.OnStanza("iq", [&](xmpp_stanza_t* iq) {
      const std::string_view type = quenlo::xmpp::AttributeOf(iq, "type");
      if (type != "get" && type != "set") return;
      const quenlo::xmpp::Stanza answer(xmpp_stanza_reply(iq));
      xmpp_stanza_set_type(answer.get(), "result");
      connection.Send(answer.get());
    });
    connection.ConnectComponent("127.0.0.1", server.ComponentPort(),
                                ProsodyServer::kSpareComponentDomain, ProsodyServer::kSecret);
    while (!connection.connected()) context.RunOnce(10ms);
    ready_ = true;
    while (!stop_) context.RunOnce(10ms);
    connection.Disconnect();
    RunUntil(
        context, [&] { return connection.disconnected(); }, 2s);
  }

  std::atomic<bool> ready_{false};
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

struct Figures {
  double per_second;
  double p50_us;
  double p99_us;
};

std::string Request(const std::string& id, const std::string& room) {
  return "<iq type='get' id='" + id + "' to='" + room +
         "'><query type='request' xmlns='quenlo:conf:agenda'/></iq>";
}

// `count` requests to `room`, at most `in_flight` unanswered at a time.
Figures Measure(TestClient& client, const std::string& room, const std::string& prefix, int count,
                int in_flight) {
  std::vector<Clock::time_point> sent_at(count);
  std::vector<double> latencies;
  latencies.reserve(count);
  int sent = 0;
  std::size_t answered = client.AnswerCount();
  const std::size_t first = answered;
  const auto start = Clock::now();
  RunUntil(
      client.context(),
      [&] {
        while (client.AnswerCount() > answered) {
          const int index = int(answered - first);
          latencies.push_back(
              std::chrono::duration<double, std::micro>(Clock::now() - sent_at[index]).count());
          ++answered;
        }
        while (sent < count && sent - int(answered - first) < in_flight) {
          sent_at[sent] = Clock::now();
          client.Send(Request(prefix + std::to_string(sent), room));
          ++sent;
        }
        return int(answered - first) == count;
      },
      300s);
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  std::sort(latencies.begin(), latencies.end());
  if (latencies.empty()) return {0, 0, 0};
  return {double(latencies.size()) / seconds, latencies[latencies.size() / 2],
          latencies[latencies.size() * 99 / 100]};
}

void Report(const char* what, const Figures& service, const Figures& echo) {
  std::printf("%-38s %9.0f/s  p50 %7.0f us  p99 %7.0f us\n",
              (std::string(what) + ", service").c_str(), service.per_second, service.p50_us,
              service.p99_us);
  std::printf("%-38s %9.0f/s  p50 %7.0f us  p99 %7.0f us\n", (std::string(what) + ", echo").c_str(),
              echo.per_second, echo.p50_us, echo.p99_us);
  const double ratio = service.per_second / echo.per_second;
  std::printf("%-38s %9.2fx the echo's throughput (goal >= 0.8x): %s\n", what, ratio,
              ratio >= 0.8 ? "met" : "NOT met");
}

// Round trips made by the module (agenda request commands) over the XMPP transport, timing the
// client's own work: the command call and the handling of the answer the transport delivers.
class TimedReceiver final : public quenlo::host::PacketReceiver {
 public:
  explicit TimedReceiver(quenlo::host::PacketReceiver& inner) : inner_(inner) {}
  void Receive(std::string_view xml) override {
    const auto start = Clock::now();
    inner_.Receive(xml);
    inside += Clock::now() - start;
  }
  Clock::duration inside{};

 private:
  quenlo::host::PacketReceiver& inner_;
};

void MeasureModuleShare(const ProsodyServer& server) {
  auto module = quenlo::host::ConferenceModule::Load(QUENLO_MODULE_PATH);
  quenlo::host::XmppTransport transport({"127.0.0.1", server.ClientPort(),
                                         "bob@" + std::string(ProsodyServer::kDomain) + "/bench",
                                         ProsodyServer::PasswordOf("bob")});
  quenlo::host::ParticipantHost host("bob", transport);
  const auto& types = module->SessionTypes();
  auto agenda_session =
      types.CreateSession(u"quenlo.agenda.session").As<quenlo::IConferenceSession>();
  auto agenda = agenda_session.As<quenlo::IAgendaCommands>();
  agenda_session->SetProperty(u"agenda.room_name", u"board@conference.example.net");
  agenda_session->Attach(&host);
  TimedReceiver receiver(host);
  std::size_t events = 0;
  host.AddListener([&](const quenlo::host::HostEvent&) { ++events; });
  transport.Connect({"bob", "board@conference.example.net", "Bob"}, receiver);

  Clock::duration command_time{};
  const auto start = Clock::now();
  for (int i = 0; i < kModuleRoundTrips; ++i) {
    const std::size_t before = events;
    const auto command_start = Clock::now();
    agenda->Request(u"r");
    command_time += Clock::now() - command_start;
    while (events == before) transport.Pump(10ms);
  }
  const auto total = Clock::now() - start;
  transport.Disconnect("bob");
  agenda_session->Detach();
  const double per_trip_us =
      std::chrono::duration<double, std::micro>(total).count() / kModuleRoundTrips;
  const double client_us =
      std::chrono::duration<double, std::micro>(command_time + receiver.inside).count() /
      kModuleRoundTrips;
  std::printf("%-38s %9.0f/s  %.0f us each, of which %.1f us (%.1f%%) on the client's side\n",
              "module round trips, serial", 1e6 / per_trip_us, per_trip_us, client_us,
              100.0 * client_us / per_trip_us);
}

}  // namespace

int main() {
  try {
    ProsodyServer server({"alice", "bob"});
    const auto confserver = quenlo::xmpp_test::StartConfserver(server, server.PathFor("rooms.db"),
                                                               server.PathFor("confserver.log"));
    EchoComponent echo(server);
    quenlo::xmpp::Context context;
    TestClient client(context, server, "alice");
    client.Connect();
    client.Join("board@conference.example.net", "Alice");
    const std::string room = "board@conference.example.net";
    const std::string echo_room = "board@" + std::string(ProsodyServer::kSpareComponentDomain);

    // A first pass of each warms up both components and Prosody.
    Measure(client, room, "warm-s-", 500, kInFlight);
    Measure(client, echo_room, "warm-e-", 500, kInFlight);
    std::printf("iq round trips through Prosody, one client:\n");
    const Figures serial_service = Measure(client, room, "s-", kSerialRequests, 1);
    const Figures serial_echo = Measure(client, echo_room, "e-", kSerialRequests, 1);
    Report("serial", serial_service, serial_echo);
    const Figures piped_service = Measure(client, room, "ps-", kPipelinedRequests, kInFlight);
    const Figures piped_echo = Measure(client, echo_room, "pe-", kPipelinedRequests, kInFlight);
    Report("pipelined (100 in flight)", piped_service, piped_echo);
    MeasureModuleShare(server);
    confserver->Stop(SIGTERM, 5s);
    return 0;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "xmpp_roundtrip_bench: %s\n", error.what());
    return 1;
  }
}
