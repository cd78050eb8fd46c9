#include "apps/kpl-host/view/http_server.h"

#include <boost/asio/ip/address.hpp>
#include <boost/asio/post.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/http/empty_body.hpp>
#include <boost/beast/http/parser.hpp>
#include <boost/beast/http/read.hpp>
#include <boost/beast/http/string_body.hpp>
#include <boost/beast/http/write.hpp>
#include <optional>
#include <stdexcept>

namespace kplhost {

namespace beast = boost::beast;
namespace http = boost::beast::http;
using boost::asio::ip::tcp;

struct HttpServer::State {
  State(boost::asio::io_context& io, Handler h, HttpLimits l)
      : acceptor(io), handler(std::move(h)), limits(l) {}
  tcp::acceptor acceptor;
  Handler handler;
  HttpLimits limits;
  std::size_t open = 0;
  bool stopped = false;
};

namespace {

const char* reason(int status) {
  switch (status) {
    case 200:
      return "OK";
    case 400:
      return "Bad Request";
    case 404:
      return "Not Found";
    case 500:
      return "Internal Server Error";
    case 405:
      return "Method Not Allowed";
    case 431:
      return "Request Header Fields Too Large";
    case 503:
      return "Service Unavailable";
    default:
      return "Error";
  }
}

class Session : public std::enable_shared_from_this<Session> {
 public:
  Session(tcp::socket socket, std::shared_ptr<HttpServer::State> server)
      : stream_(std::move(socket)),
        server_(std::move(server)),
        buffer_(server_->limits.header_bytes) {
    ++server_->open;
  }
  ~Session() { --server_->open; }

  void read() {
    parser_.emplace();
    parser_->header_limit(static_cast<std::uint32_t>(server_->limits.header_bytes));
    parser_->body_limit(0);
    stream_.expires_after(server_->limits.idle);
    http::async_read(
        stream_, buffer_, *parser_,
        [self = shared_from_this()](beast::error_code ec, std::size_t) { self->received(ec); });
  }

 private:
  void received(beast::error_code ec) {
    if (ec == http::error::end_of_stream || ec == beast::error::timeout || server_->stopped)
      return close();
    if (ec == http::error::header_limit || ec == http::error::buffer_overflow)
      return answer({431, "text/plain; charset=utf-8", "request header too large\n"}, false, false);
    // A body is refused once the header is read: for what the method is
    // first, then for the body itself.
    if (ec && ec != http::error::body_limit) return close();
    const auto& req = parser_->get();
    const bool head = req.method() == http::verb::head;
    if (req.method() != http::verb::get && !head)
      return answer({405, "text/plain; charset=utf-8", "only GET and HEAD\n"}, false,
                    !ec && req.keep_alive());
    if (ec)
      return answer({400, "text/plain; charset=utf-8", "requests carry no body here\n"}, false,
                    false);
    HttpRequest request{std::string(req.target()), {}};
    const size_t query = request.path.find('?');
    if (query != std::string::npos) {
      request.query = request.path.substr(query + 1);
      request.path.erase(query);
    }
    // The reply may come from another thread: it is posted to this one,
    // and the session waits for it, reading nothing meanwhile.
    auto self = shared_from_this();
    server_->handler(request, [self, head, keep = req.keep_alive()](HttpReply reply) {
      boost::asio::post(self->stream_.get_executor(),
                        [self, head, keep, reply = std::move(reply)]() mutable {
                          self->answer(std::move(reply), head, keep);
                        });
    });
  }

  void answer(HttpReply reply, bool head, bool keep_alive) {
    auto res = std::make_shared<http::response<http::string_body>>();
    res->result(static_cast<unsigned>(reply.status));
    res->reason(reason(reply.status));
    res->version(11);
    res->set(http::field::server, "kpl-host");
    res->set(http::field::content_type, reply.content_type);
    res->set(http::field::cache_control, "no-store");
    if (reply.status == 405) res->set(http::field::allow, "GET, HEAD");
    if (!reply.filename.empty())
      res->set(http::field::content_disposition, "attachment; filename=\"" + reply.filename + "\"");
    res->keep_alive(keep_alive);
    res->content_length(reply.body.size());
    if (!head) res->body() = std::move(reply.body);
    stream_.expires_after(server_->limits.write);
    http::async_write(
        stream_, *res,
        [self = shared_from_this(), res, keep_alive](beast::error_code ec, std::size_t) {
          if (ec || !keep_alive || self->server_->stopped) return self->close();
          self->read();
        });
  }

  void close() {
    beast::error_code ec;
    stream_.socket().shutdown(tcp::socket::shutdown_both, ec);
    stream_.close();
  }

  beast::tcp_stream stream_;
  std::shared_ptr<HttpServer::State> server_;
  beast::flat_buffer buffer_;
  std::optional<http::request_parser<http::empty_body>> parser_;
};

void accept(const std::shared_ptr<HttpServer::State>& server) {
  server->acceptor.async_accept([server](beast::error_code ec, tcp::socket socket) {
    if (server->stopped) return;
    if (!ec) {
      if (server->open < server->limits.connections) {
        std::make_shared<Session>(std::move(socket), server)->read();
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
    : state_(std::make_shared<State>(io, std::move(handler), limits)) {
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
