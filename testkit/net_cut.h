// A network of the test's own: the calling thread (and every thread and
// process it starts from then on) moves into a new network namespace with
// its loopback up, where packets to and from a port can be dropped silently,
// as a cut uplink drops them, and let through again. Needs root; the
// namespace goes with the test's threads, and the thread returns to the
// namespace it came from.
#pragma once

#include <string>

class NetworkCut {
 public:
  // Throws std::runtime_error when no namespace can be made (no root).
  NetworkCut();
  ~NetworkCut();
  NetworkCut(const NetworkCut&) = delete;
  NetworkCut& operator=(const NetworkCut&) = delete;

  // Drops every TCP packet to or from the port, in both directions.
  void cut(unsigned short port);
  // Lets everything through again.
  void heal();

 private:
  int home_ = -1;
};
