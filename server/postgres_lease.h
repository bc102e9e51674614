// The lease of a service whose rooms are in PostgreSQL, which services on several machines may
// share: a session-level advisory lock, held on a connection of its own. The database's server
// lets go of it when that session ends (the service died, the session was terminated, its
// network broke long enough for the server to notice), so that a standby takes over; the store
// raises a fencing number at each takeover and checks it in every write transaction, so that a
// holder that has not yet noticed its loss writes nothing.
#pragma once

#include <memory>
#include <string>

#include "server/postgres_store.h"
#include "server/service_lease.h"

namespace quenlo::server {

class PostgresLease final : public ServiceLease {
 public:
  PostgresLease(std::string uri, StoreDurability durability);

  // Opens the store: true when it is ours now, false while another service still holds the
  // database after two seconds (so a service killed a moment ago does not count). Throws
  // StoreError (one line) when the database cannot be used for another reason.
  bool TryAcquire() override;
  // Whether the store's session still holds the database; asked several times a second.
  bool StillHeld() override;

  // Why the last try failed: one line naming the database.
  const std::string& refusal() const noexcept { return refusal_; }
  // The store holding the lock, once; null before TryAcquire succeeded. The store must outlive
  // the questions to StillHeld.
  std::unique_ptr<PostgresStore> TakeStore() { return std::move(store_); }

 private:
  std::string uri_;
  StoreDurability durability_;
  PostgresStore* held_ = nullptr;
  std::string refusal_;
  std::unique_ptr<PostgresStore> store_;
};

}  // namespace quenlo::server
