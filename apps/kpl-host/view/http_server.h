// A small read-only HTTP server on the host's own I/O thread (Boost.Beast):
// GET and HEAD only, every limit bounded (connections, header size, idle and
// write time), so that no client, however slow or hostile, holds anything
// the polling needs. It has no authentication: bind it to loopback or a
// management network.
#pragma once

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>

namespace kplhost {

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
};

struct HttpRequest {
  std::string path;
  // What follows the '?' of the target, as sent.
  std::string query;
};

struct HttpLimits {
  std::size_t connections = 32;
  std::size_t header_bytes = 8192;
  // A connection that sends no complete request, or does not take a reply,
  // within this long is closed.
  std::chrono::seconds idle{10};
  std::chrono::seconds write{10};
};

class HttpServer {
 public:
  // Takes the reply to a request, once, from any thread: a handler answers
  // at once, or hands it to a thread of its own that answers later. The
  // reply is sent from the I/O thread.
  using Reply = std::function<void(HttpReply)>;
  // Answers a GET (HEAD gets the same headers without the body).
  using Handler = std::function<void(const HttpRequest& request, Reply reply)>;

  // Listens at once; throws boost::system::system_error when it cannot.
  HttpServer(boost::asio::io_context& io, const boost::asio::ip::tcp::endpoint& at, Handler handler,
             HttpLimits limits = {});
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
