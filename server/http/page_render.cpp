#include "server/http/page_render.h"

#include <chrono>

namespace quenlo::server::http {
namespace {

const char* StateWord(VoteState state) {
  switch (state) {
    case VoteState::kDrafted:
    case VoteState::kReady:
      return "waiting";
    case VoteState::kRunning:
      return "open";
    case VoteState::kEnded:
      return "ended";
  }
  return "waiting";
}

const char* StateLabel(VoteState state) {
  switch (state) {
    case VoteState::kDrafted:
    case VoteState::kReady:
      return "Waiting to start";
    case VoteState::kRunning:
      return "Voting is open";
    case VoteState::kEnded:
      return "Ended: final result";
  }
  return "Waiting to start";
}

// Whole percent of the ballots, rounded half up; 0 when nobody voted.
std::size_t Percent(std::size_t count, std::size_t ballots) {
  return ballots == 0 ? 0 : (count * 100 + ballots / 2) / ballots;
}

std::string Plural(std::size_t count, const char* one, const char* many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

std::string TimeLeft(std::chrono::milliseconds left) {
  const auto seconds = std::max<long long>(0, (left.count() + 999) / 1000);
  if (seconds < 60) return std::to_string(seconds) + " s left";
  const long long rest = seconds % 60;
  return std::to_string(seconds / 60) + ":" + (rest < 10 ? "0" : "") + std::to_string(rest) +
         " left";
}

std::string Turnout(const PageVote& vote, std::size_t members) {
  return std::to_string(vote.ballots) + " of " + Plural(members, "member", "members") + " voted";
}

void RenderAgenda(const RoomPage& page, std::string& out) {
  out +=
      "<section class=\"agenda\" aria-labelledby=\"agenda-title\"><h2 "
      "id=\"agenda-title\">Agenda</h2>";
  if (page.agenda.empty()) {
    out += "<p>No agenda yet.</p></section>";
    return;
  }
  out += "<ol>";
  for (const AgendaItem& item : page.agenda) {
    const bool now = item.qid == page.in_progress;
    out += now ? "<li class=\"now\" aria-current=\"step\">" : "<li>";
    out += EscapeHtml(item.text.empty() ? item.qid : item.text);
    if (!item.time.empty()) out += " <span class=\"time\">" + EscapeHtml(item.time) + "</span>";
    if (now) out += " <strong class=\"now-mark\">(in progress)</strong>";
    out += "</li>";
  }
  out += "</ol></section>";
}

void RenderTally(const PageVote& vote, std::string& out) {
  const bool counted = vote.state != VoteState::kReady && !vote.tally_hidden;
  bool names = false;
  for (const PageSubject& subject : vote.subjects) names = names || !subject.voters.empty();
  out += "<table class=\"tally\"><caption>";
  out += vote.state == VoteState::kEnded ? "Final tally" : counted ? "Live tally" : "Choices";
  out += "</caption><thead><tr><th scope=\"col\">Choice</th>";
  if (counted) out += "<th scope=\"col\">Votes</th><th scope=\"col\">Share</th>";
  if (names) out += "<th scope=\"col\">Voters</th>";
  out += "</tr></thead><tbody>";
  for (const PageSubject& subject : vote.subjects) {
    out += "<tr><th scope=\"row\">" +
           EscapeHtml(subject.text.empty() ? subject.index : subject.text) + "</th>";
    if (counted) {
      const std::size_t count = subject.count.value_or(0);
      const std::string percent = std::to_string(Percent(count, vote.ballots));
      out += "<td class=\"count\">" + std::to_string(count) + "</td>";
      out += "<td class=\"share\"><progress max=\"100\" value=\"" + percent +
             "\" aria-hidden=\"true\">" + percent + "%</progress> <span class=\"percent\">" +
             percent + "%</span></td>";
    }
    if (names) {
      out += "<td class=\"voters\">";
      for (std::size_t i = 0; i < subject.voters.size(); ++i) {
        out += (i == 0 ? "" : ", ") + EscapeHtml(subject.voters[i]);
      }
      out += "</td>";
    }
    out += "</tr>";
  }
  out += "</tbody></table>";
}

void RenderVote(const RoomPage& page, const std::string& base_path, std::string& out) {
  out += "<section class=\"vote\" aria-labelledby=\"vote-caption\">";
  if (!page.vote) {
    out +=
        "<h2 id=\"vote-caption\">No vote yet</h2><p class=\"state\" data-state=\"none\">Waiting "
        "for the owner to prepare a vote.</p></section>";
    return;
  }
  const PageVote& vote = *page.vote;
  const std::string state = StateWord(vote.state);
  out += "<h2 id=\"vote-caption\">" + EscapeHtml(vote.caption) + "</h2>";
  out += "<p class=\"status\"><span class=\"state state-" + state + "\" data-state=\"" + state +
         "\">" + StateLabel(vote.state) + "</span>";
  if (vote.ends_at) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(*vote.ends_at - page.taken_at);
    out += " <span class=\"time-left\" data-left-ms=\"" + std::to_string(left.count()) + "\">" +
           TimeLeft(left) + "</span>";
  }
  out += "</p>";
  std::string facts;
  facts += vote.multiple_choice ? "Several choices allowed. " : "One choice. ";
  facts += vote.registered ? "Registered vote: voters are named in the final result."
                           : "Anonymous vote.";
  out += "<p class=\"facts\">" + facts + "</p>";
  if (vote.state != VoteState::kReady) {
    out += "<p class=\"turnout\">" + Turnout(vote, page.members) + "</p>";
  }
  if (vote.tally_hidden) {
    out += "<p class=\"hidden-note\">The tally is hidden until the vote ends.</p>";
  }
  RenderTally(vote, out);
  if (vote.state == VoteState::kEnded) {
    out += "<p class=\"download\"><a href=\"" + base_path +
           "/result.csv\" download>Download the result (CSV)</a></p>";
  }
  out += "</section>";
}

// What a screen reader says after an update: the vote's state and turnout, in one sentence.
std::string Announcement(const RoomPage& page) {
  if (!page.vote) return "No vote yet.";
  const PageVote& vote = *page.vote;
  std::string text = vote.caption + ": " + StateLabel(vote.state) + ".";
  if (vote.state != VoteState::kReady) text += " " + Turnout(vote, page.members) + ".";
  return text;
}

// Quotes one CSV field, and keeps a spreadsheet from reading it as a formula.
std::string CsvField(std::string_view text) {
  std::string field = "\"";
  if (!text.empty() && std::string_view("=+-@\t\r").find(text.front()) != std::string_view::npos) {
    field += '\'';
  }
  for (const char c : text) {
    if (c == '"') field += '"';
    field += c;
  }
  return field + "\"";
}

}  // namespace

std::string EscapeHtml(std::string_view text) {
  std::string escaped;
  escaped.reserve(text.size());
  for (const char c : text) {
    switch (c) {
      case '&':
        escaped += "&amp;";
        break;
      case '<':
        escaped += "&lt;";
        break;
      case '>':
        escaped += "&gt;";
        break;
      case '"':
        escaped += "&quot;";
        break;
      case '\'':
        escaped += "&#39;";
        break;
      case '\r':
        escaped += "&#13;";
        break;
      default:
        escaped += c;
    }
  }
  return escaped;
}

std::string RenderPageBody(const RoomPage& page, const std::string& base_path) {
  std::string out;
  out += "<div class=\"announce\" data-announce=\"" + EscapeHtml(Announcement(page)) + "\"></div>";
  RenderVote(page, base_path, out);
  RenderAgenda(page, out);
  return out;
}

std::string RenderPageHtml(const RoomPage& page, PageView view, const std::string& base_path) {
  const bool projector = view == PageView::kProjector;
  const std::string title =
      EscapeHtml(page.vote ? page.vote->caption + " - " + page.room : page.room);
  std::string out =
      "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
      "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">"
      "<meta name=\"referrer\" content=\"no-referrer\">";
  out += "<title>" + title + "</title>";
  out += "<link rel=\"stylesheet\" href=\"" + base_path + "/page.css\">";
  out += "<script src=\"" + base_path + "/page.js\" defer></script></head>";
  out += std::string("<body class=\"") + (projector ? "projector" : "phone") + "\" data-events=\"" +
         base_path + "/events\">";
  out += "<header><h1>" + EscapeHtml(page.room) + "</h1>";
  out +=
      "<p class=\"connection\" role=\"status\" hidden>Reconnecting&#8230; the page shows the "
      "last state it received.</p>";
  out += "<nav aria-label=\"Views\"><a href=\"" + base_path + "?view=projector\"" +
         (projector ? " aria-current=\"page\"" : "") + ">Projector view</a> <a href=\"" +
         base_path + "\"" + (projector ? "" : " aria-current=\"page\"") + ">Phone view</a></nav>";
  out += "</header><main id=\"live\">";
  out += RenderPageBody(page, base_path);
  out +=
      "</main><p class=\"polite\" aria-live=\"polite\" aria-atomic=\"true\"></p></body></html>\n";
  return out;
}

std::optional<std::string> RenderResultCsv(const RoomPage& page) {
  if (!page.vote || page.vote->state != VoteState::kEnded) return std::nullopt;
  const PageVote& vote = *page.vote;
  std::string csv = "Vote,Choice,Votes,Percent of ballots,Ballots";
  if (vote.registered) csv += ",Voters";
  csv += "\r\n";
  for (const PageSubject& subject : vote.subjects) {
    const std::size_t count = subject.count.value_or(0);
    csv += CsvField(vote.caption) + "," + CsvField(subject.text) + "," + std::to_string(count) +
           "," + std::to_string(Percent(count, vote.ballots)) + "," + std::to_string(vote.ballots);
    if (vote.registered) {
      std::string voters;
      for (const std::string& voter : subject.voters)
        voters += (voters.empty() ? "" : "; ") + voter;
      csv += "," + CsvField(voters);
    }
    csv += "\r\n";
  }
  return csv;
}

}  // namespace quenlo::server::http
