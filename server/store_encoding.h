// How the stores write the values that have no column type of their own: times and a ballot's
// chosen subject indexes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "server/clock.h"

namespace quenlo::server {

std::int64_t ToMilliseconds(TimePoint time);
TimePoint FromMilliseconds(std::int64_t milliseconds);

// A ballot's chosen subject indexes in one text: each as its length, a colon and itself, so
// that any text may be an index ("1:21:3" for "2" and "3").
std::string EncodeChoices(const std::vector<std::string>& indexes);
// Nothing when `encoded` is not such a text.
std::optional<std::vector<std::string>> DecodeChoices(std::string_view encoded);

}  // namespace quenlo::server
