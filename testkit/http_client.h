// Blocking HTTP/1.1 clients for tests: one request on a new loopback
// connection (Boost.Beast), the whole answer back; and raw bytes, for
// clients that misbehave.
#pragma once

#include <string>
#include <utility>
#include <vector>

struct HttpAnswer {
  int status = 0;
  std::string content_type;
  std::string body;
  std::string www_authenticate;
};

// Throws boost::system::system_error when the server cannot be reached.
HttpAnswer http_request(unsigned short port, const std::string& target,
                        const std::string& method = "GET");
// The same with more header fields and a body (sent as a form when the
// fields name no Content-Type).
HttpAnswer http_request(unsigned short port, const std::string& target, const std::string& method,
                        const std::vector<std::pair<std::string, std::string>>& fields,
                        const std::string& body = "");
// "Basic ..." for a user and password.
std::string basic_authorization(const std::string& user, const std::string& password);

// A connection to the loopback port, or -1; a read on it gives up after 10 s.
int connect_loopback(unsigned short port);
// All that comes on the connection until the server closes it.
std::string read_to_end(int s);
// Sends request as it is on a new connection and returns all that comes back
// until the server closes it.
std::string raw_exchange(unsigned short port, const std::string& request);
