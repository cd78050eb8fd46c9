#include "testkit/net_cut.h"

#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>

namespace {

void run(const std::string& command) {
  if (std::system((command + " >/dev/null 2>&1").c_str()) != 0)
    throw std::runtime_error("network cut: failed: " + command);
}

}  // namespace

NetworkCut::NetworkCut() {
  home_ = ::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
  if (home_ < 0 || ::unshare(CLONE_NEWNET) != 0)
    throw std::runtime_error("network cut: cannot make a network namespace (root is needed)");
  run("ip link set lo up");
  run("nft add table inet kpltest");
  run("nft add chain inet kpltest in '{ type filter hook input priority 0; }'");
}

NetworkCut::~NetworkCut() {
  if (home_ >= 0) {
    ::setns(home_, CLONE_NEWNET);
    ::close(home_);
  }
}

void NetworkCut::cut(unsigned short port) {
  const std::string p = std::to_string(port);
  run("nft add rule inet kpltest in tcp dport " + p + " drop");
  run("nft add rule inet kpltest in tcp sport " + p + " drop");
}

void NetworkCut::heal() { run("nft flush chain inet kpltest in"); }
