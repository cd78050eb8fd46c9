// A small HTTP server on the host's own I/O thread (Boost.Beast), plain or
// over TLS: GET and HEAD, and POST of a small form when writes are allowed;
// every limit bounded (connections, header and form size, idle and write
// time), so that no client, however slow or hostile, holds anything the
// polling needs. With a login every request must carry the password of a
// configured user (HTTP basic authentication); without one the endpoint
// has no authentication: bind it to loopback or a management network.
#pragma once

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace boost::asio::ssl {
class context;
}

namespace kplhost {

class Login;

struct HttpReply {
  HttpReply() = default;
  HttpReply(int s, std::string type, std::string b, std::string download = {})
      : status(s),
        content_type(std::move(type)),
        body(std::move(b)),
        filename(std::move(download)) {}

  int status = 200;
  std::string content_type = "text/plain; charset=utf-8";
  std::string body;
  // When set, the body is offered as a download of that name.
  std::string filename;
  // More header fields, such as WWW-Authenticate.
  std::vector<std::pair<std::string, std::string>> headers = {};
};

struct HttpRequest {
  // GET, HEAD or POST.
  std::string method;
  std::string path;
  // What follows the ? of the target, undecoded.
  std::string query;
  std::string body;
  std::string content_type;
  // What tells a request from another site's page: the Host it was sent
  // to, the Origin of the page that sent it, and Sec-Fetch-Site.
  std::string host, origin, fetch_site;
  // The user it was made as, with a login; empty without one.
  std::string user;
};

// Answers a request, once, from any thread.
using Respond = std::function<void(HttpReply)>;

struct HttpLimits {
  std::size_t connections = 32;
  std::size_t header_bytes = 8192;
  // A connection that sends no complete request, or does not take a reply,
  // within this long is closed.
  std::chrono::milliseconds idle{10000};
  std::chrono::milliseconds write{10000};
};

// How the endpoint is entered.
struct HttpAccess {
  // TLS with this context; none: plain HTTP.
  std::shared_ptr<boost::asio::ssl::context> tls;
  // Every request checked against it; none: no authentication.
  std::shared_ptr<Login> login;
  // Whether POST reaches the handler; otherwise it gets 405.
  bool writes = false;
};

class HttpServer {
 public:
  // Answers a GET for a path (HEAD gets the same headers without the body).
  using Handler = std::function<HttpReply(const std::string& path)>;
  // Answers any request the server lets through, now or later.
  using RequestHandler = std::function<void(const HttpRequest&, Respond)>;
  // The same, as handlers that answer later name it.
  using Reply = Respond;

  // Listen at once; throw boost::system::system_error when they cannot.
  HttpServer(boost::asio::io_context& io, const boost::asio::ip::tcp::endpoint& at, Handler handler,
             HttpLimits limits = {});
  HttpServer(boost::asio::io_context& io, const boost::asio::ip::tcp::endpoint& at,
             RequestHandler handler, HttpLimits limits, HttpAccess access);
  ~HttpServer();
  boost::asio::ip::tcp::endpoint local_endpoint() const;
  void start();
  // Call on the I/O thread.
  void stop();

  struct State;

 private:
  std::shared_ptr<State> state_;
};

// "ADDR:PORT" (an IPv6 address in brackets) as an endpoint; throws
// std::invalid_argument saying what is wrong.
boost::asio::ip::tcp::endpoint parse_endpoint(const std::string& text);

}  // namespace kplhost
