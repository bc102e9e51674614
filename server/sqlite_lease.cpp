#include "server/sqlite_lease.h"

#include <utility>

namespace quenlo::server {

SqliteLease::SqliteLease(std::string path, StoreDurability durability)
    : path_(std::move(path)), durability_(durability) {}

bool SqliteLease::TryAcquire() {
  if (acquired_) return true;
  try {
    store_ = std::make_unique<SqliteStore>(path_, durability_);
  } catch (const StoreInUse& in_use) {
    refusal_ = in_use.what();
    return false;
  }
  acquired_ = true;
  return true;
}

}  // namespace quenlo::server
