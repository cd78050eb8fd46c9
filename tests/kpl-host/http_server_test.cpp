// The status server on an event loop of the test's own: every limit answers
// as it should, and no client, however it behaves, holds the loop that the
// polling shares; out of descriptors, the accept loop waits instead of
// spinning.

#include "apps/kpl-host/view/http_server.h"

#include <gtest/gtest.h>
#include <pthread.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <fstream>
#include <future>
#include <thread>

#include "apps/kpl-host/view/status_routes.h"
#include "testkit/http_client.h"
#include "testkit/process.h"

namespace {

using namespace std::chrono_literals;
using namespace kplhost;

class StatusServer : public ::testing::Test {
 protected:
  void serve(HttpLimits limits = {}) {
    server = std::make_unique<HttpServer>(
        io, boost::asio::ip::tcp::endpoint{boost::asio::ip::make_address("127.0.0.1"), 0},
        [this](const std::string& path) {
          // An answer larger than the socket buffers hold.
          if (path == "/big") return HttpReply{200, "text/plain", std::string(256 * 1024, 'x')};
          return routes(path);
        },
        limits);
    server->start();
    port = server->local_endpoint().port();
    loop = std::thread([this] { io.run(); });
  }
  void TearDown() override {
    if (!server) return;
    boost::asio::post(io, [this] {
      server->stop();
      io.stop();
    });
    if (loop.joinable()) loop.join();
  }
  // Whether a handler posted to the loop runs within the limit.
  bool loop_runs(std::chrono::milliseconds limit) {
    auto ran = std::make_shared<std::promise<void>>();
    boost::asio::post(io, [ran] { ran->set_value(); });
    return ran->get_future().wait_for(limit) == std::future_status::ready;
  }

  boost::asio::io_context io;
  DeviceRegistry registry;
  StatusRoutes routes{registry, [] { return OutputsStatus{}; }};
  std::unique_ptr<HttpServer> server;
  unsigned short port = 0;
  std::thread loop;
};

// The status line of an answer.
std::string head_of(const std::string& answer) { return answer.substr(0, answer.find("\r\n")); }

TEST_F(StatusServer, AnswersAndRefusals) {
  serve();
  struct Case {
    std::string request;
    std::string status;
    bool allow;
  };
  const std::string closing = " HTTP/1.1\r\nHost: x\r\nConnection: close\r\n";
  const Case cases[] = {
      {"GET /" + closing + "\r\n", "HTTP/1.1 200 OK", false},
      {"GET /metrics?from=prometheus" + closing + "\r\n", "HTTP/1.1 200 OK", false},
      {"GET /" + closing + "X-Big: " + std::string(1 << 20, 'a') + "\r\n\r\n",
       "HTTP/1.1 431 Request Header Fields Too Large", false},
      {"DELETE /metrics" + closing + "\r\n", "HTTP/1.1 405 Method Not Allowed", true},
      {"BREW /pot" + closing + "\r\n", "HTTP/1.1 405 Method Not Allowed", true},
      {"POST /api/devices" + closing + "Content-Length: 2\r\n\r\n{}",
       "HTTP/1.1 405 Method Not Allowed", true},
      {"GET /" + closing + "Content-Length: 2\r\n\r\n{}", "HTTP/1.1 400 Bad Request", false},
      {"GET /../etc/passwd" + closing + "\r\n", "HTTP/1.1 404 Not Found", false},
      // Not HTTP: the connection ends without an answer.
      {"this is not http\r\n\r\n", "", false},
  };
  for (const Case& c : cases) {
    const std::string answer = raw_exchange(port, c.request);
    EXPECT_EQ(head_of(answer), c.status) << c.request.substr(0, 40);
    EXPECT_EQ(answer.find("\r\nAllow: GET, HEAD\r\n") != std::string::npos, c.allow);
  }
  const HttpAnswer missing = http_request(port, "/nothing");
  EXPECT_EQ(missing.body, "not found; try /, /api/devices, /api/alarms, /api/trend or /metrics\n");
  // HEAD: the headers of GET, without the body.
  const std::string head = raw_exchange(port, "HEAD /api/devices" + closing + "\r\n");
  EXPECT_EQ(head_of(head), "HTTP/1.1 200 OK");
  EXPECT_NE(head.find("\r\nContent-Length: 3\r\n"), std::string::npos) << head;
  EXPECT_EQ(head.substr(head.size() - 4), "\r\n\r\n");
}

TEST_F(StatusServer, PastTheConnectionCapTheNextIsTold503) {
  HttpLimits limits;
  limits.connections = 2;
  serve(limits);
  // Each held open after an answer, so the server has surely taken it.
  int held[2];
  for (int& s : held) {
    s = connect_loopback(port);
    const std::string head = "HEAD / HTTP/1.1\r\nHost: x\r\n\r\n";
    ASSERT_EQ(::send(s, head.data(), head.size(), MSG_NOSIGNAL), ssize_t(head.size()));
    std::string answer;
    char buf[512];
    for (ssize_t n;
         answer.find("\r\n\r\n") == std::string::npos && (n = ::recv(s, buf, sizeof buf, 0)) > 0;)
      answer.append(buf, static_cast<size_t>(n));
    ASSERT_EQ(head_of(answer), "HTTP/1.1 200 OK");
  }
  const std::string get = "GET / HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n";
  EXPECT_EQ(head_of(raw_exchange(port, get)), "HTTP/1.1 503 Service Unavailable");
  // One let go: room again.
  ::close(held[0]);
  EXPECT_TRUE(
      eventually([&] { return head_of(raw_exchange(port, get)) == "HTTP/1.1 200 OK"; }, 10s));
  ::close(held[1]);
}

TEST_F(StatusServer, IdleConnectionIsClosedAtItsLimit) {
  HttpLimits limits;
  limits.idle = 200ms;
  serve(limits);
  const int s = connect_loopback(port);
  const auto start = std::chrono::steady_clock::now();
  char byte;
  // Nothing sent: the server ends the connection, well before the read's
  // own limit of 10 s.
  EXPECT_EQ(::recv(s, &byte, 1, 0), 0);
  const auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_GE(waited, 150ms);
  EXPECT_LT(waited, 5s);
  ::close(s);
}

long resident_kib() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  return -1;
}

// Clients that hold connections, send too much and read too slowly: the
// loop still runs everything else (for the host, its polling), others are
// still answered, and memory stays bounded.
TEST_F(StatusServer, HostileClientsHoldNothingTheLoopNeeds) {
  serve();
  const long rss_before = resident_kib();
  std::vector<int> idle;
  for (int i = 0; i < 30; ++i) idle.push_back(connect_loopback(port));
  const int slow = connect_loopback(port);
  const int small = 1024;
  ::setsockopt(slow, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
  const std::string get = "GET /big HTTP/1.1\r\nHost: x\r\n\r\n";
  ASSERT_EQ(::send(slow, get.data(), get.size(), MSG_NOSIGNAL), ssize_t(get.size()));
  char byte;
  ASSERT_EQ(::recv(slow, &byte, 1, 0), 1);
  EXPECT_EQ(head_of(raw_exchange(port, "GET / HTTP/1.1\r\nHost: x\r\nX-Big: " +
                                           std::string(1 << 20, 'a') + "\r\n\r\n")),
            "HTTP/1.1 431 Request Header Fields Too Large");
  // Rounds of the loop go on while the slow reader holds its answer.
  for (int round = 0; round < 20; ++round) ASSERT_TRUE(loop_runs(1s)) << round;
  EXPECT_EQ(http_request(port, "/api/devices").status, 200);
  const long grown = resident_kib() - rss_before;
  std::printf("hostile clients: resident memory grew by %ld KiB\n", grown);
#ifdef QLT_SANITIZED
  EXPECT_LT(grown, 32768);
#else
  EXPECT_LT(grown, 8192);
#endif
  for (int s : idle) ::close(s);
  ::close(slow);
}

// Thread CPU time of the loop's thread.
std::chrono::microseconds cpu_of(std::thread& t) {
  clockid_t clock;
  timespec ts{};
  if (pthread_getcpuclockid(t.native_handle(), &clock) != 0 || clock_gettime(clock, &ts) != 0)
    return {};
  return std::chrono::seconds(ts.tv_sec) + std::chrono::duration_cast<std::chrono::microseconds>(
                                               std::chrono::nanoseconds(ts.tv_nsec));
}

TEST_F(StatusServer, OutOfDescriptorsTheAcceptLoopWaits) {
#ifdef __SANITIZE_ADDRESS__
  GTEST_SKIP() << "the sanitizers' own checks need descriptors, and take none as a fault";
#endif
  serve();
  const int waiting = connect_loopback(port);
  ASSERT_GE(waiting, 0);
  // Every descriptor the process may have taken, until the test gives them back.
  rlimit old{};
  ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &old), 0);
  rlimit low = old;
  low.rlim_cur = std::min<rlim_t>(256, old.rlim_max);
  ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &low), 0);
  std::vector<int> taken;
  for (int fd; (fd = ::dup(waiting)) >= 0;) taken.push_back(fd);
  ASSERT_EQ(errno, EMFILE);

  const auto cpu_before = cpu_of(loop);
  const std::string get = "GET / HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n";
  ASSERT_EQ(::send(waiting, get.data(), get.size(), MSG_NOSIGNAL), ssize_t(get.size()));
  // Half a second of a connection that cannot be taken: a loop that spins
  // burns it all.
  boost::asio::steady_timer window(io, 500ms);
  std::promise<void> over;
  window.async_wait([&](const boost::system::error_code&) { over.set_value(); });
  ASSERT_EQ(over.get_future().wait_for(5s), std::future_status::ready);
  const auto cpu = cpu_of(loop) - cpu_before;
  std::printf("out of descriptors: %lld us of CPU in 500 ms\n",
              static_cast<long long>(cpu.count()));
  EXPECT_LT(cpu.count(), 50000);

  for (int fd : taken) ::close(fd);
  ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &old), 0);
  // Taken at the next try, within the longest wait of a second.
  EXPECT_EQ(head_of(read_to_end(waiting)), "HTTP/1.1 200 OK");
  ::close(waiting);
}

}  // namespace
