#pragma once

#include <array>

namespace quenlo::server {

// The PostgreSQL schema as numbered steps: step N (counting from 1) takes a database from
// version N-1 to N, in one transaction that also writes N into quenlo_schema. A new version
// appends a step, never edits one, so a database written by any earlier version can be brought
// forward.
//
// quenlo_service holds the fencing number: every service that takes over the database raises
// it, and every write transaction first checks (and share-locks) it, so that a service that
// has lost its place cannot change anything after the next one has taken over.
// quenlo_expect raises `refusal` unless `holds`: it turns a write that found nothing into a
// failure of the whole transaction.
inline constexpr std::array<const char*, 3> kPostgresSchemaSteps = {
    R"sql(
CREATE TABLE quenlo_schema (version integer NOT NULL);
INSERT INTO quenlo_schema VALUES (0);
CREATE TABLE quenlo_service (fence bigint NOT NULL);
INSERT INTO quenlo_service VALUES (0);
CREATE FUNCTION quenlo_expect(holds boolean, refusal text) RETURNS void LANGUAGE plpgsql AS
  'BEGIN IF NOT holds THEN RAISE EXCEPTION USING MESSAGE = refusal; END IF; END';
CREATE TABLE rooms (
  address text PRIMARY KEY,
  owner text NOT NULL DEFAULT '',
  next_vote_id bigint NOT NULL DEFAULT 1,
  in_progress text NOT NULL DEFAULT ''
);
CREATE TABLE votes (
  room text NOT NULL REFERENCES rooms(address),
  id text NOT NULL,
  state integer NOT NULL,
  caption text NOT NULL DEFAULT '',
  multiple_choice boolean NOT NULL DEFAULT false,
  registered boolean NOT NULL DEFAULT false,
  timeout_seconds bigint NOT NULL DEFAULT 0,
  started_at_ms bigint,
  PRIMARY KEY (room, id)
);
CREATE TABLE vote_subjects (
  room text NOT NULL,
  vote text NOT NULL,
  position integer NOT NULL,
  subject_index text NOT NULL,
  text text NOT NULL,
  PRIMARY KEY (room, vote, position),
  FOREIGN KEY (room, vote) REFERENCES votes(room, id) ON DELETE CASCADE
);
-- `choices` holds each chosen subject index as its length, a colon and the index, as the SQLite
-- store writes it; `cast_order` keeps the ballot order.
CREATE TABLE ballots (
  room text NOT NULL,
  vote text NOT NULL,
  voter text NOT NULL,
  name text NOT NULL,
  choices text NOT NULL,
  cast_order bigint NOT NULL,
  PRIMARY KEY (room, vote, voter),
  FOREIGN KEY (room, vote) REFERENCES votes(room, id) ON DELETE CASCADE
);
CREATE TABLE agenda_items (
  id bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
  room text NOT NULL REFERENCES rooms(address),
  qid text NOT NULL,
  text text NOT NULL,
  time text NOT NULL,
  type text NOT NULL,
  value text NOT NULL,
  UNIQUE (room, qid)
);
)sql",
    R"sql(
CREATE TABLE members (
  id bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
  room text NOT NULL REFERENCES rooms(address),
  address text NOT NULL,
  name text NOT NULL,
  nick text NOT NULL,
  UNIQUE (room, address)
);
)sql",
    R"sql(
ALTER TABLE rooms ADD COLUMN page_token text NOT NULL DEFAULT '';
CREATE UNIQUE INDEX rooms_by_page_token ON rooms (page_token) WHERE page_token <> '';
ALTER TABLE votes ADD COLUMN tally_hidden boolean NOT NULL DEFAULT false;
)sql",
};

}  // namespace quenlo::server
