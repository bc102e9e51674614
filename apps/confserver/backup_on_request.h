// Backups the operator asks for (SIGUSR1): each is a consistent copy of the store, taken by the
// event loop between two requests while the service keeps serving, written to
// FOLDER/DOMAIN-YYYYMMDDTHHMMSS.mmmZ.db. It is written under a hidden name first and renamed once
// whole, so that a file of that name is always a complete backup.
#pragma once

#include <atomic>
#include <string>

#include "server/conference_server.h"
#include "server/xmpp/runner_events.h"
#include "server/xmpp/service_log.h"

namespace quenlo::confserver {

class BackupOnRequest final : public server::RunnerEvents {
 public:
  // Takes a backup each time `requested` is found set, and clears it.
  BackupOnRequest(server::ConferenceServer& service, std::string folder, std::string domain,
                  std::atomic<bool>& requested, const server::ServiceLog& log);

  void Connected() override {}
  void Disconnected(const std::string& /*reason*/) override {}
  void Alive() override;

 private:
  void TakeBackup();

  server::ConferenceServer& service_;
  std::string folder_;
  std::string domain_;
  std::atomic<bool>& requested_;
  const server::ServiceLog& log_;
};

}  // namespace quenlo::confserver
