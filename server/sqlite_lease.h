// The lease of a service on one machine: the lock on its SQLite store file. Whoever has the file
// open holds it, and the system lets go of it when that process ends, however it ends, so a
// standby on the same machine takes over as soon as it next tries.
#pragma once

#include <memory>
#include <string>

#include "server/service_lease.h"
#include "server/sqlite_store.h"

namespace quenlo::server {

class SqliteLease final : public ServiceLease {
 public:
  SqliteLease(std::string path, StoreDurability durability);

  // Opens the store: true when it is ours now, false while another process has it open. Throws
  // StoreError (one line) when the file cannot be used for another reason.
  bool TryAcquire() override;
  // The lock lasts as long as the store taken, which lasts as long as the service.
  bool StillHeld() override { return acquired_; }

  // Why the last try failed: one line naming the file.
  const std::string& refusal() const noexcept { return refusal_; }
  // The store holding the lock, once; null before TryAcquire succeeded.
  std::unique_ptr<SqliteStore> TakeStore() { return std::move(store_); }

 private:
  std::string path_;
  StoreDurability durability_;
  bool acquired_ = false;
  std::string refusal_;
  std::unique_ptr<SqliteStore> store_;
};

}  // namespace quenlo::server
