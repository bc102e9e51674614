// A room's page as text: the HTML document, the part of it that live updates replace, and the
// final result as CSV. Every text a participant chose is escaped here, and only what RoomPage
// holds is shown, so what the room withholds from its page cannot appear.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "server/room_page.h"

namespace quenlo::server::http {

// How the page is laid out: the projector's large type and high contrast, or a phone's.
enum class PageView { kPhone, kProjector };

// `text` with &, <, >, " and ' written as character references.
std::string EscapeHtml(std::string_view text);

// The whole document for the page at `base_path` ("/room/TOKEN"); it reads correctly without
// JavaScript, whose file only keeps it up to date.
std::string RenderPageHtml(const RoomPage& page, PageView view, const std::string& base_path);
// The part of the document that changes: what each update carries.
std::string RenderPageBody(const RoomPage& page, const std::string& base_path);
// The final result of the vote shown, once it has ended; nothing before.
std::optional<std::string> RenderResultCsv(const RoomPage& page);

}  // namespace quenlo::server::http
