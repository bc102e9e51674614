#include "server/store_encoding.h"

#include <charconv>
#include <chrono>

namespace quenlo::server {

std::int64_t ToMilliseconds(TimePoint time) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(time.time_since_epoch()).count();
}

TimePoint FromMilliseconds(std::int64_t milliseconds) {
  return TimePoint(
      std::chrono::duration_cast<TimePoint::duration>(std::chrono::milliseconds(milliseconds)));
}

std::string EncodeChoices(const std::vector<std::string>& indexes) {
  std::string encoded;
  for (const std::string& index : indexes) encoded += std::to_string(index.size()) + ':' + index;
  return encoded;
}

std::optional<std::vector<std::string>> DecodeChoices(std::string_view encoded) {
  std::vector<std::string> indexes;
  while (!encoded.empty()) {
    std::size_t length = 0;
    const auto [colon, error] =
        std::from_chars(encoded.data(), encoded.data() + encoded.size(), length);
    const auto taken = static_cast<std::size_t>(colon - encoded.data());
    if (error != std::errc() || taken >= encoded.size() || *colon != ':' ||
        encoded.size() - taken - 1 < length) {
      return std::nullopt;
    }
    indexes.emplace_back(encoded.substr(taken + 1, length));
    encoded.remove_prefix(taken + 1 + length);
  }
  return indexes;
}

}  // namespace quenlo::server
