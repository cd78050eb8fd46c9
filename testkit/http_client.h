// A blocking HTTP/1.1 client for tests (Boost.Beast): one request on a new
// loopback connection, the whole answer back.
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
