// What a transport tells the people at the host beside the module's events: that the connection
// or the place in the room was lost and came back, and that a request got no answer from the
// service. The module never hears of these: an error the XMPP server wrote instead of the
// service carries nothing the module reads, and a request nobody answers produces no packet.
#pragma once

#include <functional>
#include <string>

namespace quenlo::host {

struct TransportNotice {
  enum class Kind {
    kLost,        // the connection or the place in the room is gone; the transport works to return
    kBack,        // logged in and in the room again
    kUnanswered,  // a request the service did not answer (request_id, request, condition)
  };
  Kind kind;
  std::string text;  // one line for people
  std::string request_id;
  std::string request;    // what was asked: the query's service and type ("voting ballot")
  std::string condition;  // the XMPP server's stanza error, or "timeout", "connection-lost",
                          // "not-connected"
};

using NoticeListener = std::function<void(const TransportNotice&)>;

// The word a notice goes by in JSON output.
constexpr const char* KindName(TransportNotice::Kind kind) {
  switch (kind) {
    case TransportNotice::Kind::kLost:
      return "lost";
    case TransportNotice::Kind::kBack:
      return "back";
    case TransportNotice::Kind::kUnanswered:
      break;
  }
  return "unanswered";
}

}  // namespace quenlo::host
