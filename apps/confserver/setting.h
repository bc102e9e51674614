// Settings a program takes both as flags and from a TOML configuration file, each declared once
// with its name, type, help and check, so that the flags and the file cannot drift apart: the
// flag is --NAME, the file's key is NAME with '_' for '-', and one check judges the value
// wherever it came from. A flag given on the command line overrides the file.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

namespace CLI {
class App;
class Option;
}  // namespace CLI

namespace quenlo::confserver {

// A value as the configuration file holds it (a toml++ node).
struct FileValue;

// Why a value cannot be used; nothing when it can.
template <typename T>
using Check = std::function<std::optional<std::string>(const T&)>;

// A check that takes only the texts listed.
Check<std::string> OneOf(std::vector<std::string> allowed);

template <typename T>
struct ElementOfT {
  using type = T;
};
template <typename T>
struct ElementOfT<std::vector<T>> {
  using type = T;
};
// What a check judges: a list setting (a repeatable flag, an array in the file) is checked
// element by element.
template <typename T>
using ElementOf = typename ElementOfT<T>::type;

class SettingList;

// One setting, typed by Option<T> below.
class Setting {
 public:
  Setting(const Setting&) = delete;
  Setting& operator=(const Setting&) = delete;
  virtual ~Setting() = default;

  const std::string& name() const { return name_; }
  std::string flag() const { return "--" + name_; }
  std::string key() const;

 protected:
  Setting(SettingList& list, std::string name, std::string help, bool required);
  const std::string& help() const { return help_; }

 private:
  friend class SettingList;
  virtual CLI::Option* AddFlagTo(CLI::App& app) = 0;
  // Reads the file's value and takes it unless `keep` (a flag overrides it). Why not, after
  // "KEY", when it is not of the setting's type or its check refuses it.
  virtual std::optional<std::string> Read(const FileValue& from, bool keep) = 0;
  // Why not, after "--NAME", when the check refuses the value.
  virtual std::optional<std::string> Refusal() const = 0;
  virtual bool Empty() const = 0;
  bool GivenAsFlag() const;

  std::string name_;
  std::string help_;
  bool required_;
  CLI::Option* flag_ = nullptr;
};

// The conversions of the types a setting may have: text, a list of texts, a switch, a number.
CLI::Option* AddFlag(CLI::App& app, const std::string& flag, std::string& value,
                     const std::string& help);
CLI::Option* AddFlag(CLI::App& app, const std::string& flag, std::vector<std::string>& value,
                     const std::string& help);
CLI::Option* AddFlag(CLI::App& app, const std::string& flag, bool& value, const std::string& help);
CLI::Option* AddFlag(CLI::App& app, const std::string& flag, std::int64_t& value,
                     const std::string& help);
std::optional<std::string> Convert(const FileValue& from, std::string& to);
std::optional<std::string> Convert(const FileValue& from, std::vector<std::string>& to);
std::optional<std::string> Convert(const FileValue& from, bool& to);
std::optional<std::string> Convert(const FileValue& from, std::int64_t& to);
inline std::string TextOf(const std::string& value) { return value; }
inline std::string TextOf(std::int64_t value) { return std::to_string(value); }

// What declares a setting of type T: its name (the flag without "--"), a line of help, its value
// when neither the flags nor the file give one, its check, and whether it must be given.
template <typename T>
struct Declaration {
  const char* name = "";
  const char* help = "";
  T initial{};
  Check<ElementOf<T>> check{};
  bool required = false;
};

template <typename T>
class Option final : public Setting {
 public:
  Option(SettingList& list, Declaration<T> declaration)
      : Setting(list, declaration.name, declaration.help, declaration.required),
        value(std::move(declaration.initial)),
        check_(std::move(declaration.check)) {}

  T value;

 private:
  CLI::Option* AddFlagTo(CLI::App& app) override { return AddFlag(app, flag(), value, help()); }
  std::optional<std::string> Read(const FileValue& from, bool keep) override {
    T read{};
    if (auto wrong = Convert(from, read)) return key() + ": " + *wrong;
    if (auto refusal = RefusalOf(read)) return key() + " " + *refusal;
    if (!keep) value = std::move(read);
    return std::nullopt;
  }
  std::optional<std::string> Refusal() const override { return RefusalOf(value); }
  // "\"VALUE\": REASON" for the first value the check refuses.
  std::optional<std::string> RefusalOf(const T& candidate) const {
    if (!check_) return std::nullopt;
    if constexpr (std::is_same_v<T, ElementOf<T>>) {
      if (auto reason = check_(candidate)) return '"' + TextOf(candidate) + "\": " + *reason;
    } else {
      for (const auto& element : candidate) {
        if (auto reason = check_(element)) return '"' + TextOf(element) + "\": " + *reason;
      }
    }
    return std::nullopt;
  }
  bool Empty() const override {
    if constexpr (std::is_same_v<T, bool> || std::is_same_v<T, std::int64_t>) {
      return false;
    } else {
      return value.empty();
    }
  }

  Check<ElementOf<T>> check_;
};

// A program's settings: a struct deriving from SettingList whose members are its Option<T>s,
// each registering itself here as it is made.
class SettingList {
 public:
  SettingList() = default;
  SettingList(const SettingList&) = delete;
  SettingList& operator=(const SettingList&) = delete;

  // Adds every setting's flag to `app`.
  void AddFlags(CLI::App& app);
  // Reads the TOML file at `path`: each key must name a setting and hold its type; a setting
  // given as a flag keeps the flag's value. Throws std::invalid_argument with one line,
  // "PATH:LINE: KEY...", for a file that cannot be read, is not TOML or holds what no setting
  // takes.
  void ReadFile(const std::string& path);
  // Throws std::invalid_argument with one line naming the first value given as a flag that its
  // check refuses, or the first required setting left empty. (ReadFile checks the file's.)
  void CheckValues() const;

  const std::vector<Setting*>& settings() const { return settings_; }

 private:
  friend class Setting;
  std::vector<Setting*> settings_;
  // The file read, for messages; empty when none was.
  std::string file_;
};

}  // namespace quenlo::confserver
