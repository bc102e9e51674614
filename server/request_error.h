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
  kNotMember = 4,
  kNotAllowed = 5,
  kNotStored = 6,
  kAnswerTooLarge = 7,
  kTextTooLong = 8,
  kUnknownVote = 10,
  kWrongState = 11,
  kAlreadyVoted = 12,
  kNotSingleChoice = 13,
  kUnknownSubject = 14,
  kEmptyBallot = 15,
  kUnknownAgendaItem = 20,
  kDuplicateAgendaItem = 21,
  kOwnerNotPresent = 30,
  kNoPages = 31,
};

// The XMPP stanza error that goes with a code, so that software which does not know the service's
// codes still learns what kind of refusal it got: its type ("cancel", "auth", "wait", "modify")
// and its condition, an element of urn:ietf:params:xml:ns:xmpp-stanzas.
struct StanzaError {
  const char* type;
  const char* condition;
};

constexpr StanzaError StanzaErrorOf(ErrorCode code) {
  switch (code) {
    case ErrorCode::kUnknownRequestType:
      return {"cancel", "service-unavailable"};
    case ErrorCode::kUnknownRoom:
    case ErrorCode::kUnknownVote:
    case ErrorCode::kUnknownAgendaItem:
    case ErrorCode::kOwnerNotPresent:
      return {"cancel", "item-not-found"};
    case ErrorCode::kNoPages:
      return {"cancel", "feature-not-implemented"};
    case ErrorCode::kNotMember:
    case ErrorCode::kNotAllowed:
      return {"auth", "forbidden"};
    case ErrorCode::kNotStored:
      return {"wait", "internal-server-error"};
    // The service lacks the room to send the answer; sending the request again will not help.
    case ErrorCode::kAnswerTooLarge:
      return {"cancel", "resource-constraint"};
    case ErrorCode::kTextTooLong:
      return {"modify", "not-acceptable"};
    case ErrorCode::kWrongState:
      return {"cancel", "not-allowed"};
    case ErrorCode::kAlreadyVoted:
    case ErrorCode::kDuplicateAgendaItem:
      return {"cancel", "conflict"};
    case ErrorCode::kMalformedRequest:
    case ErrorCode::kNotSingleChoice:
    case ErrorCode::kUnknownSubject:
    case ErrorCode::kEmptyBallot:
      return {"modify", "bad-request"};
  }
  return {"modify", "bad-request"};
}

// The code's name for people and monitoring: the enumerator's name in lower case with
// underscores ("already_voted").
constexpr const char* ErrorCodeName(ErrorCode code) {
  switch (code) {
    case ErrorCode::kMalformedRequest:
      return "malformed_request";
    case ErrorCode::kUnknownRequestType:
      return "unknown_request_type";
    case ErrorCode::kUnknownRoom:
      return "unknown_room";
    case ErrorCode::kNotMember:
      return "not_member";
    case ErrorCode::kNotAllowed:
      return "not_allowed";
    case ErrorCode::kNotStored:
      return "not_stored";
    case ErrorCode::kAnswerTooLarge:
      return "answer_too_large";
    case ErrorCode::kTextTooLong:
      return "text_too_long";
    case ErrorCode::kUnknownVote:
      return "unknown_vote";
    case ErrorCode::kWrongState:
      return "wrong_state";
    case ErrorCode::kAlreadyVoted:
      return "already_voted";
    case ErrorCode::kNotSingleChoice:
      return "not_single_choice";
    case ErrorCode::kUnknownSubject:
      return "unknown_subject";
    case ErrorCode::kEmptyBallot:
      return "empty_ballot";
    case ErrorCode::kUnknownAgendaItem:
      return "unknown_agenda_item";
    case ErrorCode::kDuplicateAgendaItem:
      return "duplicate_agenda_item";
    case ErrorCode::kOwnerNotPresent:
      return "owner_not_present";
    case ErrorCode::kNoPages:
      return "no_pages";
  }
  return "unknown_code";
}

// A request the room refuses; what() is the human-readable text of the error reply.
class RequestError : public std::runtime_error {
 public:
  RequestError(ErrorCode code, const std::string& text) : std::runtime_error(text), code_(code) {}

  ErrorCode code() const noexcept { return code_; }

 private:
  ErrorCode code_;
};

}  // namespace quenlo::server
