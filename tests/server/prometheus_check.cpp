#include "tests/server/prometheus_check.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <set>
#include <stdexcept>

namespace quenlo::server::testing {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

bool IsNameStart(char c, bool colon) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || (colon && c == ':');
}

bool IsNameChar(char c, bool colon) { return IsNameStart(c, colon) || (c >= '0' && c <= '9'); }

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

std::vector<std::string_view> Tokens(std::string_view text) {
  std::vector<std::string_view> tokens;
  std::size_t at = 0;
  while (at < text.size()) {
    while (at < text.size() && IsBlank(text[at])) ++at;
    const std::size_t start = at;
    while (at < text.size() && !IsBlank(text[at])) ++at;
    if (at > start) tokens.push_back(text.substr(start, at - start));
  }
  return tokens;
}

// Metric names may hold colons, label names may not.
bool IsName(std::string_view text, bool colon) {
  return !text.empty() && IsNameStart(text.front(), colon) &&
         std::all_of(text.begin(), text.end(), [&](char c) { return IsNameChar(c, colon); });
}

std::string Lower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower;
}

// A float as Go's strconv.ParseFloat reads it in decimal (hexadecimal floats aside).
double ParseNumber(std::string_view text) {
  std::string_view digits = text;
  double sign = 1;
  if (!digits.empty() && (digits.front() == '+' || digits.front() == '-')) {
    sign = digits.front() == '-' ? -1 : 1;
    digits.remove_prefix(1);
  }
  const std::string word = Lower(digits);
  if (word == "inf" || word == "infinity") return sign * std::numeric_limits<double>::infinity();
  if (word == "nan" && digits.size() == text.size())
    return std::numeric_limits<double>::quiet_NaN();
  double value = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (digits.empty() || error != std::errc() || end != digits.data() + digits.size()) {
    throw std::invalid_argument("\"" + std::string(text) + "\" is not a number");
  }
  return sign * value;
}

// Reads escapes: `quotes` for label values, which also escape the double quote.
std::string Unescape(std::string_view text, bool quotes) {
  std::string plain;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') {
      plain += text[i];
      continue;
    }
    if (i + 1 == text.size()) throw std::invalid_argument("a backslash ends the text");
    const char next = text[++i];
    if (next == '\\') {
      plain += '\\';
    } else if (next == 'n') {
      plain += '\n';
    } else if (next == '"' && quotes) {
      plain += '"';
    } else {
      throw std::invalid_argument(std::string("the escape \\") + next + " is not in the format");
    }
  }
  return plain;
}

class Reader {
 public:
  PrometheusExposition Read(std::string_view text) {
    if (!text.empty() && text.back() != '\n')
      throw std::invalid_argument("no line feed at the end");
    std::size_t number = 0;
    while (!text.empty()) {
      const std::size_t end = text.find('\n');
      ++number;
      try {
        Line(Trim(text.substr(0, end)));
      } catch (const std::invalid_argument& fault) {
        throw std::invalid_argument("line " + std::to_string(number) + ": " + fault.what());
      }
      text.remove_prefix(end + 1);
    }
    for (const auto& [name, family] : result_.families) CheckFamily(name, family);
    return std::move(result_);
  }

 private:
  void Line(std::string_view line) {
    if (line.empty()) return;
    if (line.front() == '#') return Comment(line);
    Sample(line);
  }

  void Comment(std::string_view line) {
    const std::vector<std::string_view> tokens = Tokens(line.substr(1));
    if (tokens.empty() || (tokens[0] != "HELP" && tokens[0] != "TYPE")) return;
    if (tokens.size() < 2 || !IsName(tokens[1], true)) {
      throw std::invalid_argument("a " + std::string(tokens[0]) + " line without a metric name");
    }
    const std::string name(tokens[1]);
    Enter(name);
    PrometheusFamily& family = result_.families[name];
    if (tokens[0] == "HELP") {
      if (!helped_.insert(name).second) throw std::invalid_argument("a second HELP for " + name);
      // The docstring is the rest of the line after the name, blanks inside kept.
      const std::size_t name_at = line.find(tokens[1], line.find("HELP") + 4);
      const std::string_view rest = line.substr(name_at + tokens[1].size());
      family.help = Unescape(Trim(rest), false);
      return;
    }
    static const std::set<std::string_view> kTypes{"counter", "gauge", "histogram", "summary",
                                                   "untyped"};
    if (tokens.size() != 3 || !kTypes.contains(tokens[2])) {
      throw std::invalid_argument("TYPE " + name + " needs one of the five types");
    }
    if (!typed_.insert(name).second) throw std::invalid_argument("a second TYPE for " + name);
    if (sampled_.contains(name)) throw std::invalid_argument("TYPE " + name + " after its samples");
    family.type = tokens[2];
  }

  void Sample(std::string_view line) {
    std::size_t at = 0;
    while (at < line.size() && IsNameChar(line[at], true)) ++at;
    PrometheusSample sample;
    sample.name = std::string(line.substr(0, at));
    if (!IsName(sample.name, true)) throw std::invalid_argument("no valid metric name");
    while (at < line.size() && IsBlank(line[at])) ++at;
    if (at < line.size() && line[at] == '{') at = Labels(line, at + 1, sample.labels);
    const std::vector<std::string_view> rest = Tokens(line.substr(at));
    if (rest.empty() || rest.size() > 2)
      throw std::invalid_argument("a value (and timestamp) expected");
    sample.value = ParseNumber(rest[0]);
    if (rest.size() == 2) {
      std::int64_t timestamp = 0;
      const auto [end, error] =
          std::from_chars(rest[1].data(), rest[1].data() + rest[1].size(), timestamp);
      if (error != std::errc() || end != rest[1].data() + rest[1].size()) {
        throw std::invalid_argument("the timestamp is not an integer");
      }
    }
    const std::string family = FamilyOf(sample.name);
    Enter(family);
    sampled_.insert(family);
    const std::string key = sample.name + Key(sample.labels);
    if (!seen_.insert(key).second) throw std::invalid_argument("the sample " + key + " twice");
    result_.families.try_emplace(family);
    result_.samples.push_back(std::move(sample));
  }

  // Reads the labels after '{'; gives where the text after '}' starts.
  std::size_t Labels(std::string_view line, std::size_t at,
                     std::map<std::string, std::string>& labels) {
    const auto skip = [&] {
      while (at < line.size() && IsBlank(line[at])) ++at;
    };
    for (;;) {
      skip();
      if (at < line.size() && line[at] == '}') return at + 1;
      const std::size_t start = at;
      while (at < line.size() && IsNameChar(line[at], false)) ++at;
      const std::string name(line.substr(start, at - start));
      if (!IsName(name, false) || name.starts_with("__")) {
        throw std::invalid_argument("\"" + name + "\" is no label name");
      }
      skip();
      if (at >= line.size() || line[at++] != '=') throw std::invalid_argument("= expected");
      skip();
      if (at >= line.size() || line[at++] != '"') throw std::invalid_argument("\" expected");
      const std::size_t value_start = at;
      while (at < line.size() && line[at] != '"') at += line[at] == '\\' ? 2 : 1;
      if (at >= line.size()) throw std::invalid_argument("an unterminated label value");
      const std::string value = Unescape(line.substr(value_start, at - value_start), true);
      ++at;
      if (!labels.emplace(name, value).second) {
        throw std::invalid_argument("the label " + name + " twice");
      }
      skip();
      if (at < line.size() && line[at] == ',') {
        ++at;
        continue;
      }
      if (at >= line.size() || line[at] != '}') throw std::invalid_argument("} expected");
      return at + 1;
    }
  }

  std::string FamilyOf(const std::string& name) const {
    for (const std::string_view suffix : {"_bucket", "_sum", "_count"}) {
      if (!name.ends_with(suffix)) continue;
      const std::string base = name.substr(0, name.size() - suffix.size());
      const auto family = result_.families.find(base);
      if (family == result_.families.end()) continue;
      if (family->second.type == "histogram") return base;
      if (family->second.type == "summary" && suffix != "_bucket") return base;
    }
    return name;
  }

  // A family's lines come together: once another family's began, it may not come back.
  void Enter(const std::string& family) {
    if (family == current_) return;
    if (closed_.contains(family))
      throw std::invalid_argument("the lines of " + family + " are split");
    if (!current_.empty()) closed_.insert(current_);
    current_ = family;
  }

  static std::string Key(const std::map<std::string, std::string>& labels) {
    std::string key = "{";
    for (const auto& [name, value] : labels) key += name + "=\"" + value + "\",";
    return key + "}";
  }

  void CheckFamily(const std::string& name, const PrometheusFamily& family) const {
    if (family.type == "counter") {
      if (!name.ends_with("_total"))
        throw std::invalid_argument("the counter " + name + " lacks _total");
      for (const PrometheusSample& sample : result_.samples) {
        if (sample.name == name && !(sample.value >= 0)) {
          throw std::invalid_argument("the counter " + name + " below zero");
        }
      }
    }
    if (family.type == "histogram") CheckHistogram(name);
  }

  void CheckHistogram(const std::string& name) const {
    // Each series (its labels but le) in the order its buckets came.
    std::map<std::string, std::vector<std::pair<double, double>>> buckets;
    std::map<std::string, double> counts;
    std::set<std::string> sums;
    for (const PrometheusSample& sample : result_.samples) {
      std::map<std::string, std::string> labels = sample.labels;
      if (sample.name == name + "_bucket") {
        const auto le = labels.find("le");
        if (le == labels.end()) throw std::invalid_argument(name + "_bucket without le");
        const double bound = ParseNumber(le->second);
        labels.erase(le);
        buckets[Key(labels)].emplace_back(bound, sample.value);
      } else if (sample.name == name + "_count") {
        counts[Key(labels)] = sample.value;
      } else if (sample.name == name + "_sum") {
        sums.insert(Key(labels));
      }
    }
    if (buckets.empty()) throw std::invalid_argument("the histogram " + name + " has no buckets");
    for (const auto& [series, bounds] : buckets) {
      for (std::size_t i = 1; i < bounds.size(); ++i) {
        if (!(bounds[i].first > bounds[i - 1].first)) {
          throw std::invalid_argument(name + series + ": le bounds not increasing");
        }
        if (bounds[i].second < bounds[i - 1].second) {
          throw std::invalid_argument(name + series + ": buckets not cumulative");
        }
      }
      if (!std::isinf(bounds.back().first))
        throw std::invalid_argument(name + series + ": no +Inf bucket");
      const auto count = counts.find(series);
      if (count == counts.end() || count->second != bounds.back().second) {
        throw std::invalid_argument(name + series + ": _count missing or not the +Inf bucket's");
      }
      if (!sums.contains(series)) throw std::invalid_argument(name + series + ": no _sum");
    }
  }

  PrometheusExposition result_;
  std::string current_;
  std::set<std::string> closed_;
  std::set<std::string> helped_;
  std::set<std::string> typed_;
  std::set<std::string> sampled_;
  std::set<std::string> seen_;
};

}  // namespace

double PrometheusExposition::Value(const std::string& name,
                                   const std::map<std::string, std::string>& labels) const {
  for (const PrometheusSample& sample : samples) {
    if (sample.name == name && sample.labels == labels) return sample.value;
  }
  throw std::out_of_range("no sample " + name);
}

PrometheusExposition ParsePrometheus(std::string_view text) { return Reader().Read(text); }

}  // namespace quenlo::server::testing
