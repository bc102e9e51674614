#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>

#include "server/store.h"

namespace pqxx {
class transaction_base;
}

namespace quenlo::server {

struct PreparedStatement;

// The store in a PostgreSQL database, which may live on another machine and fail over on its
// own. One service at a time holds the database: the store takes a session advisory lock on a
// connection of its own, and raises the fencing number in the database when it opens, so that
// writes of a service that opened it earlier are refused from then on. A database that is not
// one of ours, or was written by a newer version, is refused before anything in it changes.
//
// A request's writes are gathered and sent at Commit as one implicit transaction (one round
// trip), which first checks the fencing number; the answer leaves only once it is committed.
// kNormal commits without waiting for the database's disk flush (the database may lose its
// last commits if it crashes itself, never those of a crashed service); kFull waits for it, and
// for synchronous standbys, as the database is configured.
class PostgresStore final : public Store {
 public:
  // `uri` is a libpq connection URI (postgresql://USER@HOST:PORT/DATABASE...). Throws
  // StoreError with a one-line reason naming the database (without any password in `uri`):
  // StoreInUse when another service still holds it after two seconds (a service killed a
  // moment ago holds it until its database server notices), at once for a database it cannot
  // use whoever holds it.
  explicit PostgresStore(const std::string& uri,
                         StoreDurability durability = StoreDurability::kNormal);
  ~PostgresStore() override;
  PostgresStore(const PostgresStore&) = delete;
  PostgresStore& operator=(const PostgresStore&) = delete;

  // True when `store` names a PostgreSQL database rather than a file.
  static bool Names(const std::string& store);
  // The schema version this program writes.
  static int SchemaVersion();

  // The fencing number this store took the database over with.
  std::int64_t fence() const { return fence_; }

  // False once the session that holds the database for this service has ended: terminated, its
  // server gone, or its network broken for some seconds. Another service may take over from
  // then on, and this one can write nothing more. Does not wait.
  bool StillHolds();

  std::vector<RoomRecord> LoadRooms() override;
  void Begin() override;
  void Commit() override;
  void Rollback() override;
  void SaveRoom(const std::string& room, const std::string& owner) override;
  void AddVote(const std::string& room, const std::string& vote_id,
               std::uint64_t next_vote_id) override;
  void SaveVote(const std::string& room, const Vote& vote) override;
  void DeleteVote(const std::string& room, const std::string& vote_id) override;
  void AddBallot(const std::string& room, const std::string& vote_id, std::size_t position,
                 const Ballot& ballot) override;
  void SaveAgendaItem(const std::string& room, const AgendaItem& item) override;
  void DeleteAgendaItem(const std::string& room, const std::string& qid) override;
  void SaveInProgress(const std::string& room, const std::string& qid) override;
  void SaveMember(const std::string& room, const Member& member) override;
  void DeleteMember(const std::string& room, const std::string& address) override;
  void SavePageToken(const std::string& room, const std::string& token) override;

 private:
  struct Connections;

  StoreError Refusal(const std::string& why) const;
  void TakeOver();
  // The schema version of the database; throws when it is not ours or newer than this program.
  int CheckVersion(pqxx::transaction_base& transaction) const;
  void CheckAndMigrate();
  // Adds `statement` with `arguments` (SQL literals) to the request's writes, or runs it at once
  // outside a request.
  void Write(const char* what, const PreparedStatement& statement,
             std::initializer_list<std::string> arguments);
  void Send(const char* what, const std::string& sql);
  std::string Quote(const std::string& text) const;

  std::string name_;
  std::unique_ptr<Connections> connections_;
  std::int64_t fence_ = 0;
  bool inTransaction_ = false;
  std::string pending_;
};

}  // namespace quenlo::server
