// A PostgreSQL server of the caller's own: a cluster made by initdb in a fresh temporary folder,
// listening on loopback at a free port (and on a socket in that folder), with trust for local
// connections. Run as the postgres user when the caller is root (PostgreSQL refuses root); it
// dies with the calling process and is stopped by its PID when the object goes.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "tests/xmpp/child_process.h"

namespace quenlo::postgres_test {

class PostgresServer {
 public:
  // Throws std::runtime_error (with the tail of the server's log) when it does not come up.
  // `flushes`: the server flushes its writes to disk as a real one does (for benchmarks); by
  // default it does not, as a throwaway server's data need not survive a crash.
  explicit PostgresServer(bool flushes = false);
  PostgresServer(const PostgresServer&) = delete;
  PostgresServer& operator=(const PostgresServer&) = delete;
  ~PostgresServer();

  // A new, empty database; gives its connection URI.
  std::string NewDatabase();
  // The connection URI of the database `name`.
  std::string Uri(const std::string& name) const;
  // Runs `sql` on the database at `uri` and gives the first column of its first row (empty for
  // none). Throws std::runtime_error when it fails.
  static std::string Query(const std::string& uri, const std::string& sql);

  // The statements, as the server's log names them, that failed with an error whose message
  // holds `message`, in the order they failed.
  std::vector<std::string> StatementsFailedWith(const std::string& message) const;

  unsigned short port() const noexcept { return port_; }
  // The server's main process; its sessions and workers are its children.
  pid_t pid() const noexcept { return process_->pid(); }

 private:
  std::string directory_;
  unsigned short port_ = 0;
  int databases_ = 0;
  std::unique_ptr<xmpp_test::ChildProcess> process_;
};

// The stores a test may run on, and their names in test names.
enum class Backend { kSqlite, kPostgres };
inline const char* NameOf(Backend backend) {
  return backend == Backend::kSqlite ? "Sqlite" : "Postgres";
}

// One server for the whole run of a test program, started when first asked for.
PostgresServer& SharedPostgresServer();

}  // namespace quenlo::postgres_test
