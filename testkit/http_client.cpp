#include "testkit/http_client.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <boost/asio/connect.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/http/read.hpp>
#include <boost/beast/http/string_body.hpp>
#include <boost/beast/http/write.hpp>

namespace http = boost::beast::http;
using boost::asio::ip::tcp;

HttpAnswer http_request(unsigned short port, const std::string& target, const std::string& method) {
  return http_request(port, target, method, {});
}

HttpAnswer http_request(unsigned short port, const std::string& target, const std::string& method,
                        const std::vector<std::pair<std::string, std::string>>& fields,
                        const std::string& body) {
  boost::asio::io_context io;
  tcp::socket socket(io);
  socket.connect({boost::asio::ip::make_address("127.0.0.1"), port});
  http::request<http::string_body> req(http::string_to_verb(method), target, 11);
  if (req.method() == http::verb::unknown) req.method_string(method);
  req.set(http::field::host, "127.0.0.1:" + std::to_string(port));
  req.keep_alive(false);
  if (!body.empty()) req.set(http::field::content_type, "application/x-www-form-urlencoded");
  for (const auto& [name, value] : fields) req.set(name, value);
  req.body() = body;
  if (!body.empty()) req.prepare_payload();
  http::write(socket, req);
  boost::beast::flat_buffer buffer;
  http::response_parser<http::string_body> parser;
  parser.body_limit(64 * 1024 * 1024);
  // The answer to HEAD has a length but no body.
  if (req.method() == http::verb::head) parser.skip(true);
  http::read(socket, buffer, parser);
  const auto& res = parser.get();
  return {static_cast<int>(res.result_int()), std::string(res[http::field::content_type]),
          res.body(), std::string(res[http::field::www_authenticate])};
}

std::string basic_authorization(const std::string& user, const std::string& password) {
  static const char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  const std::string in = user + ":" + password;
  std::string out = "Basic ";
  for (size_t i = 0; i < in.size(); i += 3) {
    const size_t n = std::min<size_t>(3, in.size() - i);
    unsigned bits = 0;
    for (size_t k = 0; k < 3; ++k)
      bits = bits << 8 | (k < n ? static_cast<unsigned char>(in[i + k]) : 0u);
    for (size_t k = 0; k < 4; ++k) out += k <= n ? digits[bits >> (18 - 6 * k) & 63] : '=';
  }
  return out;
}

int connect_loopback(unsigned short port) {
  const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(port);
  const timeval limit{10, 0};
  ::setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  return ::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 ? s : (::close(s), -1);
}

std::string raw_exchange(unsigned short port, const std::string& request) {
  const int s = connect_loopback(port);
  if (s < 0) return {};
  // A server that refuses the request early may close before all is sent.
  (void)::send(s, request.data(), request.size(), MSG_NOSIGNAL);
  const std::string answer = read_to_end(s);
  ::close(s);
  return answer;
}

std::string read_to_end(int s) {
  std::string all;
  char buf[4096];
  for (ssize_t n; (n = ::recv(s, buf, sizeof buf, 0)) > 0;) all.append(buf, static_cast<size_t>(n));
  return all;
}
