#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "server/agenda.h"
#include "server/member.h"
#include "server/vote.h"

namespace quenlo::server {

// A store that cannot read or keep what it was given; what() is one line for people.
class StoreError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The store is held by another service (a process that has the file open, a session that holds
// the database); it may be free later.
class StoreInUse : public StoreError {
 public:
  using StoreError::StoreError;
};

// How hard a commit presses the data to disk. kNormal: an answered change survives a crash of
// the service; a crash of the machine (or database) that holds the store may only lose the last
// commits, never the store's soundness. kFull: an answered change also survives a power cut, at
// the price of waiting for a disk flush per request (milliseconds on most disks).
enum class StoreDurability { kNormal, kFull };

// Everything a room keeps across restarts. Its members are kept too, so that a service that
// comes back can find out which of them are still there rather than forget them all.
struct RoomRecord {
  std::string address;
  std::string owner;  // a bare address, empty until somebody joins
  std::uint64_t next_vote_id = 1;
  std::vector<Vote> votes;
  std::vector<AgendaItem> agenda;  // in creation order
  std::string in_progress;         // the qid of the item in progress, empty for none
  std::vector<Member> members;     // in the order they joined
  std::string page_token;          // the secret part of the room page's address, empty for none
};

// Where the rooms keep their state. The server wraps every request in Begin and Commit (or
// Rollback), so the changes of one request are kept together or not at all, and an answer
// leaves only once its changes are kept. Every call throws StoreError when it fails.
class Store {
 public:
  virtual ~Store() = default;

  virtual std::vector<RoomRecord> LoadRooms() = 0;

  virtual void Begin() = 0;
  virtual void Commit() = 0;
  virtual void Rollback() = 0;

  // Adds the room, or changes its owner.
  virtual void SaveRoom(const std::string& room, const std::string& owner) = 0;
  // A new drafted vote, and the identifier the next one will take.
  virtual void AddVote(const std::string& room, const std::string& vote_id,
                       std::uint64_t next_vote_id) = 0;
  // The vote's state, definition, start and hidden tally, replacing what was kept.
  virtual void SaveVote(const std::string& room, const Vote& vote) = 0;
  virtual void DeleteVote(const std::string& room, const std::string& vote_id) = 0;
  // `position` counts the vote's ballots from 0, in the order they came.
  virtual void AddBallot(const std::string& room, const std::string& vote_id, std::size_t position,
                         const Ballot& ballot) = 0;

  // Adds the item at the end of the agenda, or replaces it in its place.
  virtual void SaveAgendaItem(const std::string& room, const AgendaItem& item) = 0;
  virtual void DeleteAgendaItem(const std::string& room, const std::string& qid) = 0;
  virtual void SaveInProgress(const std::string& room, const std::string& qid) = 0;

  // Adds the member (by address), or changes its name and nick.
  virtual void SaveMember(const std::string& room, const Member& member) = 0;
  virtual void DeleteMember(const std::string& room, const std::string& address) = 0;
  // The room page's secret token, replacing the one kept; no two rooms share one.
  virtual void SavePageToken(const std::string& room, const std::string& token) = 0;

  // Writes a consistent copy of everything kept to the new file at the path given, between
  // requests. A store whose database has backup tools of its own (pg_dump) refuses.
  virtual void BackupTo(const std::string& /*path*/) {
    throw StoreError("this store is backed up with its database's own tools, not by the service");
  }
};

}  // namespace quenlo::server
