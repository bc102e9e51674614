#include "host/xmpp_conference.h"

#include <utility>

#include "host/host_error.h"

namespace quenlo::host {

XmppConference::XmppConference(std::shared_ptr<ConferenceModule> module, XmppAccount account,
                               std::string room, XmppTimings timings)
    : module_(std::move(module)), room_(std::move(room)), transport_(std::move(account), timings) {
  transport_.SetNoticeListener([this](const TransportNotice& notice) {
    if (noticeObserver_) noticeObserver_(name_, notice);
  });
}

XmppConference::~XmppConference() { participant_.reset(); }

Participant& XmppConference::Join(const std::string& name, const std::string& display_name) {
  if (participant_) {
    throw HostError(name_ + " is in already: one process is one participant over XMPP");
  }
  Endpoint endpoint{name, room_, display_name.empty() ? name : display_name};
  participant_ = std::make_unique<Participant>(module_, transport_, std::move(endpoint));
  name_ = name;
  participant_->host().AddListener([this](const HostEvent& event) {
    if (observer_) observer_(name_, event);
  });
  return *participant_;
}

bool XmppConference::Leave(const std::string& name) {
  if (!participant_ || name != name_) return false;
  participant_.reset();
  name_.clear();
  return true;
}

Participant* XmppConference::Find(const std::string& name) {
  return participant_ && name == name_ ? participant_.get() : nullptr;
}

void XmppConference::SetEventObserver(EventObserver observer) { observer_ = std::move(observer); }

void XmppConference::SetWireObserver(WireObserver observer) {
  transport_.SetWireObserver(std::move(observer));
}

void XmppConference::SetNoticeObserver(NoticeObserver observer) {
  noticeObserver_ = std::move(observer);
}

void XmppConference::Poll() {
  if (participant_) transport_.Pump(std::chrono::milliseconds(0));
}

std::size_t XmppConference::Settle() {
  if (!participant_) return 0;
  const std::size_t before = transport_.delivered();
  // Every request is answered or reported within the transport's time limit; the margin only
  // lets the last report come.
  transport_.Settle(kQuietTime, transport_.timings().answer_limit + std::chrono::seconds(1));
  return transport_.delivered() - before;
}

void XmppConference::Advance(std::chrono::seconds elapsed) {
  if (elapsed.count() < 0) throw HostError("time cannot run backwards");
  const auto until = std::chrono::steady_clock::now() + elapsed;
  while (std::chrono::steady_clock::now() < until) {
    transport_.Pump(std::chrono::duration_cast<std::chrono::milliseconds>(
        std::min<std::chrono::steady_clock::duration>(until - std::chrono::steady_clock::now(),
                                                      std::chrono::milliseconds(50))));
  }
  Settle();
}

}  // namespace quenlo::host
