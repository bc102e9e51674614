#include "server/http/http_listener.h"

#include <algorithm>
#include <array>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <map>
#include <sstream>
#include <stdexcept>

namespace quenlo::server::http {
namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace bhttp = boost::beast::http;
using tcp = asio::ip::tcp;
using SteadyClock = std::chrono::steady_clock;

constexpr std::size_t kHeaderLimit = 8 * 1024;

// Sent with every answer: the page runs only its own script and style, reaches only its own
// address, cannot be framed, and its secret address leaves with no link followed.
const std::pair<const char*, const char*> kSafetyHeaders[] = {
    {"Content-Security-Policy",
     "default-src 'none'; script-src 'self'; style-src 'self'; connect-src 'self'; "
     "img-src 'self'; base-uri 'none'; form-action 'none'; frame-ancestors 'none'"},
    {"X-Content-Type-Options", "nosniff"},
    {"Referrer-Policy", "no-referrer"},
    {"Cache-Control", "no-store"},
    {"X-Frame-Options", "DENY"},
};

template <typename Message>
void AddSafetyHeaders(Message& message) {
  for (const auto& [name, value] : kSafetyHeaders) message.set(name, value);
}

}  // namespace

struct Stream;

struct HttpListener::State {
  State(HttpSite& site_in, HttpLimits limits_in) : site(site_in), limits(limits_in) {}

  struct Channel {
    std::optional<std::uint64_t> revision;
    std::string last_event;
    std::vector<std::shared_ptr<Stream>> streams;
    // The streams still to be sent last_event, the next one last.
    std::vector<std::weak_ptr<Stream>> unsent;
  };

  void Accept();
  void Push();
  // Takes the channel's state now as its last event; its streams are sent it when it differs,
  // also when a stream opening is what noticed the change.
  void Refresh(const std::string& name, Channel& channel, std::uint64_t revision);
  // Starts the writes of new states to at most `budget` streams; true when some are left.
  bool SendSlice(std::size_t budget);
  void Heartbeat();
  void Remove(const std::shared_ptr<Stream>& stream);
  void OpenStream(beast::tcp_stream socket, const std::string& channel);

  // Declared first so that it goes last: sockets and timers need it while they close.
  asio::io_context io{1};
  HttpSite& site;
  HttpLimits limits;
  tcp::acceptor acceptor{io};
  std::size_t connections = 0;
  std::size_t stream_count = 0;
  std::map<std::string, Channel, std::less<>> channels;
  SteadyClock::time_point next_heartbeat = SteadyClock::now();
};

// One open event stream: the write in flight and at most one event waiting behind it.
struct Stream : std::enable_shared_from_this<Stream> {
  Stream(HttpListener::State& state_in, beast::tcp_stream socket_in, std::string channel_in)
      : state(state_in), socket(std::move(socket_in)), channel(std::move(channel_in)) {}

  void Send(std::string text) {
    if (closed) return;
    if (writing) {
      waiting = std::move(text);
      return;
    }
    Write(std::move(text));
  }

  void SendIfIdle(std::string text) {
    if (!writing) Send(std::move(text));
  }

  // Sends `text`, then closes the stream.
  void SendLast(std::string text) {
    closing = true;
    Send(std::move(text));
  }

  void Write(std::string text) {
    writing = true;
    out = std::move(text);
    socket.expires_after(state.limits.stall);
    asio::async_write(socket, asio::buffer(out),
                      [self = shared_from_this()](beast::error_code error, std::size_t) {
                        self->Written(error);
                      });
  }

  void Written(beast::error_code error) {
    writing = false;
    if (error || closed) return Close();
    socket.expires_never();
    if (!waiting.empty()) return Write(std::exchange(waiting, {}));
    if (closing) Close();
  }

  // Browsers send nothing on a stream; a read ends only when the browser goes away.
  void WatchForClose() {
    socket.async_read_some(asio::buffer(ignored),
                           [self = shared_from_this()](beast::error_code error, std::size_t) {
                             if (error) return self->Close();
                             self->WatchForClose();
                           });
  }

  void Close() {
    if (closed) return;
    closed = true;
    beast::error_code ignored_error;
    socket.socket().shutdown(tcp::socket::shutdown_both, ignored_error);
    socket.close();
    state.Remove(shared_from_this());
  }

  HttpListener::State& state;
  beast::tcp_stream socket;
  std::string channel;
  std::string out;
  std::string waiting;
  std::array<char, 256> ignored{};
  bool writing = false;
  bool closing = false;
  bool closed = false;
};

namespace {

// One connection answering requests one after another until it closes, or becomes a stream.
class Session : public std::enable_shared_from_this<Session> {
 public:
  Session(HttpListener::State& state, tcp::socket socket)
      : state_(state), socket_(std::move(socket)) {
    ++state_.connections;
  }
  ~Session() { --state_.connections; }

  void Read() {
    parser_.emplace();
    parser_->header_limit(kHeaderLimit);
    parser_->body_limit(0);
    socket_.expires_after(state_.limits.request_timeout);
    bhttp::async_read(
        socket_, buffer_, *parser_,
        [self = shared_from_this()](beast::error_code error, std::size_t) { self->Answer(error); });
  }

 private:
  void Answer(beast::error_code error) {
    if (error) return Shut();
    const auto& request = parser_->get();
    HttpRequest asked{std::string(request.method_string()), std::string(request.target())};
    HttpAnswer answer = state_.site.Answer(asked);
    if (!answer.stream.empty()) {
      socket_.expires_never();
      return state_.OpenStream(std::move(socket_), answer.stream);
    }
    auto response = std::make_shared<bhttp::response<bhttp::string_body>>(
        static_cast<bhttp::status>(answer.status), request.version());
    AddSafetyHeaders(*response);
    response->set(bhttp::field::content_type, answer.content_type);
    for (const auto& [name, value] : answer.headers) response->set(name, value);
    response->body() = std::move(answer.body);
    response->prepare_payload();
    if (request.method() == bhttp::verb::head) response->body().clear();
    response->keep_alive(request.keep_alive());
    socket_.expires_after(state_.limits.request_timeout);
    bhttp::async_write(
        socket_, *response,
        [self = shared_from_this(), response](beast::error_code written, std::size_t) {
          if (written || !response->keep_alive()) return self->Shut();
          self->Read();
        });
  }

  void Shut() {
    beast::error_code ignored;
    socket_.socket().shutdown(tcp::socket::shutdown_both, ignored);
    socket_.close();
  }

  HttpListener::State& state_;
  beast::tcp_stream socket_;
  beast::flat_buffer buffer_;
  std::optional<bhttp::request_parser<bhttp::empty_body>> parser_;
};

}  // namespace

void HttpListener::State::Accept() {
  acceptor.async_accept([this](beast::error_code error, tcp::socket socket) {
    if (error == asio::error::operation_aborted) return;
    if (!error) {
      if (connections >= limits.connections) {
        beast::error_code ignored;
        socket.close(ignored);
      } else {
        // An update is one small write; waiting to coalesce it with the next costs a page up to
        // the peer's delayed acknowledgement (40 ms).
        beast::error_code ignored;
        socket.set_option(tcp::no_delay(true), ignored);
        std::make_shared<Session>(*this, std::move(socket))->Read();
      }
    }
    Accept();
  });
}

void HttpListener::State::OpenStream(beast::tcp_stream socket, const std::string& channel) {
  const std::optional<std::uint64_t> revision = site.Revision(channel);
  Channel& known = channels[channel];
  const bool full = known.streams.size() >= limits.streams_per_channel ||
                    stream_count >= limits.streams || !revision;
  bhttp::response<bhttp::empty_body> head(
      full ? bhttp::status::service_unavailable : bhttp::status::ok, 11);
  AddSafetyHeaders(head);
  if (full) {
    head.set(bhttp::field::retry_after, "10");
    head.content_length(0);
  } else {
    head.set(bhttp::field::content_type, "text/event-stream");
    // The stream ends only when one side closes it.
    head.keep_alive(false);
    head.set("X-Accel-Buffering", "no");
  }
  std::ostringstream text;
  text << head;
  auto stream = std::make_shared<Stream>(*this, std::move(socket), channel);
  if (full) {
    if (known.streams.empty()) channels.erase(channel);
    stream->SendLast(text.str());
    return;
  }
  ++stream_count;
  if (known.revision != revision) Refresh(channel, known, *revision);
  known.streams.push_back(stream);
  // The read starts first, while the socket has no expiry: a time limit set for a write applies
  // to a read started after it, and would close a healthy stream once the stall time passed.
  stream->WatchForClose();
  // Browsers wait this long before they reconnect after a drop.
  stream->Send(text.str() + "retry: 1000\n\n" + known.last_event);
}

void HttpListener::State::Remove(const std::shared_ptr<Stream>& stream) {
  const auto channel = channels.find(stream->channel);
  if (channel == channels.end()) return;
  auto& streams = channel->second.streams;
  const auto found = std::find(streams.begin(), streams.end(), stream);
  if (found == streams.end()) return;
  streams.erase(found);
  --stream_count;
  if (streams.empty()) channels.erase(channel);
}

// Sends each channel whose revision moved its new state, and says farewell on channels gone.
void HttpListener::State::Push() {
  for (auto channel = channels.begin(); channel != channels.end();) {
    Channel& known = channel->second;
    const std::optional<std::uint64_t> revision = site.Revision(channel->first);
    const auto next = std::next(channel);
    if (!revision) {
      const std::vector<std::shared_ptr<Stream>> streams = std::move(known.streams);
      stream_count -= streams.size();
      channels.erase(channel);
      for (const auto& stream : streams) stream->SendLast(site.Farewell());
    } else if (revision != known.revision) {
      Refresh(channel->first, known, *revision);
    }
    channel = next;
  }
}

void HttpListener::State::Refresh(const std::string& name, Channel& channel,
                                  std::uint64_t revision) {
  channel.revision = revision;
  std::string event = site.Event(name);
  if (event == channel.last_event) return;
  channel.last_event = std::move(event);
  channel.unsent.assign(channel.streams.rbegin(), channel.streams.rend());
}

bool HttpListener::State::SendSlice(std::size_t budget) {
  bool more = false;
  for (auto& [name, channel] : channels) {
    while (budget > 0 && !channel.unsent.empty()) {
      if (const auto stream = channel.unsent.back().lock()) {
        stream->Send(channel.last_event);
        --budget;
      }
      channel.unsent.pop_back();
    }
    more = more || !channel.unsent.empty();
  }
  return more;
}

// A comment now and then keeps proxies from closing an idle stream, and finds browsers gone.
void HttpListener::State::Heartbeat() {
  if (SteadyClock::now() < next_heartbeat) return;
  next_heartbeat = SteadyClock::now() + limits.heartbeat;
  for (auto& [name, channel] : channels) {
    for (const auto& stream : channel.streams) stream->SendIfIdle(":\n\n");
  }
}

HttpListener::HttpListener(const std::string& host, unsigned short port, HttpSite& site,
                           HttpLimits limits)
    : state_(std::make_unique<State>(site, limits)) {
  beast::error_code error;
  std::string literal = host == "localhost" ? "127.0.0.1" : host;
  if (literal.size() > 2 && literal.front() == '[' && literal.back() == ']') {
    literal = literal.substr(1, literal.size() - 2);
  }
  const asio::ip::address address = asio::ip::make_address(literal, error);
  const std::string where = host + ":" + std::to_string(port);
  if (error)
    throw std::runtime_error("cannot listen for HTTP on " + where + ": " + host +
                             " is not an IP address");
  const tcp::endpoint endpoint(address, port);
  tcp::acceptor& acceptor = state_->acceptor;
  acceptor.open(endpoint.protocol(), error);
  if (!error) acceptor.set_option(asio::socket_base::reuse_address(true), error);
  if (!error) acceptor.bind(endpoint, error);
  if (!error) acceptor.listen(asio::socket_base::max_listen_connections, error);
  if (error)
    throw std::runtime_error("cannot listen for HTTP on " + where + ": " + error.message());
  state_->Accept();
}

HttpListener::~HttpListener() {
  beast::error_code ignored;
  state_->acceptor.close(ignored);
  for (auto& [name, channel] : state_->channels) {
    for (const auto& stream : channel.streams) {
      stream->closed = true;
      stream->socket.close();
    }
  }
  state_->channels.clear();
}

unsigned short HttpListener::port() const { return state_->acceptor.local_endpoint().port(); }

bool HttpListener::Poll() {
  State& state = *state_;
  if (state.io.stopped()) state.io.restart();
  state.io.poll();
  state.Push();
  const bool more = state.SendSlice(state.limits.streams_per_poll);
  state.Heartbeat();
  state.io.poll();
  return more;
}

std::size_t HttpListener::StreamCount() const { return state_->stream_count; }

}  // namespace quenlo::server::http
