#include "server/http/prometheus_text.h"

#include <charconv>
#include <cmath>
#include <cstdint>

namespace quenlo::server::http {
namespace {

// A number as Go's strconv reads it, in the shortest decimal form without exponent: "3",
// "0.0005", "+Inf"; bucket bounds read as people write them.
std::string Number(double value) {
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) return value > 0 ? "+Inf" : "-Inf";
  char buffer[64];
  auto written = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
  // Very large or very small numbers take their exponent after all.
  if (written.ec != std::errc()) written = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, written.ptr);
}

// Help texts escape backslash and line feed; label values also the double quote.
void AppendEscaped(std::string& out, std::string_view text, bool quotes) {
  for (const char c : text) {
    if (c == '\\') {
      out += "\\\\";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '"' && quotes) {
      out += "\\\"";
    } else {
      out += c;
    }
  }
}

}  // namespace

void PrometheusText::Family(std::string_view name, std::string_view type, std::string_view help) {
  text_.append("# HELP ").append(name).append(" ");
  AppendEscaped(text_, help, false);
  text_.append("\n# TYPE ").append(name).append(" ").append(type).append("\n");
}

void PrometheusText::Sample(std::string_view name, const Labels& labels, double value) {
  text_.append(name);
  if (!labels.empty()) {
    text_ += '{';
    for (std::size_t i = 0; i < labels.size(); ++i) {
      if (i > 0) text_ += ',';
      text_.append(labels[i].first).append("=\"");
      AppendEscaped(text_, labels[i].second, true);
      text_ += '"';
    }
    text_ += '}';
  }
  text_.append(" ").append(Number(value)).append("\n");
}

void PrometheusText::Histogram(std::string_view name, std::string_view help,
                               const LatencyHistogram& histogram) {
  Family(name, "histogram", help);
  const std::string bucket = std::string(name) + "_bucket";
  std::uint64_t cumulative = 0;
  for (std::size_t i = 0; i < LatencyHistogram::kBounds.size(); ++i) {
    cumulative += histogram.counts()[i];
    const std::string bound = Number(LatencyHistogram::kBounds[i]);
    Sample(bucket, {{"le", bound}}, static_cast<double>(cumulative));
  }
  Sample(bucket, {{"le", "+Inf"}}, static_cast<double>(histogram.count()));
  Sample(std::string(name) + "_sum", {}, histogram.sum_seconds());
  Sample(std::string(name) + "_count", {}, static_cast<double>(histogram.count()));
}

}  // namespace quenlo::server::http
