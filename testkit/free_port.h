// A loopback TCP port that nothing listens on at the moment: for servers a
// test starts that cannot take port 0 and say which port they got.
#pragma once

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

inline unsigned short free_port() {
  const int s = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
  ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
  ::close(s);
  return ntohs(a.sin_port);
}
