// How confhost shows an announced event: one readable line per object (its entries indented
// below), or one JSON object per line for other programs.
#pragma once

#include <string>

#include "host/result_snapshot.h"

namespace quenlo::confhost {

std::string FormatEventText(const std::string& participant, const std::string& path,
                            const host::ResultSnapshot& result);
std::string FormatEventJson(const std::string& participant, const std::string& path,
                            const host::ResultSnapshot& result);

// A JSON string literal, quotes included.
std::string JsonString(std::string_view text);

}  // namespace quenlo::confhost
