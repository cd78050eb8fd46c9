// A blocking HTTP/1.1 client for tests (Boost.Beast): one request on a new
// loopback connection, the whole answer back.
#pragma once

#include <string>

struct HttpAnswer {
  int status = 0;
  std::string content_type;
  std::string body;
};

// Throws boost::system::system_error when the server cannot be reached.
HttpAnswer http_request(unsigned short port, const std::string& target,
                        const std::string& method = "GET");
