// The metrics' text format: what the writer gives passes a strict reader of the format, label
// values and help texts come back as they went in, histograms are cumulative up to +Inf; and the
// reader refuses each kind of fault, so that its passing means something.
#include "server/http/prometheus_text.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "tests/server/prometheus_check.h"

namespace quenlo::server::http {
namespace {

using server::testing::ParsePrometheus;
using namespace std::chrono_literals;

TEST(PrometheusTextTest, WhatIsWrittenReadsBackStrictly) {
  const std::string awkward = "a \"quoted\" back\\slash\nand a line feed";
  LatencyHistogram histogram;
  // On a bound counts in that bucket (le: less or equal); beyond the last, only in +Inf.
  for (const std::chrono::microseconds took :
       {200us, 1000us, 1001us, 30000us, 30000us, 60000000us}) {
    histogram.Observe(took);
  }

  PrometheusText out;
  out.Family("things_total", "counter", "Things, with a \\ and a\nline feed.");
  out.Sample("things_total", {{"kind", awkward}, {"outcome", "ok"}}, 3);
  out.Sample("things_total", {{"kind", ""}, {"outcome", "ok"}}, 0);
  out.Family("level", "gauge", "A level.");
  out.Sample("level", {}, 0.25);
  out.Histogram("took_seconds", "How long.", histogram);

  const auto read = ParsePrometheus(out.text());
  EXPECT_EQ(read.families.at("things_total").help, "Things, with a \\ and a\nline feed.");
  EXPECT_EQ(read.Value("things_total", {{"kind", awkward}, {"outcome", "ok"}}), 3);
  EXPECT_EQ(read.Value("things_total", {{"kind", ""}, {"outcome", "ok"}}), 0);
  EXPECT_EQ(read.Value("level"), 0.25);
  EXPECT_EQ(read.families.at("took_seconds").type, "histogram");
  const struct {
    const char* le;
    double count;
  } buckets[] = {{"0.0005", 1}, {"0.001", 2}, {"0.0025", 3}, {"0.025", 3},
                 {"0.05", 5},   {"5", 5},     {"+Inf", 6}};
  for (const auto& bucket : buckets) {
    EXPECT_EQ(read.Value("took_seconds_bucket", {{"le", bucket.le}}), bucket.count) << bucket.le;
  }
  EXPECT_EQ(read.Value("took_seconds_count"), 6);
  EXPECT_NEAR(read.Value("took_seconds_sum"), 60.062201, 1e-9);
  EXPECT_NE(out.text().find("took_seconds_bucket{le=\"0.0005\"} 1\n"), std::string::npos)
      << "bounds are written in their shortest form";
}

TEST(PrometheusTextTest, TheReaderRefusesEachFault) {
  const std::string histogram =
      "# TYPE h histogram\nh_bucket{le=\"1\"} 1\nh_bucket{le=\"+Inf\"} 2\nh_sum 3\n";
  const struct {
    const char* fault;
    std::string text;
  } cases[] = {
      {"no final line feed", "a 1"},
      {"a bad metric name", "1a 1\n"},
      {"a reserved label name", "a{__x=\"1\"} 1\n"},
      {"an unknown escape", "a{x=\"\\t\"} 1\n"},
      {"an unterminated value", "a{x=\"1} 1\n"},
      {"a label twice", "a{x=\"1\",x=\"2\"} 1\n"},
      {"not a number", "a 1x\n"},
      {"a sample twice", "a{x=\"1\"} 1\na{x=\"1\"} 2\n"},
      {"a split family", "a 1\nb 1\na{x=\"1\"} 1\n"},
      {"TYPE after samples", "a 1\n# TYPE a gauge\n"},
      {"two TYPE lines", "# TYPE a gauge\n# TYPE a gauge\na 1\n"},
      {"an unknown type", "# TYPE a meter\na 1\n"},
      {"a counter without _total", "# TYPE a counter\na 1\n"},
      {"no _count", histogram},
      {"a _count not the +Inf bucket's", histogram + "h_count 3\n"},
      {"no +Inf bucket", "# TYPE h histogram\nh_bucket{le=\"1\"} 1\nh_sum 3\nh_count 1\n"},
      {"buckets not cumulative",
       "# TYPE h histogram\nh_bucket{le=\"1\"} 2\nh_bucket{le=\"+Inf\"} 1\nh_sum 3\nh_count 1\n"},
      {"bounds not increasing",
       "# TYPE h histogram\nh_bucket{le=\"2\"} 1\nh_bucket{le=\"1\"} 1\nh_bucket{le=\"+Inf\"} 1\n"
       "h_sum 3\nh_count 1\n"},
  };
  for (const auto& bad : cases) {
    EXPECT_THROW(ParsePrometheus(bad.text), std::invalid_argument) << bad.fault;
  }
  // The same reader takes what the format allows that our writer never writes.
  EXPECT_NO_THROW(ParsePrometheus(histogram + "h_count 2\n# a comment\n\n  c{x=\"1\",} NaN 17\n"));
}

}  // namespace
}  // namespace quenlo::server::http
