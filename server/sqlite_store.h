#pragma once

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>

#include <memory>
#include <string>

#include "server/store.h"

namespace quenlo::server {

// The store in one SQLite file (":memory:" for one that lasts as long as the process). The file
// is held locked while open, so a second service cannot run on it; a file that is not one of
// ours, or was written by a newer version, is refused before anything in it changes.
// kNormal writes every commit to the log before the answer leaves and leaves the flush to disk
// to the system: a commit survives a crash of the process, and the file stays sound through a
// power cut, which may only lose the last commits. kFull also waits at every commit until the
// disk has the log.
class SqliteStore final : public Store {
 public:
  // Throws StoreError with a one-line reason naming `path`.
  explicit SqliteStore(const std::string& path,
                       StoreDurability durability = StoreDurability::kNormal);
  ~SqliteStore() override;

  // The schema version this program writes.
  static int SchemaVersion();

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
  // SQLite's online backup, through this store's own connection (the only one the lock admits).
  void BackupTo(const std::string& path) override;
  void SavePageToken(const std::string& room, const std::string& token) override;

 private:
  struct Statements;

  void CheckAndMigrate();
  std::vector<Vote> LoadVotes(const std::string& room);
  std::vector<AgendaItem> LoadAgenda(const std::string& room);
  std::vector<Member> LoadMembers(const std::string& room);

  std::string path_;
  SQLite::Database database_;
  std::unique_ptr<Statements> statements_;
};

}  // namespace quenlo::server
