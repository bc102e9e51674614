#include "apps/confserver/setting.h"

#include <toml++/toml.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

namespace quenlo::confserver {

struct FileValue {
  const toml::node& node;
};

namespace {

std::string TypeName(toml::node_type type) {
  switch (type) {
    case toml::node_type::table:
      return "a table";
    case toml::node_type::array:
      return "an array";
    case toml::node_type::string:
      return "a string";
    case toml::node_type::integer:
      return "an integer";
    case toml::node_type::floating_point:
      return "a floating-point number";
    case toml::node_type::boolean:
      return "a boolean";
    case toml::node_type::date:
      return "a date";
    case toml::node_type::time:
      return "a time";
    case toml::node_type::date_time:
      return "a date-time";
    case toml::node_type::none:
      break;
  }
  return "nothing";
}

std::string Expected(const std::string& wanted, const toml::node& found) {
  return wanted + " was expected, not " + TypeName(found.type());
}

// The key a line of TOML text sets, when it reads as `KEY = ...`; empty otherwise.
std::string KeyOnLine(const std::string& text, std::int64_t line) {
  std::istringstream lines(text);
  std::string current;
  for (std::int64_t number = 1; number <= line && std::getline(lines, current); ++number) {
  }
  const std::size_t equals = current.find('=');
  if (equals == std::string::npos) return "";
  std::string key = current.substr(0, equals);
  key.erase(0, key.find_first_not_of(" \t"));
  key.erase(key.find_last_not_of(" \t") + 1);
  const bool bare = !key.empty() && std::all_of(key.begin(), key.end(), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-';
  });
  return bare ? key : "";
}

std::string ReadWhole(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::string text(std::istreambuf_iterator<char>(file), {});
  if (!file && !file.eof()) {
    throw std::invalid_argument("cannot read " + path + ": " + std::strerror(errno));
  }
  return text;
}

}  // namespace

Check<std::string> OneOf(std::vector<std::string> allowed) {
  return [allowed = std::move(allowed)](const std::string& text) -> std::optional<std::string> {
    if (std::find(allowed.begin(), allowed.end(), text) != allowed.end()) return std::nullopt;
    std::string reason = "must be ";
    for (std::size_t i = 0; i < allowed.size(); ++i) {
      reason += (i == 0 ? "" : i + 1 == allowed.size() ? " or " : ", ") + allowed[i];
    }
    return reason;
  };
}

Setting::Setting(SettingList& list, std::string name, std::string help, bool required)
    : name_(std::move(name)), help_(std::move(help)), required_(required) {
  list.settings_.push_back(this);
}

bool Setting::GivenAsFlag() const { return flag_ != nullptr && flag_->count() > 0; }

std::string Setting::key() const {
  std::string key = name_;
  std::replace(key.begin(), key.end(), '-', '_');
  return key;
}

CLI::Option* AddFlag(CLI::App& app, const std::string& flag, std::string& value,
                     const std::string& help) {
  return app.add_option(flag, value, help);
}

CLI::Option* AddFlag(CLI::App& app, const std::string& flag, std::vector<std::string>& value,
                     const std::string& help) {
  return app.add_option(flag, value, help + " (repeatable)");
}

CLI::Option* AddFlag(CLI::App& app, const std::string& flag, bool& value, const std::string& help) {
  return app.add_flag(flag, value, help);
}

CLI::Option* AddFlag(CLI::App& app, const std::string& flag, std::int64_t& value,
                     const std::string& help) {
  return app.add_option(flag, value, help);
}

std::optional<std::string> Convert(const FileValue& from, std::string& to) {
  const auto text = from.node.value<std::string>();
  if (!from.node.is_string() || !text) return Expected("a string", from.node);
  to = *text;
  return std::nullopt;
}

std::optional<std::string> Convert(const FileValue& from, std::vector<std::string>& to) {
  const toml::array* array = from.node.as_array();
  if (array == nullptr) return Expected("an array of strings", from.node);
  std::vector<std::string> texts;
  for (const toml::node& element : *array) {
    if (!element.is_string()) return Expected("an array of strings", element);
    texts.push_back(*element.value<std::string>());
  }
  to = std::move(texts);
  return std::nullopt;
}

std::optional<std::string> Convert(const FileValue& from, bool& to) {
  if (!from.node.is_boolean()) return Expected("true or false", from.node);
  to = *from.node.value<bool>();
  return std::nullopt;
}

std::optional<std::string> Convert(const FileValue& from, std::int64_t& to) {
  if (!from.node.is_integer()) return Expected("an integer", from.node);
  to = *from.node.value<std::int64_t>();
  return std::nullopt;
}

void SettingList::AddFlags(CLI::App& app) {
  for (Setting* setting : settings_) setting->flag_ = setting->AddFlagTo(app);
}

void SettingList::ReadFile(const std::string& path) {
  const std::string text = ReadWhole(path);
  file_ = path;
  toml::table table;
  try {
    table = toml::parse(text, path);
  } catch (const toml::parse_error& error) {
    const std::int64_t line = error.source().begin.line;
    const std::string key = KeyOnLine(text, line);
    throw std::invalid_argument(path + ":" + std::to_string(line) + ": " +
                                (key.empty() ? "" : key + ": ") +
                                "not TOML: " + std::string(error.description()));
  }
  for (const auto& [key, node] : table) {
    const std::string where = path + ":" + std::to_string(key.source().begin.line) + ": ";
    const auto setting = std::find_if(settings_.begin(), settings_.end(),
                                      [&](const Setting* s) { return s->key() == key.str(); });
    if (setting == settings_.end()) {
      throw std::invalid_argument(where + "no setting is called \"" + std::string(key.str()) +
                                  "\"");
    }
    if (auto wrong = (*setting)->Read(FileValue{node}, (*setting)->GivenAsFlag())) {
      throw std::invalid_argument(where + *wrong);
    }
  }
}

void SettingList::CheckValues() const {
  for (const Setting* setting : settings_) {
    if (setting->required_ && setting->Empty()) {
      throw std::invalid_argument(
          setting->flag() + " is required" +
          (file_.empty() ? "" : " (or " + setting->key() + " in " + file_ + ")"));
    }
    if (!setting->GivenAsFlag()) continue;
    if (auto refusal = setting->Refusal()) {
      throw std::invalid_argument(setting->flag() + " " + *refusal);
    }
  }
}

}  // namespace quenlo::confserver
