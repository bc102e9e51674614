#include "tests/xmpp/meeting_narrator.h"

#include <algorithm>

namespace quenlo::xmpp_test {
namespace {

// Reads "name=value name="quoted value" ..." (values quoted as JSON strings when they hold
// blanks); the first word, when it has no '=', is kept as "kind".
std::map<std::string, std::string> Fields(const std::string& text) {
  std::map<std::string, std::string> fields;
  std::size_t at = 0;
  while (at < text.size()) {
    while (at < text.size() && text[at] == ' ') ++at;
    const std::size_t equals = text.find('=', at);
    const std::size_t blank = text.find(' ', at);
    if (equals == std::string::npos || (blank != std::string::npos && blank < equals)) {
      fields["kind"] = text.substr(at, blank == std::string::npos ? std::string::npos : blank - at);
      at = blank == std::string::npos ? text.size() : blank;
      continue;
    }
    const std::string name = text.substr(at, equals - at);
    std::string value;
    at = equals + 1;
    if (at < text.size() && text[at] == '"') {
      for (++at; at < text.size() && text[at] != '"'; ++at) {
        if (text[at] == '\\' && at + 1 < text.size()) ++at;
        value += text[at];
      }
      ++at;
    } else {
      const std::size_t end = text.find(' ', at);
      value = text.substr(at, end == std::string::npos ? std::string::npos : end - at);
      at = end == std::string::npos ? text.size() : end;
    }
    fields[name] = value;
  }
  return fields;
}

std::string Quote(const std::string& text) { return "\"" + text + "\""; }

// Columns as wide as their widest cell, indented under the sentence they belong to.
void PrintTable(std::ostream& out, const std::vector<std::vector<std::string>>& rows) {
  std::vector<std::size_t> widths;
  for (const auto& row : rows) {
    widths.resize(std::max(widths.size(), row.size()));
    for (std::size_t i = 0; i < row.size(); ++i) widths[i] = std::max(widths[i], row[i].size());
  }
  for (const auto& row : rows) {
    std::string line = "      ";
    for (std::size_t i = 0; i < row.size(); ++i) {
      line += row[i] + (i + 1 < row.size() ? std::string(widths[i] - row[i].size() + 2, ' ') : "");
    }
    line.erase(line.find_last_not_of(' ') + 1);
    out << line << '\n';
  }
}

}  // namespace

void MeetingNarrator::Line(const std::string& user, const std::string& line) {
  const std::size_t depth = line.find_first_not_of(' ');
  if (depth != std::string::npos && depth >= 4 && hasPending_) {
    pending_.entries.push_back({static_cast<int>(depth / 4), Fields(line.substr(depth))});
    return;
  }
  Flush();
  const std::size_t close = line.find("] /");
  if (!line.starts_with("[") || close == std::string::npos) {
    out_ << "  " << user << ": " << line << '\n';
    return;
  }
  pending_ = Event{};
  pending_.who = line.substr(1, close - 1);
  const std::size_t path_end = line.find(' ', close + 2);
  pending_.path = line.substr(
      close + 2, path_end == std::string::npos ? std::string::npos : path_end - close - 2);
  if (path_end != std::string::npos) pending_.fields = Fields(line.substr(path_end + 1));
  hasPending_ = true;
}

void MeetingNarrator::Flush() {
  if (!hasPending_) return;
  hasPending_ = false;
  Tell(pending_);
}

void MeetingNarrator::Tell(const Event& event) {
  auto field = [&](const char* name) {
    const auto found = event.fields.find(name);
    return found == event.fields.end() ? std::string() : found->second;
  };
  const std::string vote = "vote " + field("qid") + " " + Quote(field("caption"));
  std::string subjects;
  for (const auto& [depth, entry] : event.entries) {
    if (depth == 1 && entry.contains("text")) {
      subjects += (subjects.empty() ? "" : ", ") + entry.at("text");
    }
  }
  const std::string& path = event.path;
  out_ << "  " << event.who << " ";
  if (path == "/agenda/create/ok" && event.entries.size() == 1) {
    const auto& item = event.entries.front().second;
    auto value = [&](const char* name) { return item.contains(name) ? item.at(name) : ""; };
    out_ << "sees " << Quote(value("text")) << " (" << value("time") << ", " << value("type")
         << ", " << value("value") << " min) added to the agenda\n";
  } else if (path == "/agenda/create/ok" || path == "/agenda/showall/ok") {
    out_ << (path == "/agenda/create/ok" ? "sees items added to the agenda:\n"
                                         : "browses the agenda:\n");
    std::vector<std::vector<std::string>> rows = {{"item", "time", "type", "minutes"}};
    for (const auto& [depth, item] : event.entries) {
      auto value = [&](const char* name) { return item.contains(name) ? item.at(name) : ""; };
      rows.push_back({value("text"), value("time"), value("type"), value("value")});
    }
    PrintTable(out_, rows);
  } else if (path == "/agenda/sync/ok" || path == "/agenda/request/ok") {
    out_ << (path == "/agenda/sync/ok" ? "sees the meeting move on to " : "asks what is on: ")
         << Quote(field("text")) << " (" << field("time") << ")\n";
  } else if (path == "/voting/apply/ok") {
    out_ << "gets vote " << field("qid") << " to prepare\n";
  } else if (path == "/voting/upload/ok") {
    out_ << "uploads " << vote << " (" << (field("reg") == "1" ? "voters named" : "anonymous")
         << (field("timeout") != "0" ? ", " + field("timeout") + " s" : "") << "): " << subjects
         << '\n';
  } else if (path == "/voting/start/ok") {
    out_ << "sees " << vote << " open: " << subjects << '\n';
  } else if (path == "/voting/end/ok") {
    out_ << "sees " << vote << " end\n";
  } else if (path == "/voting/voting/ok") {
    out_ << "votes in vote " << field("qid") << ": accepted\n";
  } else if (path == "/voting/error") {
    out_ << "is refused in vote " << field("qid") << ", error code " << field("code") << '\n';
  } else if (path == "/voting/kithe/ok" || path == "/voting/look/ok") {
    out_ << (path == "/voting/kithe/ok" ? "reads the live tally of " : "reads the result of ")
         << vote << ", " << field("count") << " ballot(s):\n";
    std::vector<std::vector<std::string>> rows = {{"subject", "votes", "voters"}};
    for (const auto& [depth, entry] : event.entries) {
      if (depth == 1) {
        rows.push_back({entry.contains("name") ? entry.at("name") : "",
                        entry.contains("votes") ? entry.at("votes") : "", ""});
      } else if (depth == 2 && rows.size() > 1 && entry.contains("name")) {
        std::string& voters = rows.back()[2];
        voters += (voters.empty() ? "" : ", ") + entry.at("name");
      }
    }
    PrintTable(out_, rows);
  } else {
    out_ << path;
    for (const auto& [name, value] : event.fields) out_ << ' ' << name << '=' << value;
    out_ << '\n';
  }
}

}  // namespace quenlo::xmpp_test
