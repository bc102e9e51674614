#pragma once

#include <stdexcept>
#include <string>

namespace quenlo::server {

// The numeric codes of refused requests, as error replies carry them. Grouped by who refuses, so
// that a code alone tells where to look: 1-9 any request, 10-19 voting, 20-29 agenda, 30-39
// room administration.
enum class ErrorCode : int {
  kMalformedRequest = 1,
  kUnknownRequestType = 2,
  kUnknownRoom = 3,
  kNotParticipant = 4,
  kNotAllowed = 5,
  kNotStored = 6,
  kUnknownVote = 10,
  kWrongState = 11,
  kAlreadyVoted = 12,
  kNotSingleChoice = 13,
  kUnknownSubject = 14,
  kEmptyBallot = 15,
  kUnknownAgendaItem = 20,
  kDuplicateAgendaItem = 21,
  kOwnerNotPresent = 30,
};

// A request the room refuses; what() is the human-readable text of the error reply.
class RequestError : public std::runtime_error {
 public:
  RequestError(ErrorCode code, const std::string& text) : std::runtime_error(text), code_(code) {}

  ErrorCode code() const noexcept { return code_; }

 private:
  ErrorCode code_;
};

}  // namespace quenlo::server
