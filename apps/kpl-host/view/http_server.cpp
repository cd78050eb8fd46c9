#include "apps/kpl-host/view/http_server.h"

#include <boost/asio/ip/address.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/ssl/context.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/http/parser.hpp>
#include <boost/beast/http/read.hpp>
#include <boost/beast/http/string_body.hpp>
#include <boost/beast/http/write.hpp>
#include <boost/beast/ssl/ssl_stream.hpp>
#include <optional>
#include <stdexcept>
#include <type_traits>

#include "apps/kpl-host/core/backoff.h"
#include "apps/kpl-host/view/login.h"

namespace kplhost {

namespace beast = boost::beast;
namespace http = boost::beast::http;
using boost::asio::ip::tcp;

struct HttpServer::State {
  State(boost::asio::io_context& io, RequestHandler h, HttpLimits l, HttpAccess a)
      : acceptor(io), retry(io), handler(std::move(h)), limits(l), access(std::move(a)) {}
  tcp::acceptor acceptor;
  // Accepting again once descriptors may be free.
  boost::asio::steady_timer retry;
  Backoff short_of_descriptors{std::chrono::milliseconds(100), std::chrono::seconds(1)};
  RequestHandler handler;
  HttpLimits limits;
  HttpAccess access;
  // Sessions end on the I/O thread, or where their last answer was made.
  std::atomic<std::size_t> open{0};
  bool stopped = false;
};

namespace {

// The largest form a POST may carry.
constexpr std::uint64_t form_bytes = 4096;

const char* reason(int status) {
  switch (status) {
    case 200:
      return "OK";
    case 400:
      return "Bad Request";
    case 401:
      return "Unauthorized";
    case 403:
      return "Forbidden";
    case 404:
      return "Not Found";
    case 500:
      return "Internal Server Error";
    case 405:
      return "Method Not Allowed";
    case 413:
      return "Content Too Large";
    case 431:
      return "Request Header Fields Too Large";
    case 503:
      return "Service Unavailable";
    default:
      return "Error";
  }
}

HttpReply text(int status, const char* body) { return {status, "text/plain; charset=utf-8", body}; }

template <class Stream>
class Session : public std::enable_shared_from_this<Session<Stream>> {
  static constexpr bool tls = !std::is_same_v<Stream, beast::tcp_stream>;

 public:
  Session(Stream stream, std::shared_ptr<HttpServer::State> server)
      : stream_(std::move(stream)),
        server_(std::move(server)),
        buffer_(server_->limits.header_bytes) {
    ++server_->open;
  }
  ~Session() { --server_->open; }

  void start() {
    if constexpr (tls) {
      beast::get_lowest_layer(stream_).expires_after(server_->limits.idle);
      stream_.async_handshake(boost::asio::ssl::stream_base::server,
                              [self = this->shared_from_this()](beast::error_code ec) {
                                if (ec) return self->close();
                                self->read();
                              });
    } else {
      read();
    }
  }

 private:
  void read() {
    parser_.emplace();
    parser_->header_limit(static_cast<std::uint32_t>(server_->limits.header_bytes));
    parser_->body_limit(server_->access.writes ? form_bytes : 0);
    beast::get_lowest_layer(stream_).expires_after(server_->limits.idle);
    http::async_read(stream_, buffer_, *parser_,
                     [self = this->shared_from_this()](beast::error_code ec, std::size_t) {
                       self->received(ec);
                     });
  }

  void received(beast::error_code ec) {
    if (ec == http::error::end_of_stream || ec == beast::error::timeout || server_->stopped)
      return close();
    if (ec == http::error::header_limit || ec == http::error::buffer_overflow)
      return answer(text(431, "request header too large\n"), false, false);
    // A body is refused once the header is read: for what the method is
    // first, then for the body itself.
    if (ec && ec != http::error::body_limit) return close();
    const auto& req = parser_->get();
    const bool head = req.method() == http::verb::head;
    const bool get = req.method() == http::verb::get || head;
    const bool post = req.method() == http::verb::post && server_->access.writes;
    if (!get && !post) {
      HttpReply r = text(405, server_->access.writes ? "only GET, HEAD and POST\n"
                                                     : "only GET and HEAD; this endpoint is "
                                                       "read-only\n");
      return answer(std::move(r), false, !ec && req.keep_alive());
    }
    if (ec && post) return answer(text(413, "a form of at most 4096 bytes\n"), false, false);
    if (ec || (get && !req.body().empty()))
      return answer(text(400, "requests carry no body here\n"), false, false);
    if (!server_->access.login) return dispatch(head, req.keep_alive(), {});
    server_->access.login->check(
        std::string(req[http::field::authorization]),
        [self = this->shared_from_this(), head, keep = req.keep_alive()](
            Login::Verdict v, const std::string& user) { self->admitted(v, user, head, keep); });
  }

  void admitted(Login::Verdict v, const std::string& user, bool head, bool keep_alive) {
    if (server_->stopped) return close();
    switch (v) {
      case Login::Verdict::user:
        return dispatch(head, keep_alive, user);
      case Login::Verdict::busy:
        return answer(text(503, "too many log-ins being checked; try again\n"), head, false);
      default: {
        HttpReply r = text(401, "log in with a user of the web configuration\n");
        r.headers.emplace_back("WWW-Authenticate", "Basic realm=\"kpl-host\", charset=\"UTF-8\"");
        return answer(std::move(r), head, keep_alive);
      }
    }
  }

  void dispatch(bool head, bool keep_alive, const std::string& user) {
    auto& req = parser_->get();
    HttpRequest r;
    r.method = std::string(req.method_string());
    r.path = std::string(req.target());
    const size_t query = r.path.find('?');
    if (query != std::string::npos) {
      r.query = r.path.substr(query + 1);
      r.path.erase(query);
    }
    r.body = std::move(req.body());
    r.content_type = std::string(req[http::field::content_type]);
    r.host = std::string(req[http::field::host]);
    r.origin = std::string(req[http::field::origin]);
    r.fetch_site = std::string(req["Sec-Fetch-Site"]);
    r.user = user;
    // The answer may come from another thread; it is written on this one.
    auto self = this->shared_from_this();
    server_->handler(r, [self, head, keep_alive](HttpReply reply) {
      auto executor = self->stream_.get_executor();
      boost::asio::post(
          executor, [self = std::move(self), reply = std::move(reply), head, keep_alive]() mutable {
            self->answer(std::move(reply), head, keep_alive);
          });
    });
  }

  void answer(HttpReply reply, bool head, bool keep_alive) {
    if (server_->stopped) return close();
    auto res = std::make_shared<http::response<http::string_body>>();
    res->result(static_cast<unsigned>(reply.status));
    res->reason(reason(reply.status));
    res->version(11);
    res->set(http::field::server, "kpl-host");
    res->set(http::field::content_type, reply.content_type);
    res->set(http::field::cache_control, "no-store");
    // The page is the endpoint's own: no other site may frame it or load
    // anything into it.
    res->set("X-Content-Type-Options", "nosniff");
    res->set("X-Frame-Options", "DENY");
    if (reply.status == 405)
      res->set(http::field::allow, server_->access.writes ? "GET, HEAD, POST" : "GET, HEAD");
    for (const auto& [name, value] : reply.headers) res->set(name, value);
    if (!reply.filename.empty())
      res->set(http::field::content_disposition, "attachment; filename=\"" + reply.filename + "\"");
    res->keep_alive(keep_alive);
    res->content_length(reply.body.size());
    if (!head) res->body() = std::move(reply.body);
    beast::get_lowest_layer(stream_).expires_after(server_->limits.write);
    http::async_write(
        stream_, *res,
        [self = this->shared_from_this(), res, keep_alive](beast::error_code ec, std::size_t) {
          if (ec || !keep_alive || self->server_->stopped) return self->close();
          self->read();
        });
  }

  // Over TLS the peer is told the end (close_notify) first, within a
  // second, so that it can tell an answer ended from one cut off.
  void close() {
    if constexpr (tls) {
      if (!shut_) {
        shut_ = true;
        beast::get_lowest_layer(stream_).expires_after(std::chrono::seconds(1));
        stream_.async_shutdown(
            [self = this->shared_from_this()](beast::error_code) { self->close(); });
        return;
      }
    }
    beast::error_code ec;
    auto& socket = beast::get_lowest_layer(stream_).socket();
    socket.shutdown(tcp::socket::shutdown_both, ec);
    beast::get_lowest_layer(stream_).close();
  }

  Stream stream_;
  std::shared_ptr<HttpServer::State> server_;
  beast::flat_buffer buffer_;
  std::optional<http::request_parser<http::string_body>> parser_;
  bool shut_ = false;
};

// Out of descriptors (or of kernel memory) the connection stays queued and
// each new try fails at once: trying again without a pause would spin the
// I/O thread that the polling needs.
bool short_of_descriptors(const beast::error_code& ec) {
  namespace errc = boost::system::errc;
  return ec == errc::too_many_files_open || ec == errc::too_many_files_open_in_system ||
         ec == errc::no_buffer_space || ec == errc::not_enough_memory;
}

void accept(const std::shared_ptr<HttpServer::State>& server) {
  server->acceptor.async_accept([server](beast::error_code ec, tcp::socket socket) {
    if (server->stopped) return;
    if (short_of_descriptors(ec)) {
      server->retry.expires_after(server->short_of_descriptors.next());
      server->retry.async_wait([server](beast::error_code e) {
        if (!e && !server->stopped) accept(server);
      });
      return;
    }
    server->short_of_descriptors.reset();
    if (!ec) {
      if (server->open < server->limits.connections) {
        if (server->access.tls) {
          using Tls = beast::ssl_stream<beast::tcp_stream>;
          std::make_shared<Session<Tls>>(
              Tls(beast::tcp_stream(std::move(socket)), *server->access.tls), server)
              ->start();
        } else {
          std::make_shared<Session<beast::tcp_stream>>(beast::tcp_stream(std::move(socket)), server)
              ->start();
        }
      } else {
        // One try, without waiting: a full house is told so and let go.
        static const char busy[] =
            "HTTP/1.1 503 Service Unavailable\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
        socket.non_blocking(true, ec);
        socket.write_some(boost::asio::buffer(busy, sizeof busy - 1), ec);
        socket.close(ec);
      }
    }
    accept(server);
  });
}

}  // namespace

HttpServer::HttpServer(boost::asio::io_context& io, const tcp::endpoint& at, Handler handler,
                       HttpLimits limits)
    : HttpServer(
          io, at,
          [h = std::move(handler)](const HttpRequest& r, Respond respond) { respond(h(r.path)); },
          limits, {}) {}

HttpServer::HttpServer(boost::asio::io_context& io, const tcp::endpoint& at, RequestHandler handler,
                       HttpLimits limits, HttpAccess access)
    : state_(std::make_shared<State>(io, std::move(handler), limits, std::move(access))) {
  tcp::acceptor& a = state_->acceptor;
  a.open(at.protocol());
  a.set_option(tcp::acceptor::reuse_address(true));
  a.bind(at);
  a.listen();
}

HttpServer::~HttpServer() = default;

tcp::endpoint HttpServer::local_endpoint() const { return state_->acceptor.local_endpoint(); }

void HttpServer::start() { accept(state_); }

void HttpServer::stop() {
  state_->stopped = true;
  beast::error_code ec;
  state_->acceptor.close(ec);
  state_->retry.cancel();
}

tcp::endpoint parse_endpoint(const std::string& text) {
  const size_t colon = text.rfind(':');
  if (colon == std::string::npos || colon == 0)
    throw std::invalid_argument("expected ADDR:PORT, such as 127.0.0.1:8080, got " + text);
  std::string host = text.substr(0, colon);
  if (host.size() > 2 && host.front() == '[' && host.back() == ']')
    host = host.substr(1, host.size() - 2);
  boost::system::error_code ec;
  const auto address = boost::asio::ip::make_address(host, ec);
  if (ec) throw std::invalid_argument("expected an IP address before the port, got " + host);
  const std::string port = text.substr(colon + 1);
  if (port.empty() || port.size() > 5 ||
      port.find_first_not_of("0123456789") != std::string::npos || std::stoul(port) > 65535)
    throw std::invalid_argument("expected a port from 0 to 65535, got " + port);
  return {address, static_cast<unsigned short>(std::stoul(port))};
}

}  // namespace kplhost
