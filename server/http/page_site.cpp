#include "server/http/page_site.h"

#include <algorithm>
#include <string_view>

#include "server/http/page_assets.h"
#include "server/http/page_render.h"

namespace quenlo::server::http {
namespace {

constexpr std::string_view kRoomPrefix = "/room/";
constexpr std::size_t kTokenLength = 32;

HttpAnswer NotFound() { return {404, "text/plain; charset=utf-8", "Not found\n", {}, {}}; }

bool IsToken(std::string_view text) {
  return text.size() == kTokenLength && std::all_of(text.begin(), text.end(), [](char c) {
           return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
         });
}

std::string BasePath(std::string_view token) {
  return std::string(kRoomPrefix) + std::string(token);
}

PageView ViewOf(std::string_view query) {
  return query == "view=projector" ? PageView::kProjector : PageView::kPhone;
}

}  // namespace

HttpAnswer PageSite::Answer(const HttpRequest& request) {
  if (request.method != "GET" && request.method != "HEAD") {
    return {405, "text/plain; charset=utf-8", "Only GET and HEAD\n", {{"Allow", "GET, HEAD"}}, {}};
  }
  std::string_view path = request.target;
  std::string_view query;
  if (const auto mark = path.find('?'); mark != std::string_view::npos) {
    query = path.substr(mark + 1);
    path = path.substr(0, mark);
  }
  if (!path.starts_with(kRoomPrefix)) return NotFound();
  path.remove_prefix(kRoomPrefix.size());
  const std::string_view token = path.substr(0, std::min(path.size(), kTokenLength));
  const std::string_view rest = path.substr(token.size());
  if (!IsToken(token)) return NotFound();
  const std::optional<RoomPage> page = service_.Page(token);
  if (!page) return NotFound();

  if (rest.empty()) {
    return {200,
            "text/html; charset=utf-8",
            RenderPageHtml(*page, ViewOf(query), BasePath(token)),
            {},
            {}};
  }
  if (rest == "/events") return {200, {}, {}, {}, std::string(token)};
  if (rest == "/page.js")
    return {200, "text/javascript; charset=utf-8", std::string(kPageScript), {}, {}};
  if (rest == "/page.css") return {200, "text/css; charset=utf-8", std::string(kPageStyle), {}, {}};
  if (rest == "/result.csv") {
    std::optional<std::string> csv = RenderResultCsv(*page);
    if (!csv) return NotFound();
    return {200,
            "text/csv; charset=utf-8",
            std::move(*csv),
            {{"Content-Disposition", "attachment; filename=\"result.csv\""}},
            {}};
  }
  return NotFound();
}

std::optional<std::uint64_t> PageSite::Revision(const std::string& channel) {
  return service_.PageRevision(channel);
}

// The changing part of the page, each of its lines as one "data" line (the browser joins them
// with line feeds again; the rendering writes no carriage return).
std::string PageSite::Event(const std::string& channel) {
  const std::optional<RoomPage> page = service_.Page(channel);
  if (!page) return Farewell();
  const std::string body = RenderPageBody(*page, BasePath(channel));
  std::string event = "event: page\n";
  std::size_t start = 0;
  while (true) {
    const std::size_t end = body.find('\n', start);
    event += "data: " + body.substr(start, end - start) + "\n";
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return event + "\n";
}

std::string PageSite::Farewell() { return "event: gone\ndata: gone\n\n"; }

}  // namespace quenlo::server::http
