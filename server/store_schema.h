#pragma once

#include <array>

namespace quenlo::server {

// The schema as numbered steps: step N (counting from 1) takes a store from version N-1 to N,
// and the version lives in the file's user_version. A new version appends a step, never edits
// one, so a store written by any earlier version can be brought forward.
inline constexpr std::array<const char*, 3> kSchemaSteps = {
    R"sql(
CREATE TABLE rooms (
  address TEXT PRIMARY KEY,
  owner TEXT NOT NULL DEFAULT '',
  next_vote_id INTEGER NOT NULL DEFAULT 1,
  in_progress TEXT NOT NULL DEFAULT ''
);
CREATE TABLE votes (
  room TEXT NOT NULL REFERENCES rooms(address),
  id TEXT NOT NULL,
  state INTEGER NOT NULL,
  caption TEXT NOT NULL DEFAULT '',
  multiple_choice INTEGER NOT NULL DEFAULT 0,
  registered INTEGER NOT NULL DEFAULT 0,
  timeout_seconds INTEGER NOT NULL DEFAULT 0,
  started_at_ms INTEGER,
  PRIMARY KEY (room, id)
);
CREATE TABLE vote_subjects (
  room TEXT NOT NULL,
  vote TEXT NOT NULL,
  position INTEGER NOT NULL,
  subject_index TEXT NOT NULL,
  text TEXT NOT NULL,
  PRIMARY KEY (room, vote, position),
  FOREIGN KEY (room, vote) REFERENCES votes(room, id) ON DELETE CASCADE
);
-- One row per ballot, its choices inline, so that a ballot writes a single page: ballots are
-- the request that comes in bulk. `choices` holds each chosen subject index as its length in
-- bytes, a colon and the index ("1:21:3" for "2" and "3"); `cast_order` keeps the ballot order.
CREATE TABLE ballots (
  room TEXT NOT NULL,
  vote TEXT NOT NULL,
  voter TEXT NOT NULL,
  name TEXT NOT NULL,
  choices TEXT NOT NULL,
  cast_order INTEGER NOT NULL,
  PRIMARY KEY (room, vote, voter),
  FOREIGN KEY (room, vote) REFERENCES votes(room, id) ON DELETE CASCADE
) WITHOUT ROWID;
CREATE TABLE agenda_items (
  id INTEGER PRIMARY KEY,
  room TEXT NOT NULL REFERENCES rooms(address),
  qid TEXT NOT NULL,
  text TEXT NOT NULL,
  time TEXT NOT NULL,
  type TEXT NOT NULL,
  value TEXT NOT NULL,
  UNIQUE (room, qid)
);
)sql",
    R"sql(
CREATE TABLE members (
  id INTEGER PRIMARY KEY,
  room TEXT NOT NULL REFERENCES rooms(address),
  address TEXT NOT NULL,
  name TEXT NOT NULL,
  nick TEXT NOT NULL,
  UNIQUE (room, address)
);
)sql",
    R"sql(
ALTER TABLE rooms ADD COLUMN page_token TEXT NOT NULL DEFAULT '';
CREATE UNIQUE INDEX rooms_by_page_token ON rooms (page_token) WHERE page_token <> '';
ALTER TABLE votes ADD COLUMN tally_hidden INTEGER NOT NULL DEFAULT 0;
)sql",
};

}  // namespace quenlo::server
