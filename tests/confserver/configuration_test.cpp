// confserver's settings from its configuration file and its flags: each setting read from the
// file, flags overriding it, and every kind of bad file refused in one line naming the file, the
// line and the setting.
#include "apps/confserver/configuration.h"

#include <gtest/gtest.h>

#include <CLI/CLI.hpp>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "tests/server/temp_folder.h"

namespace quenlo::confserver {
namespace {

class ConfigurationTest : public ::testing::Test {
 protected:
  // The file config.toml in the test's folder, holding `text`.
  std::string WriteConfig(const std::string& text) {
    const std::string path = folder_.File("config.toml");
    std::ofstream(path) << text;
    return path;
  }

  // Configures `settings` from `arguments` (after the program's name).
  Invocation Run(const std::vector<std::string>& arguments) {
    std::vector<const char*> argv{"confserver"};
    for (const std::string& argument : arguments) argv.push_back(argument.c_str());
    CLI::App app;
    return Configure(app, settings_, static_cast<int>(argv.size()), argv.data());
  }

  // The one line Configure refuses `arguments` with.
  std::string Refusal(const std::vector<std::string>& arguments) {
    try {
      Run(arguments);
    } catch (const std::invalid_argument& error) {
      return error.what();
    }
    return "(accepted)";
  }

  server::testing::TempFolder folder_;
  Settings settings_;
};

constexpr const char* kEverySetting = R"(# every setting confserver has
xmpp = "127.0.0.1:5347"
domain = "conference.example.net"
secret_file = "/etc/quenlo/secret"
store = "/var/lib/quenlo/rooms.db"
owner = ["board=alice@example.net", "team@conference.example.net=bob@example.net"]
sync = "full"
backup_folder = "/var/backups/quenlo"
standby = true
max_stanza_bytes = 300000
http = "127.0.0.1:8080"
http_url = "https://vote.example.net"
health = "127.0.0.1:9475"
quiet = true
verbose = true
)";

TEST_F(ConfigurationTest, EverySettingIsReadFromTheFile) {
  const std::string path = WriteConfig(kEverySetting);
  const Invocation invocation = Run({"--config", path});
  EXPECT_EQ(invocation.config_file, path);
  EXPECT_FALSE(invocation.check_only);
  // A setting added to confserver belongs in kEverySetting and here.
  EXPECT_EQ(settings_.settings().size(), 14u);
  EXPECT_EQ(settings_.xmpp.value, "127.0.0.1:5347");
  EXPECT_EQ(settings_.domain.value, "conference.example.net");
  EXPECT_EQ(settings_.secret_file.value, "/etc/quenlo/secret");
  EXPECT_EQ(settings_.store.value, "/var/lib/quenlo/rooms.db");
  EXPECT_EQ(settings_.owners.value,
            (std::vector<std::string>{"board=alice@example.net",
                                      "team@conference.example.net=bob@example.net"}));
  EXPECT_EQ(settings_.sync.value, "full");
  EXPECT_EQ(settings_.backup_folder.value, "/var/backups/quenlo");
  EXPECT_TRUE(settings_.standby.value);
  EXPECT_EQ(settings_.max_stanza_bytes.value, 300000);
  EXPECT_EQ(settings_.http.value, "127.0.0.1:8080");
  EXPECT_EQ(settings_.http_url.value, "https://vote.example.net");
  EXPECT_EQ(settings_.health.value, "127.0.0.1:9475");
  EXPECT_TRUE(settings_.quiet.value);
  EXPECT_TRUE(settings_.verbose.value);
}

TEST_F(ConfigurationTest, FlagsOverrideTheFileAndTheRestComesFromIt) {
  const std::string path = WriteConfig(kEverySetting);
  const Invocation invocation =
      Run({"--check-config", "--sync", "normal", "--config", path, "--owner", "x=carol@example.net",
           "--store", ":memory:", "--xmpp", "localhost:5348"});
  EXPECT_TRUE(invocation.check_only);
  EXPECT_EQ(settings_.sync.value, "normal");
  EXPECT_EQ(settings_.owners.value, std::vector<std::string>{"x=carol@example.net"});
  EXPECT_EQ(settings_.store.value, ":memory:");
  EXPECT_EQ(settings_.xmpp.value, "localhost:5348");
  EXPECT_EQ(settings_.domain.value, "conference.example.net");
  EXPECT_EQ(settings_.secret_file.value, "/etc/quenlo/secret");
}

TEST_F(ConfigurationTest, BadFilesAreRefusedInOneLineNamingTheLineAndTheSetting) {
  const std::string head = "xmpp = \"127.0.0.1:5347\"\ndomain = \"c.example.net\"\n";
  const struct {
    const char* kind;
    std::string text;
    std::string refusal;  // after "PATH:"; toml++ words the rest of its own refusals
  } cases[] = {
      {"not TOML", head + "sync = normal\n", "3: sync: not TOML: "},
      {"a key given twice", head + "domain = \"d.example.net\"\n", "3: domain: not TOML: "},
      {"an unknown setting", head + "\nsynk = \"full\"\n", "4: no setting is called \"synk\""},
      {"a table for a value", head + "[store]\npath = \"x.db\"\n",
       "3: store: a string was expected, not a table"},
      {"a wrong type", head + "quiet = \"yes\"\n",
       "3: quiet: true or false was expected, not a string"},
      {"a wrong element type", head + "owner = [\"a=b@c\", 3]\n",
       "3: owner: an array of strings was expected, not an integer"},
      {"a wrong value", head + "sync = \"fast\"\n", "3: sync \"fast\": must be normal or full"},
      {"a wrong element", head + "owner = [\n  \"a=b@c\",\n  \"board\",\n]\n",
       "3: owner \"board\": is not ROOM=JID"},
      {"a wrong address", "xmpp = \"localhost\"\n",
       "1: xmpp \"localhost\": is not HOST:PORT with a port from 1 to 65535"},
  };
  for (const auto& bad : cases) {
    const std::string path = WriteConfig(bad.text);
    const std::string refusal = Refusal({"--config", path, "--secret-file", "s"});
    EXPECT_EQ(refusal.substr(0, path.size() + 1 + bad.refusal.size()), path + ":" + bad.refusal)
        << bad.kind;
    EXPECT_EQ(refusal.find('\n'), std::string::npos) << refusal;
  }
  // A flag overriding a wrong value still leaves the file refused: it would not start without.
  const std::string path = WriteConfig(head + "sync = \"fast\"\n");
  EXPECT_EQ(Refusal({"--config", path, "--sync", "full"}),
            path + ":3: sync \"fast\": must be normal or full");
}

TEST_F(ConfigurationTest, WhatIsMissingOrRefusedOutsideTheFileIsNamed) {
  const std::string missing = folder_.File("missing.toml");
  EXPECT_EQ(Refusal({"--config", missing}),
            "cannot read " + missing + ": No such file or directory");
  const std::string path = WriteConfig("domain = \"c.example.net\"\n");
  EXPECT_EQ(Refusal({"--config", path, "--secret-file", "s"}),
            "--xmpp is required (or xmpp in " + path + ")");
  EXPECT_EQ(Refusal({"--config", path, "--xmpp", "h:1", "--secret-file", "s", "--sync", "fast"}),
            "--sync \"fast\": must be normal or full");
  EXPECT_EQ(Refusal({"--config", path, "--xmpp", "h:1", "--secret-file", "s", "--owner", "b=c"}),
            "--owner \"b=c\": c is not a person's XMPP address");
}

// The machinery's fourth type, a number, which confserver's own settings do not use yet.
struct NumberSettings : SettingList {
  Option<std::int64_t> limit{
      *this,
      Declaration<std::int64_t>{.name = "max-size",
                                .help = "a limit",
                                .initial = 10,
                                .check = [](const std::int64_t& n) -> std::optional<std::string> {
                                  if (n > 0) return std::nullopt;
                                  return "must be above 0";
                                }}};
};

TEST_F(ConfigurationTest, NumbersComeFromEitherPlaceAndAreChecked) {
  const auto configure = [&](const std::string& text, std::vector<const char*> argv) {
    NumberSettings settings;
    CLI::App app;
    settings.AddFlags(app);
    argv.insert(argv.begin(), "program");
    app.parse(static_cast<int>(argv.size()), argv.data());
    settings.ReadFile(WriteConfig(text));
    settings.CheckValues();
    return settings.limit.value;
  };
  EXPECT_EQ(configure("", {}), 10);
  EXPECT_EQ(configure("max_size = 20", {}), 20);
  EXPECT_EQ(configure("max_size = 20", {"--max-size", "30"}), 30);
  EXPECT_THROW(configure("max_size = 0", {}), std::invalid_argument);
  EXPECT_THROW(configure("", {"--max-size", "-1"}), std::invalid_argument);
  EXPECT_THROW(configure("max_size = 2.5", {}), std::invalid_argument);
}

}  // namespace
}  // namespace quenlo::confserver
