#include "server/postgres_lease.h"

#include <utility>

namespace quenlo::server {

PostgresLease::PostgresLease(std::string uri, StoreDurability durability)
    : uri_(std::move(uri)), durability_(durability) {}

bool PostgresLease::TryAcquire() {
  if (held_ != nullptr) return true;
  try {
    store_ = std::make_unique<PostgresStore>(uri_, durability_);
  } catch (const StoreInUse& in_use) {
    refusal_ = in_use.what();
    return false;
  }
  held_ = store_.get();
  return true;
}

bool PostgresLease::StillHeld() { return held_ != nullptr && held_->StillHolds(); }

}  // namespace quenlo::server
