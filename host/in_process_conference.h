// A whole meeting in one process: the module, the conference server simulator on a clock that
// only moves when told, the in-process transport, and the participants. What confhost, the
// end-to-end tests and the benchmarks drive.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "host/conference.h"
#include "host/conference_module.h"
#include "host/in_process_transport.h"
#include "host/participant.h"
#include "server/conference_server.h"

namespace quenlo::host {

class InProcessConference final : public Conference {
 public:
  static constexpr char kDefaultRoom[] = "board@conference.example.net";

  explicit InProcessConference(std::shared_ptr<ConferenceModule> module,
                               std::string room = kDefaultRoom);
  InProcessConference(const InProcessConference&) = delete;
  InProcessConference& operator=(const InProcessConference&) = delete;
  ~InProcessConference() override;

  const std::string& room() const noexcept override { return room_; }
  InProcessTransport& transport() noexcept { return transport_; }

  // `name` becomes the address name@example.net; `display_name` is what registered votes
  // show (the name itself when empty). Throws HostError when the name is taken.
  Participant& Join(const std::string& name, const std::string& display_name = "") override;
  bool Leave(const std::string& name) override;
  Participant* Find(const std::string& name) override;

  void SetEventObserver(EventObserver observer) override;
  void SetWireObserver(WireObserver observer) override;
  // Every packet is delivered before Settle returns, and always answered: nothing to tell.
  void SetNoticeObserver(NoticeObserver) override {}
  // Nothing arrives unasked: the server's clock moves only with Advance.
  void Poll() override {}

  std::size_t Settle() override;
  // How far the server's clock can be moved in all: 100 years.
  static constexpr std::chrono::seconds kClockLimit{100LL * 365 * 24 * 3600};

  // Moves the server's clock forward, ends the votes whose time ran out, and settles. Throws
  // HostError, moving nothing, when the clock would pass kClockLimit (or `elapsed` is negative).
  void Advance(std::chrono::seconds elapsed) override;

 private:
  std::shared_ptr<ConferenceModule> module_;
  std::string room_;
  std::atomic<std::chrono::system_clock::rep> elapsedTicks_{0};
  server::ConferenceServer server_;
  InProcessTransport transport_;
  EventObserver observer_;
  // Declared last so that the participants leave before the server and transport go.
  std::map<std::string, std::unique_ptr<Participant>, std::less<>> participants_;
};

}  // namespace quenlo::host
