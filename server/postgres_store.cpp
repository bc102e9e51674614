#include "server/postgres_store.h"

#include <unistd.h>

#include <chrono>
#include <map>
#include <optional>
#include <pqxx/pqxx>
#include <utility>

#include "server/postgres_schema.h"
#include "server/store_encoding.h"

namespace quenlo::server {
namespace {

// Every advisory lock of ours carries this first key; the second says what it guards.
constexpr int kLockSpace = 0x51754e4c;
// Held for as long as a service serves from the database.
constexpr int kActiveServiceLock = 1;
// Held while a store checks and brings the schema up to date.
constexpr int kSchemaLock = 2;

// `uri` with its password left out, whether in its user part or as a parameter.
std::string WithoutPassword(std::string uri) {
  const auto scheme = uri.find("://");
  if (scheme == std::string::npos) return uri;
  const auto query = uri.find('?');
  if (query != std::string::npos) {
    std::string kept;
    std::size_t from = query + 1;
    while (from <= uri.size()) {
      const std::size_t end = std::min(uri.find('&', from), uri.size());
      const std::string parameter = uri.substr(from, end - from);
      if (!parameter.starts_with("password=")) kept += (kept.empty() ? "" : "&") + parameter;
      from = end + 1;
    }
    uri = uri.substr(0, query) + (kept.empty() ? "" : "?" + kept);
  }
  const auto authority = scheme + 3;
  const auto at = uri.find('@', authority);
  const auto slash = uri.find('/', authority);
  if (at == std::string::npos || (slash != std::string::npos && slash < at)) return uri;
  const auto colon = uri.find(':', authority);
  if (colon == std::string::npos || colon > at) return uri;
  return uri.substr(0, colon) + uri.substr(at);
}

// PostgreSQL's messages run over several lines ("ERROR:  ...", "DETAIL:  ..."); the first says
// what happened.
std::string FirstLine(const std::string& message) {
  std::string line = message.substr(0, message.find('\n'));
  for (const char* prefix : {"ERROR:  ", "FATAL:  "}) {
    if (line.starts_with(prefix)) line.erase(0, std::char_traits<char>::length(prefix));
  }
  return line;
}

// Every failure of a store call reaches the server as a StoreError, whatever raised it.
template <typename Action>
auto Guard(const std::string& what, Action action) {
  try {
    return action();
  } catch (const StoreError&) {
    throw;
  } catch (const std::exception& error) {
    throw StoreError("store: cannot " + what + ": " + FirstLine(error.what()));
  }
}

std::string Number(std::int64_t number) { return std::to_string(number); }

}  // namespace

// A write, prepared once per connection so that a request's statements are neither parsed nor
// planned again: a request runs them by name (EXECUTE) in its one round trip.
struct PreparedStatement {
  const char* name;
  const char* sql;
};

namespace {

// quenlo_expect turns an update that found nothing into a failure of the whole transaction.
constexpr PreparedStatement kFence{
    "quenlo_fence",
    "SELECT quenlo_expect(fence = $1, 'another service has taken over the database') FROM "
    "quenlo_service FOR SHARE"};
constexpr PreparedStatement kSaveRoom{
    "quenlo_save_room",
    "INSERT INTO rooms (address, owner) VALUES ($1, $2) ON CONFLICT (address) DO UPDATE SET "
    "owner = excluded.owner"};
constexpr PreparedStatement kAddVote{"quenlo_add_vote",
                                     "INSERT INTO votes (room, id, state) VALUES ($1, $2, 0)"};
constexpr PreparedStatement kSaveNextVoteId{
    "quenlo_save_next_vote_id", "UPDATE rooms SET next_vote_id = $2 WHERE address = $1"};
constexpr PreparedStatement kSaveVote{
    "quenlo_save_vote",
    "WITH saved AS (UPDATE votes SET state = $3, caption = $4, multiple_choice = $5, "
    "registered = $6, timeout_seconds = $7, started_at_ms = $8, tally_hidden = $9 WHERE room = "
    "$1 AND id = $2 RETURNING 1) SELECT quenlo_expect(count(*) = 1, $10) FROM saved"};
constexpr PreparedStatement kClearSubjects{
    "quenlo_clear_subjects", "DELETE FROM vote_subjects WHERE room = $1 AND vote = $2"};
constexpr PreparedStatement kAddSubject{
    "quenlo_add_subject",
    "INSERT INTO vote_subjects (room, vote, position, subject_index, text) VALUES ($1, $2, $3, "
    "$4, $5)"};
constexpr PreparedStatement kDeleteVote{"quenlo_delete_vote",
                                        "DELETE FROM votes WHERE room = $1 AND id = $2"};
constexpr PreparedStatement kAddBallot{
    "quenlo_add_ballot",
    "INSERT INTO ballots (room, vote, voter, name, choices, cast_order) VALUES ($1, $2, $3, $4, "
    "$5, $6)"};
constexpr PreparedStatement kSaveAgendaItem{
    "quenlo_save_agenda_item",
    "INSERT INTO agenda_items (room, qid, text, time, type, value) VALUES ($1, $2, $3, $4, $5, "
    "$6) ON CONFLICT (room, qid) DO UPDATE SET text = excluded.text, time = excluded.time, "
    "type = excluded.type, value = excluded.value"};
constexpr PreparedStatement kDeleteAgendaItem{
    "quenlo_delete_agenda_item", "DELETE FROM agenda_items WHERE room = $1 AND qid = $2"};
constexpr PreparedStatement kSaveInProgress{"quenlo_save_in_progress",
                                            "UPDATE rooms SET in_progress = $2 WHERE address = $1"};
constexpr PreparedStatement kSaveMember{
    "quenlo_save_member",
    "INSERT INTO members (room, address, name, nick) VALUES ($1, $2, $3, $4) ON CONFLICT "
    "(room, address) DO UPDATE SET name = excluded.name, nick = excluded.nick"};
constexpr PreparedStatement kDeleteMember{"quenlo_delete_member",
                                          "DELETE FROM members WHERE room = $1 AND address = $2"};
constexpr PreparedStatement kSavePageToken{
    "quenlo_save_page_token",
    "WITH saved AS (UPDATE rooms SET page_token = $2 WHERE address = $1 RETURNING 1) SELECT "
    "quenlo_expect(count(*) = 1, $3) FROM saved"};
constexpr const PreparedStatement* kStatements[] = {
    &kFence,      &kSaveRoom,       &kAddVote,          &kSaveNextVoteId,
    &kSaveVote,   &kClearSubjects,  &kAddSubject,       &kDeleteVote,
    &kAddBallot,  &kSaveAgendaItem, &kDeleteAgendaItem, &kSaveInProgress,
    &kSaveMember, &kDeleteMember,   &kSavePageToken};

}  // namespace

// `uri` with what every connection of ours adds: the process in its application name, so that
// an operator (or a test) can tell the services' sessions apart, and TCP keepalives with a
// user timeout, so that a connection whose network broke fails within seconds rather than
// hours.
std::string ConnectionUri(const std::string& uri) {
  return uri + (uri.find('?') == std::string::npos ? "?" : "&") + "application_name=confserver%20" +
         std::to_string(getpid()) +
         "&keepalives=1&keepalives_idle=1&keepalives_interval=1&keepalives_count=3"
         "&tcp_user_timeout=4000";
}

struct PostgresStore::Connections {
  explicit Connections(const std::string& uri)
      : lock(ConnectionUri(uri)), data(ConnectionUri(uri)) {}

  // Holds the active service's lock for as long as the store is open.
  pqxx::connection lock;
  pqxx::connection data;
};

PostgresStore::PostgresStore(const std::string& uri, StoreDurability durability)
    : name_(WithoutPassword(uri)) {
  try {
    connections_ = std::make_unique<Connections>(uri);
    for (pqxx::connection* connection : {&connections_->lock, &connections_->data}) {
      connection->set_client_encoding("UTF8");
    }
    if (durability == StoreDurability::kNormal) {
      // Kept by libpqxx, so that it holds again if the connection is made anew.
      connections_->data.set_variable("synchronous_commit", "off");
    }
    // A database this program cannot use is refused before waiting for it.
    pqxx::read_transaction transaction(connections_->data);
    CheckVersion(transaction);
  } catch (const StoreError&) {
    throw;
  } catch (const std::exception& error) {
    throw Refusal(FirstLine(error.what()));
  }
  TakeOver();
  CheckAndMigrate();
  for (const PreparedStatement* statement : kStatements) {
    connections_->data.prepare(statement->name, statement->sql);
  }
  try {
    pqxx::work transaction(connections_->data);
    fence_ = transaction.exec1("UPDATE quenlo_service SET fence = fence + 1 RETURNING fence")[0]
                 .as<std::int64_t>();
    transaction.commit();
  } catch (const std::exception& error) {
    throw Refusal("cannot take it over: " + FirstLine(error.what()));
  }
}

PostgresStore::~PostgresStore() = default;

StoreError PostgresStore::Refusal(const std::string& why) const {
  return StoreError("cannot use store " + name_ + ": " + why);
}

bool PostgresStore::StillHolds() {
  pqxx::connection& lock = connections_->lock;
  try {
    // Reads what the server sent (a terminated session says so before it closes) without
    // waiting; the keepalives make a connection whose network broke fail within seconds.
    lock.await_notification(0, 0);
    return lock.is_open();
  } catch (const std::exception&) {
    return false;
  }
}

bool PostgresStore::Names(const std::string& store) {
  return store.starts_with("postgresql://") || store.starts_with("postgres://");
}

int PostgresStore::SchemaVersion() { return static_cast<int>(kPostgresSchemaSteps.size()); }

// A service killed a moment ago leaves its session (and lock) behind until its database server
// notices the closed connection, which takes milliseconds: the lock is waited for a little
// before the database counts as in use.
void PostgresStore::TakeOver() {
  try {
    pqxx::nontransaction session(connections_->lock);
    session.exec("SET lock_timeout = '2s'");
    session.exec("SELECT pg_advisory_lock(" + Number(kLockSpace) + ", " +
                 Number(kActiveServiceLock) + ")");
  } catch (const pqxx::sql_error& error) {
    if (error.sqlstate() == "55P03") {
      throw StoreInUse(Refusal("it is in use by another service").what());
    }
    throw Refusal(FirstLine(error.what()));
  } catch (const std::exception& error) {
    throw Refusal(FirstLine(error.what()));
  }
}

int PostgresStore::CheckVersion(pqxx::transaction_base& transaction) const {
  int version = 0;
  if (transaction.exec1("SELECT to_regclass('quenlo_schema') IS NULL")[0].as<bool>()) {
    const auto tables = transaction
                            .exec1(
                                "SELECT count(*) FROM pg_class WHERE relnamespace = "
                                "current_schema()::regnamespace AND relkind IN "
                                "('r', 'v', 'm', 'p', 'f')")[0]
                            .as<std::int64_t>();
    if (tables > 0) throw Refusal("it holds another program's data");
  } else {
    version = transaction.exec1("SELECT version FROM quenlo_schema")[0].as<int>();
  }
  if (version > SchemaVersion()) {
    throw Refusal("it was written by a newer version (schema " + std::to_string(version) +
                  ", this program knows up to " + std::to_string(SchemaVersion()) + ")");
  }
  return version;
}

// The version is read again and every step applied in one transaction that holds the schema
// lock, so that two services starting at once do not both bring it forward.
void PostgresStore::CheckAndMigrate() {
  try {
    pqxx::work transaction(connections_->data);
    transaction.exec("SELECT pg_advisory_xact_lock(" + Number(kLockSpace) + ", " +
                     Number(kSchemaLock) + ")");
    for (int step = CheckVersion(transaction); step < SchemaVersion(); ++step) {
      transaction.exec(kPostgresSchemaSteps[static_cast<std::size_t>(step)]);
      transaction.exec("UPDATE quenlo_schema SET version = " + std::to_string(step + 1));
    }
    transaction.commit();
  } catch (const StoreError&) {
    throw;
  } catch (const std::exception& error) {
    throw Refusal("cannot bring its schema up to date: " + FirstLine(error.what()));
  }
}

std::vector<RoomRecord> PostgresStore::LoadRooms() {
  return Guard("load the rooms", [&] {
    // One snapshot for all four reads.
    pqxx::transaction<pqxx::repeatable_read, pqxx::readwrite_policy::read_only> transaction(
        connections_->data);
    std::vector<RoomRecord> rooms;
    std::map<std::string, std::size_t> room_at;
    for (const auto& row :
         transaction.exec("SELECT address, owner, next_vote_id, in_progress, page_token FROM rooms "
                          "ORDER BY address")) {
      RoomRecord& room = rooms.emplace_back();
      room.address = row[0].as<std::string>();
      room.owner = row[1].as<std::string>();
      room.next_vote_id = row[2].as<std::uint64_t>();
      room.in_progress = row[3].as<std::string>();
      room.page_token = row[4].as<std::string>();
      room_at.emplace(room.address, rooms.size() - 1);
    }

    struct Loading {
      std::string room;
      VoteState state;
      VoteDefinition definition;
      std::optional<TimePoint> started_at;
      std::vector<Ballot> ballots;
      bool tally_hidden = false;
    };
    std::map<std::pair<std::string, std::string>, Loading> votes;
    for (const auto& row :
         transaction.exec("SELECT room, id, state, caption, multiple_choice, registered, "
                          "timeout_seconds, started_at_ms, tally_hidden FROM votes")) {
      const auto room = row[0].as<std::string>();
      const auto id = row[1].as<std::string>();
      const int state = row[2].as<int>();
      if (state < static_cast<int>(VoteState::kDrafted) ||
          state > static_cast<int>(VoteState::kEnded)) {
        throw StoreError("store " + name_ + ": vote " + id + " of " + room + " has state " +
                         std::to_string(state));
      }
      Loading& vote = votes[{room, id}];
      vote.state = static_cast<VoteState>(state);
      vote.definition.caption = row[3].as<std::string>();
      vote.definition.multiple_choice = row[4].as<bool>();
      vote.definition.registered = row[5].as<bool>();
      vote.definition.timeout = std::chrono::seconds(row[6].as<std::int64_t>());
      if (!row[7].is_null()) vote.started_at = FromMilliseconds(row[7].as<std::int64_t>());
      vote.tally_hidden = row[8].as<bool>();
    }
    for (const auto& row :
         transaction.exec("SELECT room, vote, subject_index, text FROM vote_subjects "
                          "ORDER BY room, vote, position")) {
      votes[{row[0].as<std::string>(), row[1].as<std::string>()}].definition.subjects.push_back(
          {row[2].as<std::string>(), row[3].as<std::string>()});
    }
    for (const auto& row : transaction.exec(
             "SELECT room, vote, voter, name, choices FROM ballots ORDER BY room, vote, "
             "cast_order")) {
      auto indexes = DecodeChoices(row[4].c_str());
      if (!indexes) {
        throw StoreError("store " + name_ + ": a ballot in vote " + row[1].as<std::string>() +
                         " of " + row[0].as<std::string>() + " cannot be read");
      }
      votes[{row[0].as<std::string>(), row[1].as<std::string>()}].ballots.push_back(
          Ballot{row[2].as<std::string>(), row[3].as<std::string>(), std::move(*indexes)});
    }
    for (auto& [key, vote] : votes) {
      rooms[room_at.at(key.first)].votes.emplace_back(key.second, vote.state,
                                                      std::move(vote.definition), vote.started_at,
                                                      std::move(vote.ballots), vote.tally_hidden);
    }

    for (const auto& row : transaction.exec(
             "SELECT room, qid, text, time, type, value FROM agenda_items ORDER BY id")) {
      rooms[room_at.at(row[0].as<std::string>())].agenda.push_back(
          {row[1].as<std::string>(), row[2].as<std::string>(), row[3].as<std::string>(),
           row[4].as<std::string>(), row[5].as<std::string>()});
    }
    for (const auto& row :
         transaction.exec("SELECT room, address, name, nick FROM members ORDER BY id")) {
      rooms[room_at.at(row[0].as<std::string>())].members.push_back(
          {row[1].as<std::string>(), row[2].as<std::string>(), row[3].as<std::string>()});
    }
    transaction.commit();
    return rooms;
  });
}

void PostgresStore::Begin() {
  inTransaction_ = true;
  pending_.clear();
}

void PostgresStore::Commit() {
  inTransaction_ = false;
  const std::string writes = std::exchange(pending_, {});
  if (!writes.empty()) Send("commit", writes);
}

void PostgresStore::Rollback() {
  // Nothing has reached the database yet: the writes are sent together at Commit.
  inTransaction_ = false;
  pending_.clear();
}

void PostgresStore::Write(const char* what, const PreparedStatement& statement,
                          std::initializer_list<std::string> arguments) {
  std::string sql = std::string("EXECUTE ") + statement.name + "(";
  const char* separator = "";
  for (const std::string& argument : arguments) {
    sql += separator + argument;
    separator = ", ";
  }
  sql += ");";
  if (inTransaction_) {
    pending_ += sql;
  } else {
    Send(what, sql);
  }
}

// One simple query of several statements runs as one transaction: all of them or none. The
// fencing check comes first and share-locks the number, so that a takeover (which raises it)
// waits for this transaction, and this one fails once a takeover has committed.
void PostgresStore::Send(const char* what, const std::string& sql) {
  Guard(what, [&] {
    pqxx::connection& data = connections_->data;
    // Registered with the server once per connection (again after a lost one was made anew).
    for (const PreparedStatement* statement : kStatements) data.prepare_now(statement->name);
    pqxx::nontransaction session(data);
    session.exec(std::string("EXECUTE ") + kFence.name + "(" + Number(fence_) + ");" + sql);
  });
}

std::string PostgresStore::Quote(const std::string& text) const {
  return connections_->data.quote(text);
}

void PostgresStore::SaveRoom(const std::string& room, const std::string& owner) {
  Write("save a room", kSaveRoom, {Quote(room), Quote(owner)});
}

void PostgresStore::AddVote(const std::string& room, const std::string& vote_id,
                            std::uint64_t next_vote_id) {
  // The vote's reference to its room fails the transaction when there is no such room.
  Write("add a vote", kAddVote, {Quote(room), Quote(vote_id)});
  Write("add a vote", kSaveNextVoteId,
        {Quote(room), Number(static_cast<std::int64_t>(next_vote_id))});
}

void PostgresStore::SaveVote(const std::string& room, const Vote& vote) {
  const VoteDefinition& definition = vote.definition();
  const std::string key = Quote(room);
  const std::string id = Quote(vote.id());
  Write("save a vote", kSaveVote,
        {key, id, Number(static_cast<int>(vote.state())), Quote(definition.caption),
         definition.multiple_choice ? "true" : "false", definition.registered ? "true" : "false",
         Number(definition.timeout.count()),
         vote.StartedAt() ? Number(ToMilliseconds(*vote.StartedAt())) : "NULL",
         vote.TallyHidden() ? "true" : "false", Quote("no vote " + vote.id() + " in " + room)});
  Write("save a vote", kClearSubjects, {key, id});
  for (std::size_t position = 0; position < definition.subjects.size(); ++position) {
    const VoteSubject& subject = definition.subjects[position];
    Write("save a vote", kAddSubject,
          {key, id, Number(static_cast<std::int64_t>(position + 1)), Quote(subject.index),
           Quote(subject.text)});
  }
}

void PostgresStore::DeleteVote(const std::string& room, const std::string& vote_id) {
  Write("delete a vote", kDeleteVote, {Quote(room), Quote(vote_id)});
}

void PostgresStore::AddBallot(const std::string& room, const std::string& vote_id,
                              std::size_t position, const Ballot& ballot) {
  Write("add a ballot", kAddBallot,
        {Quote(room), Quote(vote_id), Quote(ballot.voter), Quote(ballot.name),
         Quote(EncodeChoices(ballot.indexes)), Number(static_cast<std::int64_t>(position))});
}

void PostgresStore::SaveAgendaItem(const std::string& room, const AgendaItem& item) {
  Write("save an agenda item", kSaveAgendaItem,
        {Quote(room), Quote(item.qid), Quote(item.text), Quote(item.time), Quote(item.type),
         Quote(item.value)});
}

void PostgresStore::DeleteAgendaItem(const std::string& room, const std::string& qid) {
  Write("delete an agenda item", kDeleteAgendaItem, {Quote(room), Quote(qid)});
}

void PostgresStore::SaveInProgress(const std::string& room, const std::string& qid) {
  Write("save the item in progress", kSaveInProgress, {Quote(room), Quote(qid)});
}

void PostgresStore::SaveMember(const std::string& room, const Member& member) {
  Write("save a member", kSaveMember,
        {Quote(room), Quote(member.address), Quote(member.name), Quote(member.nick)});
}

void PostgresStore::DeleteMember(const std::string& room, const std::string& address) {
  Write("delete a member", kDeleteMember, {Quote(room), Quote(address)});
}

void PostgresStore::SavePageToken(const std::string& room, const std::string& token) {
  Write("save the room page's token", kSavePageToken,
        {Quote(room), Quote(token), Quote("no room " + room)});
}

}  // namespace quenlo::server
