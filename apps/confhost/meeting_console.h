// Runs confhost's verbs, typed or scripted, against a meeting (in process, or one participant
// over XMPP) and prints what
// happens: every announced event with all its accessor values, refused commands, and (when
// tracing) every packet on the wire.
#pragma once

#include <memory>
#include <ostream>
#include <pugixml.hpp>
#include <string>
#include <string_view>
#include <vector>

#include "host/conference.h"

namespace quenlo::confhost {

enum class OutputStyle { kText, kJson };

class MeetingConsole {
 public:
  MeetingConsole(std::unique_ptr<host::Conference> conference, std::ostream& out, OutputStyle style,
                 bool trace);

  // Runs one line (blank lines and "#" comments do nothing) and delivers everything it caused.
  // Throws UsageError for input it cannot act on. False when the line asks to quit.
  bool Execute(std::string_view line);
  // What the join verb does: `name` joins the room and acts from now on. Throws HostError when
  // the name cannot join.
  void Join(const std::string& name, const std::string& display_name = "");

  // Handles and prints what arrived meanwhile, without waiting: what the shell does while it
  // waits for the next line.
  void Poll();
  // Requests the transport reported as not answered by the service so far.
  std::size_t unansweredRequests() const noexcept { return unanswered_; }

  std::string Prompt() const;
  std::string HelpText() const;

 private:
  void RunHostVerb(const std::string& verb, const std::vector<std::string>& arguments);
  pugi::xml_document AskRoom(const std::string& type, const std::string& body);
  host::Participant& Current();
  host::Participant& Named(const std::string& name);
  IConferenceSession& SessionOwning(host::Participant& participant, const std::string& property);
  void PrintEvent(const std::string& participant, const host::HostEvent& event);
  void PrintWire(const host::WirePacket& packet);
  void PrintStatus(const std::string& command, long status);
  void PrintNotice(const std::string& participant, const host::TransportNotice& notice);
  // A flag property is on only when the module reads the value as 1: says so when it will not.
  void WarnUnreadFlag(const std::string& property, const std::string& value);

  std::ostream& out_;
  OutputStyle style_;
  std::unique_ptr<host::Conference> conference_;
  std::string current_;
  std::size_t unanswered_ = 0;
  std::size_t ownRequests_ = 0;
};

}  // namespace quenlo::confhost
