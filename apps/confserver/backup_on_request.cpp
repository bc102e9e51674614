#include "apps/confserver/backup_on_request.h"

#include <chrono>
#include <ctime>
#include <filesystem>
#include <system_error>

namespace quenlo::confserver {
namespace {

// 20261209T053512.123Z: sorts in time order, and two backups a second apart never collide.
std::string UtcStamp() {
  const auto now = std::chrono::system_clock::now();
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  std::tm utc{};
  gmtime_r(&seconds, &utc);
  char text[32];
  const auto milliseconds =
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  const std::size_t length = std::strftime(text, sizeof(text), "%Y%m%dT%H%M%S", &utc);
  std::snprintf(text + length, sizeof(text) - length, ".%03dZ", static_cast<int>(milliseconds));
  return text;
}

}  // namespace

BackupOnRequest::BackupOnRequest(server::ConferenceServer& service, std::string folder,
                                 std::string domain, std::atomic<bool>& requested,
                                 const server::ServiceLog& log)
    : service_(service),
      folder_(std::move(folder)),
      domain_(std::move(domain)),
      requested_(requested),
      log_(log) {}

void BackupOnRequest::Alive() {
  if (requested_.exchange(false)) TakeBackup();
}

void BackupOnRequest::TakeBackup() {
  namespace fs = std::filesystem;
  const std::string name = domain_ + "-" + UtcStamp() + ".db";
  const fs::path partial = fs::path(folder_) / ("." + name + ".partial");
  const fs::path backup = fs::path(folder_) / name;
  const auto started = std::chrono::steady_clock::now();
  try {
    fs::create_directories(folder_);
    service_.BackupTo(partial.string());
    fs::rename(partial, backup);
  } catch (const std::exception& error) {
    std::error_code ignored;
    fs::remove(partial, ignored);
    log_.Failure(std::string("backup failed: ") + error.what());
    return;
  }
  const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now() - started);
  log_.Event("backup written to " + backup.string() + " (" + std::to_string(fs::file_size(backup)) +
             " bytes, " + std::to_string(took.count()) + " ms)");
}

}  // namespace quenlo::confserver
