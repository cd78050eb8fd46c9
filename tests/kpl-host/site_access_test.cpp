// Who may do what at the endpoint, served in-process on the test's own I/O
// thread: without a login every write is refused; with one, every path asks
// for it, a wrong password waits for its answer on a timer while others are
// answered, and is counted; a write needs the form token of the endpoint's
// own page and no sign of another site.

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

#include "apps/kpl-host/view/login.h"
#include "apps/kpl-host/view/status_routes.h"
#include "testkit/http_client.h"
#include "testkit/json_text.h"

namespace {

using namespace kplhost;
using namespace std::chrono_literals;

// bcrypt of "right horse", cost 4.
const char* const alice_hash = "$2y$04$o97sB/VrwbvnpkYk/d.hzexIMZ6x7PdHgur8MxZHo8gWRR2i0TlP2";

class FakeRecords final : public AlarmRecords {
 public:
  AlarmLogPage page(const AlarmLogQuery&) override { return {}; }
  std::vector<ListedAlarm> acknowledge(const DeviceSlot& slot, long long seq,
                                       const std::string& by) override {
    acknowledged.push_back(std::to_string(slot.config.device_number) + " " + std::to_string(seq) +
                           " " + by);
    return {ListedAlarm{}};
  }
  std::vector<std::string> acknowledged;
};

class SiteAccess : public ::testing::Test {
 protected:
  using Fields = std::vector<std::pair<std::string, std::string>>;

  void start(bool login) {
    DeviceConfig c;
    c.device_number = 7;
    registry.add(c);
    HttpAccess access;
    if (login) {
      access.login = std::make_shared<Login>(
          io, std::map<std::string, std::string>{{"alice", alice_hash}}, threads, 300ms);
      access.writes = true;
    }
    const StatusRoutes routes(
        registry, [] { return OutputsStatus(); },
        {&records, [](std::function<void()> task) { task(); }, access.login, false});
    server = std::make_unique<HttpServer>(
        io, boost::asio::ip::tcp::endpoint(boost::asio::ip::make_address("127.0.0.1"), 0),
        [routes](const HttpRequest& r, const Respond& respond) { routes.handle(r, respond); },
        HttpLimits{}, access);
    port = server->local_endpoint().port();
    server->start();
    thread = std::thread([this] { io.run(); });
  }
  void TearDown() override {
    boost::asio::post(io, [this] {
      server->stop();
      io.stop();
    });
    if (thread.joinable()) thread.join();
  }
  HttpAnswer as(const std::string& password, const std::string& target,
                const std::string& method = "GET", Fields more = {}, const std::string& body = "") {
    more.emplace_back("Authorization", basic_authorization("alice", password));
    return http_request(port, target, method, more, body);
  }
  ThreadGuard threads;
  boost::asio::io_context io;
  DeviceRegistry registry;
  FakeRecords records;
  std::unique_ptr<HttpServer> server;
  unsigned short port = 0;
  std::thread thread;
};

TEST_F(SiteAccess, WithoutALoginEveryWriteIsRefused) {
  start(false);
  for (const char* method : {"POST", "PUT", "DELETE", "PATCH"})
    EXPECT_EQ(http_request(port, "/api/acknowledge", method, {}, "device=7").status, 405) << method;
  EXPECT_EQ(http_request(port, "/api/acknowledge").status, 405);
  const Json::Value session = json_of(http_request(port, "/api/session").body);
  EXPECT_FALSE(session["acknowledge"].asBool());
  EXPECT_TRUE(session["user"].isNull());
  EXPECT_EQ(http_request(port, "/").status, 200);
  EXPECT_TRUE(records.acknowledged.empty());
}

TEST_F(SiteAccess, EveryPathAsksForTheLoginAndAWrongPasswordWaitsOnATimer) {
  start(true);
  for (const char* path : {"/", "/api/devices", "/metrics", "/api/alarms"}) {
    const HttpAnswer a = http_request(port, path);
    EXPECT_EQ(a.status, 401) << path;
    EXPECT_EQ(a.www_authenticate, "Basic realm=\"kpl-host\", charset=\"UTF-8\"");
  }
  const auto started = std::chrono::steady_clock::now();
  auto wrong = std::async(std::launch::async, [&] {
    const HttpAnswer a = as("wrong horse", "/api/acknowledge", "POST", {}, "device=7");
    return std::make_pair(a.status, std::chrono::steady_clock::now() - started);
  });
  // The I/O thread goes on meanwhile.
  EXPECT_EQ(as("right horse", "/api/devices").status, 200);
  const auto right_after = std::chrono::steady_clock::now() - started;
  const auto [status, waited] = wrong.get();
  EXPECT_EQ(status, 401);
  EXPECT_GE(waited, 300ms);
  EXPECT_LT(right_after, waited);
  EXPECT_EQ(as("", "/").status, 401);
  EXPECT_NE(as("right horse", "/metrics").body.find("kpl_http_login_failures_total 2"),
            std::string::npos);
  EXPECT_TRUE(records.acknowledged.empty());
}

TEST_F(SiteAccess, AWriteNeedsTheFormTokenOfThisSitesPage) {
  start(true);
  const Json::Value session = json_of(as("right horse", "/api/session").body);
  EXPECT_EQ(session["user"], "alice");
  EXPECT_TRUE(session["acknowledge"].asBool());
  const std::string token = session["token"].asString();
  const std::string own = "http://127.0.0.1:" + std::to_string(port);
  const std::string form = "device=7&alarm=4&token=" + token;
  EXPECT_EQ(as("right horse", "/api/acknowledge", "POST", {}, "device=7&alarm=4").status, 403);
  EXPECT_EQ(as("right horse", "/api/acknowledge", "POST", {{"Origin", "http://evil.example"}},
               "device=7&alarm=4")
                .status,
            403);
  EXPECT_EQ(as("right horse", "/api/acknowledge", "POST", {{"Origin", "http://evil.example"}}, form)
                .status,
            403);
  EXPECT_EQ(as("right horse", "/api/acknowledge", "POST", {{"Sec-Fetch-Site", "cross-site"}}, form)
                .status,
            403);
  EXPECT_EQ(as("right horse", "/api/acknowledge", "POST", {}, "device=7&token=bad").status, 403);
  EXPECT_TRUE(records.acknowledged.empty());
  EXPECT_EQ(as("right horse", "/api/acknowledge", "POST", {}, "device=8&token=" + token).status,
            404);
  EXPECT_EQ(as("right horse", "/api/acknowledge", "POST", {}, "device=x&token=" + token).status,
            400);
  EXPECT_EQ(as("right horse", "/api/acknowledge", "POST", {}, std::string(5000, 'a')).status, 413);
  const HttpAnswer done = as("right horse", "/api/acknowledge", "POST",
                             {{"Origin", own}, {"Sec-Fetch-Site", "same-origin"}}, form);
  EXPECT_EQ(done.status, 200);
  EXPECT_EQ(done.body, "{\"acknowledged\":1}\n");
  EXPECT_EQ(records.acknowledged, std::vector<std::string>{"7 4 alice"});
}

}  // namespace
