#include "server/sqlite_store.h"

#include <SQLiteCpp/Exception.h>
#include <SQLiteCpp/Transaction.h>
#include <sqlite3.h>

#include <chrono>
#include <optional>
#include <utility>

#include "server/store_encoding.h"
#include "server/store_schema.h"

namespace quenlo::server {
namespace {

StoreError OpenError(const std::string& path, const std::string& why) {
  return StoreError("cannot use store " + path + ": " + why);
}

// Why an opening step failed, in words an operator can act on. A file in use is told apart, so
// that a standby can wait for it.
[[noreturn]] void ThrowOpenError(const std::string& path, const SQLite::Exception& error) {
  switch (error.getErrorCode()) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      throw StoreInUse(OpenError(path, "it is in use by another process").what());
    case SQLITE_NOTADB:
      throw OpenError(path, "it is not an SQLite database");
    default:
      throw OpenError(path, error.what());
  }
}

SQLite::Database OpenDatabase(const std::string& path) {
  try {
    return SQLite::Database(path, SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE);
  } catch (const SQLite::Exception& error) {
    ThrowOpenError(path, error);
  }
}

}  // namespace

struct SqliteStore::Statements {
  explicit Statements(SQLite::Database& db)
      : begin(db, "BEGIN"),
        begin_exclusive(db, "BEGIN EXCLUSIVE"),
        commit(db, "COMMIT"),
        rollback(db, "ROLLBACK"),
        save_room(db,
                  "INSERT INTO rooms (address, owner) VALUES (?1, ?2) "
                  "ON CONFLICT (address) DO UPDATE SET owner = excluded.owner"),
        add_vote(db, "INSERT INTO votes (room, id, state) VALUES (?1, ?2, 0)"),
        save_next_vote_id(db, "UPDATE rooms SET next_vote_id = ?2 WHERE address = ?1"),
        save_vote(
            db,
            "UPDATE votes SET state = ?3, caption = ?4, multiple_choice = ?5, registered = ?6,"
            " timeout_seconds = ?7, started_at_ms = ?8, tally_hidden = ?9"
            " WHERE room = ?1 AND id = ?2"),
        delete_subjects(db, "DELETE FROM vote_subjects WHERE room = ?1 AND vote = ?2"),
        add_subject(db,
                    "INSERT INTO vote_subjects (room, vote, position, subject_index, text) "
                    "VALUES (?1, ?2, ?3, ?4, ?5)"),
        delete_vote(db, "DELETE FROM votes WHERE room = ?1 AND id = ?2"),
        add_ballot(db,
                   "INSERT INTO ballots (room, vote, voter, name, choices, cast_order) "
                   "VALUES (?1, ?2, ?3, ?4, ?5, ?6)"),
        save_agenda_item(db,
                         "INSERT INTO agenda_items (room, qid, text, time, type, value) "
                         "VALUES (?1, ?2, ?3, ?4, ?5, ?6) ON CONFLICT (room, qid) DO UPDATE SET "
                         "text = excluded.text, time = excluded.time, type = excluded.type, "
                         "value = excluded.value"),
        delete_agenda_item(db, "DELETE FROM agenda_items WHERE room = ?1 AND qid = ?2"),
        save_in_progress(db, "UPDATE rooms SET in_progress = ?2 WHERE address = ?1"),
        save_member(db,
                    "INSERT INTO members (room, address, name, nick) VALUES (?1, ?2, ?3, ?4) "
                    "ON CONFLICT (room, address) DO UPDATE SET name = excluded.name, "
                    "nick = excluded.nick"),
        delete_member(db, "DELETE FROM members WHERE room = ?1 AND address = ?2"),
        save_page_token(db, "UPDATE rooms SET page_token = ?2 WHERE address = ?1") {}

  SQLite::Statement begin, begin_exclusive, commit, rollback;
  SQLite::Statement save_room, add_vote, save_next_vote_id, save_vote, delete_subjects, add_subject,
      delete_vote, add_ballot;
  SQLite::Statement save_agenda_item, delete_agenda_item, save_in_progress;
  SQLite::Statement save_member, delete_member, save_page_token;
};

namespace {

// Binds `values` to `statement` from the first parameter on, runs it and gives the number of
// rows it changed.
template <typename... Values>
int Run(SQLite::Statement& statement, const Values&... values) {
  statement.reset();
  int index = 0;
  (statement.bind(++index, values), ...);
  return statement.exec();
}

// Every failure of a store call reaches the server as a StoreError, whatever raised it.
template <typename Action>
auto Guard(const char* what, Action action) {
  try {
    return action();
  } catch (const SQLite::Exception& error) {
    throw StoreError(std::string("store: cannot ") + what + ": " + error.what());
  }
}

}  // namespace

SqliteStore::SqliteStore(const std::string& path, StoreDurability durability)
    : path_(path), database_(OpenDatabase(path)) {
  CheckAndMigrate();
  try {
    // Only a file store can keep a log beside it; ":memory:" answers "memory" and stays so.
    database_.execAndGet("PRAGMA journal_mode = WAL");
    database_.exec(durability == StoreDurability::kFull ? "PRAGMA synchronous = FULL"
                                                        : "PRAGMA synchronous = NORMAL");
    database_.exec("PRAGMA foreign_keys = ON");
    // The log is copied into the file (with two disk flushes) after this many pages rather
    // than the default thousand: at one page or two per ballot, flushes stay rare, and the log
    // stays under some 40 MB.
    database_.exec("PRAGMA wal_autocheckpoint = 10000");
    statements_ = std::make_unique<Statements>(database_);
    // Changing the journal mode lets go of the lock taken while checking; take it back and keep
    // it (the locking mode keeps every lock until the store closes).
    Run(statements_->begin_exclusive);
    Run(statements_->commit);
  } catch (const SQLite::Exception& error) {
    ThrowOpenError(path_, error);
  }
}

SqliteStore::~SqliteStore() = default;

int SqliteStore::SchemaVersion() { return static_cast<int>(kSchemaSteps.size()); }

// The lock is taken and the file read before anything is written, so a file that is in use,
// not ours or newer than this program is left exactly as it was.
void SqliteStore::CheckAndMigrate() {
  int version = 0;
  try {
    // Held until the store closes: a second service on the same file fails here at once.
    database_.exec("PRAGMA locking_mode = EXCLUSIVE");
    database_.exec("BEGIN EXCLUSIVE");
    version = database_.execAndGet("PRAGMA user_version").getInt();
    const bool foreign =
        version == 0 && database_.execAndGet("SELECT count(*) FROM sqlite_master").getInt() > 0;
    database_.exec("COMMIT");
    if (foreign) throw OpenError(path_, "it holds another program's data");
  } catch (const SQLite::Exception& error) {
    ThrowOpenError(path_, error);
  }
  if (version > SchemaVersion()) {
    throw OpenError(path_, "it was written by a newer version (schema " + std::to_string(version) +
                               ", this program knows up to " + std::to_string(SchemaVersion()) +
                               ")");
  }
  try {
    for (int step = version; step < SchemaVersion(); ++step) {
      SQLite::Transaction transaction(database_);
      database_.exec(kSchemaSteps[static_cast<std::size_t>(step)]);
      database_.exec("PRAGMA user_version = " + std::to_string(step + 1));
      transaction.commit();
    }
  } catch (const SQLite::Exception& error) {
    throw OpenError(path_, std::string("cannot bring its schema up to date: ") + error.what());
  }
}

std::vector<RoomRecord> SqliteStore::LoadRooms() {
  return Guard("load the rooms", [&] {
    std::vector<RoomRecord> rooms;
    SQLite::Statement query(
        database_,
        "SELECT address, owner, next_vote_id, in_progress, page_token FROM rooms "
        "ORDER BY address");
    while (query.executeStep()) {
      RoomRecord& room = rooms.emplace_back();
      room.address = query.getColumn(0).getString();
      room.owner = query.getColumn(1).getString();
      room.next_vote_id = static_cast<std::uint64_t>(query.getColumn(2).getInt64());
      room.in_progress = query.getColumn(3).getString();
      room.page_token = query.getColumn(4).getString();
    }
    for (RoomRecord& room : rooms) {
      room.votes = LoadVotes(room.address);
      room.agenda = LoadAgenda(room.address);
      room.members = LoadMembers(room.address);
    }
    return rooms;
  });
}

std::vector<Vote> SqliteStore::LoadVotes(const std::string& room) {
  std::vector<Vote> votes;
  SQLite::Statement query(
      database_,
      "SELECT id, state, caption, multiple_choice, registered, "
      "timeout_seconds, started_at_ms, tally_hidden FROM votes WHERE room = ?1");
  SQLite::Statement subjects(database_,
                             "SELECT subject_index, text FROM vote_subjects "
                             "WHERE room = ?1 AND vote = ?2 ORDER BY position");
  SQLite::Statement ballots(
      database_,
      "SELECT voter, name, choices FROM ballots WHERE room = ?1 AND vote = ?2 "
      "ORDER BY cast_order");
  query.bind(1, room);
  while (query.executeStep()) {
    const std::string id = query.getColumn(0).getString();
    const int state = query.getColumn(1).getInt();
    if (state < static_cast<int>(VoteState::kDrafted) ||
        state > static_cast<int>(VoteState::kEnded)) {
      throw StoreError("store " + path_ + ": vote " + id + " of " + room + " has state " +
                       std::to_string(state));
    }
    VoteDefinition definition;
    definition.caption = query.getColumn(2).getString();
    definition.multiple_choice = query.getColumn(3).getInt() != 0;
    definition.registered = query.getColumn(4).getInt() != 0;
    definition.timeout = std::chrono::seconds(query.getColumn(5).getInt64());
    std::optional<TimePoint> started_at;
    if (!query.getColumn(6).isNull()) started_at = FromMilliseconds(query.getColumn(6).getInt64());

    subjects.reset();
    subjects.bind(1, room);
    subjects.bind(2, id);
    while (subjects.executeStep()) {
      definition.subjects.push_back(
          {subjects.getColumn(0).getString(), subjects.getColumn(1).getString()});
    }
    std::vector<Ballot> cast;
    ballots.reset();
    ballots.bind(1, room);
    ballots.bind(2, id);
    while (ballots.executeStep()) {
      auto indexes = DecodeChoices(ballots.getColumn(2).getString());
      if (!indexes) {
        throw StoreError("store " + path_ + ": a ballot in vote " + id + " of " + room +
                         " cannot be read");
      }
      cast.push_back(Ballot{ballots.getColumn(0).getString(), ballots.getColumn(1).getString(),
                            std::move(*indexes)});
    }
    votes.emplace_back(id, static_cast<VoteState>(state), std::move(definition), started_at,
                       std::move(cast), query.getColumn(7).getInt() != 0);
  }
  return votes;
}

std::vector<AgendaItem> SqliteStore::LoadAgenda(const std::string& room) {
  std::vector<AgendaItem> items;
  SQLite::Statement query(database_,
                          "SELECT qid, text, time, type, value FROM agenda_items "
                          "WHERE room = ?1 ORDER BY id");
  query.bind(1, room);
  while (query.executeStep()) {
    items.push_back({query.getColumn(0).getString(), query.getColumn(1).getString(),
                     query.getColumn(2).getString(), query.getColumn(3).getString(),
                     query.getColumn(4).getString()});
  }
  return items;
}

std::vector<Member> SqliteStore::LoadMembers(const std::string& room) {
  std::vector<Member> members;
  SQLite::Statement query(database_,
                          "SELECT address, name, nick FROM members WHERE room = ?1 ORDER BY id");
  query.bind(1, room);
  while (query.executeStep()) {
    members.push_back({query.getColumn(0).getString(), query.getColumn(1).getString(),
                       query.getColumn(2).getString()});
  }
  return members;
}

void SqliteStore::Begin() {
  Guard("begin a transaction", [&] { Run(statements_->begin); });
}

void SqliteStore::Commit() {
  Guard("commit", [&] { Run(statements_->commit); });
}

void SqliteStore::Rollback() {
  // SQLite may have rolled back already (after an I/O error, say); nothing is left to undo then.
  if (sqlite3_get_autocommit(database_.getHandle()) != 0) return;
  Guard("roll back", [&] { Run(statements_->rollback); });
}

void SqliteStore::SaveRoom(const std::string& room, const std::string& owner) {
  Guard("save a room", [&] { Run(statements_->save_room, room, owner); });
}

void SqliteStore::AddVote(const std::string& room, const std::string& vote_id,
                          std::uint64_t next_vote_id) {
  Guard("add a vote", [&] {
    Run(statements_->add_vote, room, vote_id);
    if (Run(statements_->save_next_vote_id, room, static_cast<std::int64_t>(next_vote_id)) != 1) {
      throw StoreError("store: no room " + room);
    }
  });
}

void SqliteStore::SaveVote(const std::string& room, const Vote& vote) {
  Guard("save a vote", [&] {
    const VoteDefinition& definition = vote.definition();
    SQLite::Statement& save = statements_->save_vote;
    save.reset();
    save.bind(1, room);
    save.bind(2, vote.id());
    save.bind(3, static_cast<int>(vote.state()));
    save.bind(4, definition.caption);
    save.bind(5, definition.multiple_choice ? 1 : 0);
    save.bind(6, definition.registered ? 1 : 0);
    save.bind(7, static_cast<std::int64_t>(definition.timeout.count()));
    if (vote.StartedAt()) {
      save.bind(8, ToMilliseconds(*vote.StartedAt()));
    } else {
      save.bind(8);
    }
    save.bind(9, vote.TallyHidden() ? 1 : 0);
    if (save.exec() != 1) throw StoreError("store: no vote " + vote.id() + " in " + room);
    Run(statements_->delete_subjects, room, vote.id());
    int position = 0;
    for (const VoteSubject& subject : definition.subjects) {
      Run(statements_->add_subject, room, vote.id(), ++position, subject.index, subject.text);
    }
  });
}

void SqliteStore::DeleteVote(const std::string& room, const std::string& vote_id) {
  Guard("delete a vote", [&] { Run(statements_->delete_vote, room, vote_id); });
}

void SqliteStore::AddBallot(const std::string& room, const std::string& vote_id,
                            std::size_t position, const Ballot& ballot) {
  Guard("add a ballot", [&] {
    Run(statements_->add_ballot, room, vote_id, ballot.voter, ballot.name,
        EncodeChoices(ballot.indexes), static_cast<std::int64_t>(position));
  });
}

void SqliteStore::SaveAgendaItem(const std::string& room, const AgendaItem& item) {
  Guard("save an agenda item", [&] {
    Run(statements_->save_agenda_item, room, item.qid, item.text, item.time, item.type, item.value);
  });
}

void SqliteStore::DeleteAgendaItem(const std::string& room, const std::string& qid) {
  Guard("delete an agenda item", [&] { Run(statements_->delete_agenda_item, room, qid); });
}

void SqliteStore::SaveInProgress(const std::string& room, const std::string& qid) {
  Guard("save the item in progress", [&] { Run(statements_->save_in_progress, room, qid); });
}

void SqliteStore::SaveMember(const std::string& room, const Member& member) {
  Guard("save a member",
        [&] { Run(statements_->save_member, room, member.address, member.name, member.nick); });
}

void SqliteStore::DeleteMember(const std::string& room, const std::string& address) {
  Guard("delete a member", [&] { Run(statements_->delete_member, room, address); });
}

void SqliteStore::BackupTo(const std::string& path) {
  Guard("write the backup", [&] { database_.backup(path.c_str(), SQLite::Database::Save); });
}

void SqliteStore::SavePageToken(const std::string& room, const std::string& token) {
  Guard("save the room page's token", [&] {
    if (Run(statements_->save_page_token, room, token) != 1) {
      throw StoreError("store: no room " + room);
    }
  });
}

}  // namespace quenlo::server
