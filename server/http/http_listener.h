// The service's HTTP side: one listening socket served on the caller's thread. Poll runs what is
// ready and returns at once, so that the program can share its one thread between libstrophe
// and HTTP, and the rooms keep a single owner. Requests are read and answers written by
// Boost.Beast; what is answered is the site's business.
//
// Event streams (Server-Sent Events) are bounded per channel and in total. Each stream keeps at
// most the write in flight and the newest event waiting (every event carries the whole state,
// so an older one waiting is simply replaced), and a write that stalls for `stall` closes its
// stream: a slow or stalled browser costs the service nothing and never delays the others.
// A new state goes out to a channel's streams a slice at a time, one slice per Poll, so that a
// request waiting on the other I/O of the thread is served between slices rather than after
// hundreds of writes.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace quenlo::server::http {

struct HttpRequest {
  std::string method;  // "GET", "HEAD", ...
  std::string target;  // the path with its query, as sent
};

struct HttpAnswer {
  unsigned status = 200;
  std::string content_type = "text/plain; charset=utf-8";
  std::string body;
  std::vector<std::pair<std::string, std::string>> headers;  // beyond the ones every answer has
  // Not empty: instead of the above, the connection becomes an event stream of this channel.
  std::string stream;
};

// What the listener serves.
class HttpSite {
 public:
  virtual ~HttpSite() = default;
  virtual HttpAnswer Answer(const HttpRequest& request) = 0;
  // The channel's revision now, or nothing when the channel is gone: its streams are then sent
  // Farewell and closed.
  virtual std::optional<std::uint64_t> Revision(const std::string& channel) = 0;
  // The channel's state now as one whole event ("event: ...\ndata: ...\n\n"), sent when a stream
  // opens and whenever the revision moves and the event differs from the last one sent.
  virtual std::string Event(const std::string& channel) = 0;
  virtual std::string Farewell() = 0;
};

struct HttpLimits {
  std::size_t streams_per_channel = 500;
  std::size_t streams = 2000;
  std::size_t connections = 256;  // besides the streams
  std::chrono::milliseconds stall{5000};
  std::chrono::milliseconds request_timeout{10000};
  std::chrono::milliseconds heartbeat{15000};
  std::size_t streams_per_poll = 25;  // writes of new states one Poll starts
};

class HttpListener {
 public:
  // Listens on host:port (port 0 picks a free one). Throws std::runtime_error with a one-line
  // reason when it cannot.
  HttpListener(const std::string& host, unsigned short port, HttpSite& site,
               HttpLimits limits = {});
  HttpListener(const HttpListener&) = delete;
  HttpListener& operator=(const HttpListener&) = delete;
  ~HttpListener();

  unsigned short port() const;
  // Accepts, answers and pushes whatever is ready, without waiting. True when new states are
  // still waiting for their streams: the caller should come back as soon as its own work is done.
  bool Poll();
  std::size_t StreamCount() const;

  // The sockets and what they share; only the listener's own source knows it.
  struct State;

 private:
  std::unique_ptr<State> state_;
};

}  // namespace quenlo::server::http
