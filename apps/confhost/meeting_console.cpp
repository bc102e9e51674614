#include "apps/confhost/meeting_console.h"

#include <quenlo/names.h>

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <pugixml.hpp>
#include <sstream>

#include "apps/confhost/event_format.h"
#include "apps/confhost/module_verbs.h"
#include "apps/confhost/usage_error.h"
#include "apps/confhost/word_splitter.h"
#include "component/bstr.h"
#include "host/host_error.h"
#include "host/result_snapshot.h"
#include "host/utf8_text.h"

namespace quenlo::confhost {
namespace {

struct HostVerb {
  std::string_view name;
  std::string_view parameters;
  std::string_view summary;
};

constexpr HostVerb kHostVerbs[] = {
    {"join", "NAME [DISPLAY-NAME]", "a participant joins the room and acts from now on"},
    {"as", "NAME", "act as that participant"},
    {"leave", "NAME", "a participant leaves the room"},
    {"set", "PROPERTY VALUE", "set a session property (voting.* or agenda.*)"},
    {"get", "PROPERTY", "show a session property"},
    {"advance", "SECONDS",
     "let time pass on the server's clock (votes may time out); over XMPP this waits"},
    {"link", "[new]",
     "the owner: print the room page's address (new: replace it, the old one stops working)"},
    {"hide-tally", "QID on|off",
     "the owner: the room page shows only the number of ballots until the vote ends (or not)"},
    {"echo", "TEXT...", "print the text (scripts mark their progress with it)"},
    {"help", "", "list the verbs"},
    {"quit", "", "leave confhost"},
};

// The properties the module reads as a flag: on when their value reads as the number 1.
constexpr const OLECHAR* kFlagProperties[] = {kVotingMultipleChoiceProperty,
                                              kVotingRegisteredProperty};

bool IsFlagProperty(const std::string& name) {
  return std::ranges::any_of(kFlagProperties, [&](const OLECHAR* flag) {
    return host::ToUtf8(std::u16string_view(flag)) == name;
  });
}

void CheckCount(const std::string& verb, const std::vector<std::string>& arguments,
                std::size_t least, std::size_t most, std::string_view usage) {
  if (arguments.size() < least || arguments.size() > most) {
    throw UsageError((arguments.size() < least ? "missing argument: " : "too many arguments: ") +
                     verb + " " + std::string(usage));
  }
}

}  // namespace

MeetingConsole::MeetingConsole(std::unique_ptr<host::Conference> conference, std::ostream& out,
                               OutputStyle style, bool trace)
    : out_(out), style_(style), conference_(std::move(conference)) {
  conference_->SetEventObserver(
      [this](const std::string& participant, const host::HostEvent& event) {
        PrintEvent(participant, event);
      });
  conference_->SetNoticeObserver(
      [this](const std::string& participant, const host::TransportNotice& notice) {
        PrintNotice(participant, notice);
      });
  if (trace) {
    conference_->SetWireObserver([this](const host::WirePacket& packet) { PrintWire(packet); });
  }
}

void MeetingConsole::Poll() {
  conference_->Poll();
  out_.flush();
}

bool MeetingConsole::Execute(std::string_view line) {
  const std::vector<std::string> words = SplitWords(line);
  if (words.empty() || words.front().starts_with('#')) return true;
  const std::string& verb = words.front();
  const std::vector<std::string> arguments(words.begin() + 1, words.end());
  if (verb == "quit" || verb == "exit") return false;

  if (const ModuleVerb* command = FindModuleVerb(verb)) {
    std::string usage;
    for (const std::string_view parameter : command->parameters) {
      if (!usage.empty()) usage += ' ';
      usage += parameter;
    }
    CheckCount(verb, arguments, command->parameters.size(), command->parameters.size(), usage);
    std::vector<std::u16string> wide;
    for (const std::string& argument : arguments) wide.push_back(host::FromUtf8(argument));
    host::Participant& participant = Current();
    HRESULT status = S_OK;
    try {
      status = command->run(participant, wide);
    } catch (const _com_error& error) {
      status = error.Error();
    }
    if (status != S_OK) PrintStatus(verb, status);
  } else {
    RunHostVerb(verb, arguments);
  }
  conference_->Settle();
  out_.flush();
  return true;
}

void MeetingConsole::Join(const std::string& name, const std::string& display_name) {
  conference_->Join(name, display_name);
  current_ = name;
  conference_->Settle();
}

void MeetingConsole::RunHostVerb(const std::string& verb,
                                 const std::vector<std::string>& arguments) {
  if (verb == "help") {
    out_ << HelpText();
  } else if (verb == "join") {
    CheckCount(verb, arguments, 1, 2, "NAME [DISPLAY-NAME]");
    for (const std::string& name : arguments) {
      // The name becomes the participant's address and the display name a voter's name, both
      // written into packets: a control character would make every reply unreadable to them.
      if (std::ranges::any_of(
              name, [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == '\x7F'; })) {
        throw UsageError("join takes names without control characters");
      }
    }
    try {
      Join(arguments[0], arguments.size() > 1 ? arguments[1] : "");
    } catch (const host::HostError& error) {
      throw UsageError(error.what());
    }
  } else if (verb == "as") {
    CheckCount(verb, arguments, 1, 1, "NAME");
    Named(arguments[0]);
    current_ = arguments[0];
  } else if (verb == "leave") {
    CheckCount(verb, arguments, 1, 1, "NAME");
    Named(arguments[0]);
    conference_->Leave(arguments[0]);
    if (current_ == arguments[0]) current_.clear();
  } else if (verb == "set") {
    CheckCount(verb, arguments, 2, 2, "PROPERTY VALUE");
    host::Participant& participant = Current();
    const std::u16string name = host::FromUtf8(arguments[0]);
    const std::u16string value = host::FromUtf8(arguments[1]);
    if (SessionOwning(participant, arguments[0]).SetProperty(name.c_str(), value.c_str()) != S_OK) {
      throw UsageError("no property " + Quoted(arguments[0]));
    }
    if (IsFlagProperty(arguments[0])) WarnUnreadFlag(arguments[0], arguments[1]);
  } else if (verb == "get") {
    CheckCount(verb, arguments, 1, 1, "PROPERTY");
    host::Participant& participant = Current();
    const std::u16string name = host::FromUtf8(arguments[0]);
    Bstr value;
    if (SessionOwning(participant, arguments[0]).GetProperty(name.c_str(), value.Put()) != S_OK) {
      throw UsageError("no property " + Quoted(arguments[0]));
    }
    const std::string text = host::ToUtf8(value.View());
    if (style_ == OutputStyle::kJson) {
      out_ << "{\"participant\":" << JsonString(current_)
           << ",\"property\":" << JsonString(arguments[0]) << ",\"value\":" << JsonString(text)
           << "}\n";
    } else {
      out_ << "[" << current_ << "] " << arguments[0] << " = " << JsonString(text) << "\n";
    }
  } else if (verb == "link") {
    CheckCount(verb, arguments, 0, 1, "[new]");
    if (!arguments.empty() && arguments[0] != "new") throw UsageError("link takes nothing or new");
    const std::string address = AskRoom("page", arguments.empty() ? "" : "<renew>true</renew>")
                                    .first_child()
                                    .child_value("address");
    if (style_ == OutputStyle::kJson) {
      out_ << "{\"participant\":" << JsonString(current_) << ",\"page\":" << JsonString(address)
           << "}\n";
    } else {
      out_ << "[" << current_ << "] room page: " << address << '\n';
    }
  } else if (verb == "hide-tally") {
    CheckCount(verb, arguments, 2, 2, "QID on|off");
    if (arguments[1] != "on" && arguments[1] != "off") throw UsageError("hide-tally QID on|off");
    pugi::xml_document body;
    body.append_child("qid").text().set(arguments[0].c_str());
    body.append_child("hidden").text().set(arguments[1] == "on" ? "true" : "false");
    std::ostringstream text;
    body.save(text, "", pugi::format_raw | pugi::format_no_declaration);
    AskRoom("tally", text.str());
    out_ << (style_ == OutputStyle::kJson
                 ? "{\"participant\":" + JsonString(current_) +
                       ",\"tally_hidden\":" + (arguments[1] == "on" ? "true" : "false") + "}"
                 : "[" + current_ + "] the page " + (arguments[1] == "on" ? "hides" : "shows") +
                       " the live tally of vote " + arguments[0])
         << '\n';
  } else if (verb == "echo") {
    std::string text;
    for (const std::string& argument : arguments) text += (text.empty() ? "" : " ") + argument;
    out_ << (style_ == OutputStyle::kJson ? "{\"echo\":" + JsonString(text) + "}" : text) << '\n';
  } else if (verb == "advance") {
    CheckCount(verb, arguments, 1, 1, "SECONDS");
    long seconds = -1;
    const std::string& text = arguments[0];
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), seconds);
    if (error != std::errc() || end != text.data() + text.size() || seconds < 0) {
      throw UsageError("advance takes a whole number of seconds, not " + Quoted(text));
    }
    try {
      conference_->Advance(std::chrono::seconds(seconds));
    } catch (const host::HostError& refused) {
      throw UsageError(refused.what());
    }
  } else {
    throw UsageError("unknown verb " + Quoted(verb) + " (help lists them)");
  }
}

// Sends a room administration request of the current participant (the module makes none) and
// waits for its answer; a refusal becomes a UsageError with the room's reason.
pugi::xml_document MeetingConsole::AskRoom(const std::string& type, const std::string& body) {
  host::Participant& participant = Current();
  const std::string id = "confhost-" + std::to_string(++ownRequests_);
  std::optional<std::string> answer;
  participant.host().SetPacketWatcher([&](std::string_view xml) {
    pugi::xml_document packet;
    if (packet.load_buffer(xml.data(), xml.size()) &&
        packet.child("iq").attribute("id").value() == id) {
      answer = std::string(xml);
    }
  });
  pugi::xml_document request;
  pugi::xml_node iq = request.append_child("iq");
  iq.append_attribute("type") = "set";
  iq.append_attribute("to") = conference_->room().c_str();
  iq.append_attribute("id") = id.c_str();
  pugi::xml_node query = iq.append_child("query");
  query.append_attribute("type") = type.c_str();
  query.append_attribute("xmlns") = "quenlo:conf:admin";
  pugi::xml_document parsed_body;
  parsed_body.load_string(body.c_str());
  for (const pugi::xml_node child : parsed_body.children()) query.append_copy(child);
  std::ostringstream text;
  request.save(text, "", pugi::format_raw | pugi::format_no_declaration);
  participant.SendOwnRequest(text.str());
  try {
    conference_->Settle();
  } catch (const host::HostError& error) {
    participant.host().SetPacketWatcher({});
    throw UsageError(error.what());
  }
  participant.host().SetPacketWatcher({});
  if (!answer) throw UsageError("the room did not answer the " + type + " request");
  pugi::xml_document reply;
  reply.load_string(answer->c_str());
  const pugi::xml_node error = reply.child("iq").child("error");
  if (error) throw UsageError("the room refused: " + std::string(error.child_value("text")));
  pugi::xml_document result;
  result.append_copy(reply.child("iq").child("query"));
  return result;
}

host::Participant& MeetingConsole::Current() {
  if (current_.empty()) throw UsageError("nobody acts yet: join NAME first");
  return Named(current_);
}

host::Participant& MeetingConsole::Named(const std::string& name) {
  host::Participant* participant = conference_->Find(name);
  if (participant == nullptr) throw UsageError("nobody called " + Quoted(name) + " has joined");
  return *participant;
}

IConferenceSession& MeetingConsole::SessionOwning(host::Participant& participant,
                                                  const std::string& property) {
  if (property.starts_with("voting.")) return participant.VotingSession();
  if (property.starts_with("agenda.")) return participant.AgendaSession();
  throw UsageError("no property " + Quoted(property) +
                   " (properties start with voting. or agenda.)");
}

std::string MeetingConsole::Prompt() const {
  return (current_.empty() ? "confhost" : current_) + "> ";
}

std::string MeetingConsole::HelpText() const {
  std::ostringstream help;
  help << "Room " << conference_->room()
       << ". Verbs (quote arguments with blanks: \"two words\"):\n";
  for (const HostVerb& verb : kHostVerbs) {
    help << "  " << verb.name << ' ' << verb.parameters << "\n      " << verb.summary << '\n';
  }
  for (const ModuleVerb& verb : ModuleVerbs()) {
    help << "  " << verb.name;
    for (const std::string_view parameter : verb.parameters) help << ' ' << parameter;
    help << "\n      " << verb.summary << '\n';
  }
  return help.str();
}

void MeetingConsole::PrintEvent(const std::string& participant, const host::HostEvent& event) {
  const std::string path = host::ToUtf8(event.path);
  const host::ResultSnapshot result = host::ReadResult(event.result.Get());
  out_ << (style_ == OutputStyle::kJson ? FormatEventJson(participant, path, result)
                                        : FormatEventText(participant, path, result))
       << '\n';
}

void MeetingConsole::PrintWire(const host::WirePacket& packet) {
  if (style_ == OutputStyle::kJson) {
    out_ << "{\"wire\":{\"from\":" << JsonString(packet.from) << ",\"to\":" << JsonString(packet.to)
         << ",\"xml\":" << JsonString(packet.xml) << "}}\n";
  } else {
    out_ << "  wire " << packet.from << " -> " << packet.to << ": " << packet.xml << '\n';
  }
}

void MeetingConsole::PrintStatus(const std::string& command, long status) {
  if (style_ == OutputStyle::kJson) {
    out_ << "{\"participant\":" << JsonString(current_) << ",\"command\":" << JsonString(command)
         << ",\"status\":" << status << "}\n";
  } else {
    out_ << "[" << current_ << "] " << command << " returned " << status
         << (status == S_FALSE ? " (nothing sent)" : "") << '\n';
  }
}

void MeetingConsole::PrintNotice(const std::string& participant,
                                 const host::TransportNotice& notice) {
  if (notice.kind == host::TransportNotice::Kind::kUnanswered) ++unanswered_;
  if (style_ == OutputStyle::kJson) {
    out_ << "{\"participant\":" << JsonString(participant)
         << ",\"notice\":" << JsonString(host::KindName(notice.kind));
    if (notice.kind == host::TransportNotice::Kind::kUnanswered) {
      out_ << ",\"request_id\":" << JsonString(notice.request_id)
           << ",\"request\":" << JsonString(notice.request)
           << ",\"condition\":" << JsonString(notice.condition);
    }
    out_ << ",\"text\":" << JsonString(notice.text) << "}\n";
  } else {
    out_ << "[" << participant << "] " << notice.text << '\n';
  }
}

void MeetingConsole::WarnUnreadFlag(const std::string& property, const std::string& value) {
  // The module reads the leading number of the text, as strtol does, and takes only 1 as on.
  if (value == "0" || std::strtol(value.c_str(), nullptr, 10) == 1) return;
  const std::string warning =
      property + " is on only for 1: the module reads " + Quoted(value) + " as off";
  if (style_ == OutputStyle::kJson) {
    out_ << "{\"participant\":" << JsonString(current_) << ",\"property\":" << JsonString(property)
         << ",\"warning\":" << JsonString(warning) << "}\n";
  } else {
    out_ << "[" << current_ << "] " << warning << '\n';
  }
}

}  // namespace quenlo::confhost
