#include "host/in_process_conference.h"

#include <string>
#include <utility>

#include "host/host_error.h"
#include "server/sqlite_store.h"

namespace quenlo::host {

InProcessConference::InProcessConference(std::shared_ptr<ConferenceModule> module, std::string room)
    : module_(std::move(module)),
      room_(std::move(room)),
      // The embedded meeting keeps nothing across runs: its store is in memory.
      server_(std::make_unique<server::SqliteStore>(":memory:"),
              [this] {
                return std::chrono::system_clock::time_point(
                    std::chrono::system_clock::duration(elapsedTicks_.load()));
              }),
      transport_(server_) {}

InProcessConference::~InProcessConference() { participants_.clear(); }

Participant& InProcessConference::Join(const std::string& name, const std::string& display_name) {
  if (participants_.contains(name)) throw HostError(name + " has already joined");
  Endpoint endpoint{name + "@example.net", room_, display_name.empty() ? name : display_name};
  auto participant = std::make_unique<Participant>(module_, transport_, std::move(endpoint));
  participant->host().AddListener([this, name](const HostEvent& event) {
    if (observer_) observer_(name, event);
  });
  return *participants_.emplace(name, std::move(participant)).first->second;
}

bool InProcessConference::Leave(const std::string& name) { return participants_.erase(name) > 0; }

Participant* InProcessConference::Find(const std::string& name) {
  const auto found = participants_.find(name);
  return found == participants_.end() ? nullptr : found->second.get();
}

void InProcessConference::SetEventObserver(EventObserver observer) {
  observer_ = std::move(observer);
}

void InProcessConference::SetWireObserver(WireObserver observer) {
  transport_.SetWireObserver(std::move(observer));
}

std::size_t InProcessConference::Settle() { return transport_.DeliverPending(); }

void InProcessConference::Advance(std::chrono::seconds elapsed) {
  using std::chrono::system_clock;
  // Far below the clock's own limit, so that the server can still add a vote's timeout to it: a
  // clock that wrapped around would bring votes that timed out back to life.
  constexpr auto kLimit = std::chrono::duration_cast<system_clock::duration>(kClockLimit).count();
  const system_clock::rep now = elapsedTicks_.load();
  if (elapsed.count() < 0 || elapsed > kClockLimit ||
      std::chrono::duration_cast<system_clock::duration>(elapsed).count() > kLimit - now) {
    throw HostError("the meeting clock cannot move past " + std::to_string(kClockLimit.count()) +
                    " seconds");
  }
  elapsedTicks_ = now + std::chrono::duration_cast<system_clock::duration>(elapsed).count();
  transport_.Tick();
  Settle();
}

}  // namespace quenlo::host
