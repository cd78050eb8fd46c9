// What a tool the project did not write makes of the endpoint, served
// in-process: openssl s_client checks its TLS and reads an answer through
// it. promtool checks the golden metrics (tests/kpl-host), whose device
// names and locations carry quotes, backslashes and Chinese text.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <boost/asio/ip/address.hpp>
#include <boost/asio/post.hpp>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "apps/kpl-host/view/status_routes.h"
#include "apps/kpl-host/view/web_access.h"
#include "testkit/http_client.h"
#include "testkit/process.h"
#include "testkit/temp_path.h"

namespace {

using namespace kplhost;

// bcrypt of "right horse", cost 4.
const char* const alice_hash = "$2y$04$o97sB/VrwbvnpkYk/d.hzexIMZ6x7PdHgur8MxZHo8gWRR2i0TlP2";

// Runs a shell command with its output in a file; returns the exit status
// and leaves the output in `out`.
int run(const std::string& command, std::string& out) {
  const std::string file = unique_temp_path(".out");
  const int status = std::system((command + " >'" + file + "' 2>&1").c_str());
  out = read_text(file);
  std::remove(file.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

DeviceRegistry& named_devices(DeviceRegistry& registry) {
  const char* names[][2] = {{"UPS \"A\" \\ 电池柜", "机房 \"2\" \\ 北"}, {"空调 3", "Row\\B"}};
  for (unsigned int i = 0; i < 2; ++i) {
    DeviceConfig c;
    c.device_number = 7 + i;
    c.name = names[i][0];
    c.location = names[i][1];
    c.thresholds["temperature_1_value"] = {5.0, 35.0};
    DeviceSlot& slot = registry.add(c);
    const rule_value r{rule_alarm, "QLT_0", "市电输入告警",     15,
                       1,          "02401", "Number_1_\"UPS\"", rule_in_alarm};
    slot.view.update(1, {r});
  }
  return registry;
}

TEST(OutsideTools, OpensslChecksTheTlsAndReadsAnAnswerThroughIt) {
  const std::string dir = unique_temp_path("-tls");
  std::string out;
  ASSERT_EQ(run("mkdir -p '" + dir + "' && cd '" + dir +
                    "' && openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes "
                    "-keyout web.key -out web.crt -days 2 -subj /CN=127.0.0.1 "
                    "-addext subjectAltName=IP:127.0.0.1",
                out),
            0)
      << out;
  std::ofstream(dir + "/web.yml")
      << "tls_server_config:\n  cert_file: web.crt\n  key_file: web.key\n"
      << "basic_auth_users:\n  alice: " << alice_hash << "\n";
  ThreadGuard threads;
  boost::asio::io_context io;
  DeviceRegistry registry;
  named_devices(registry);
  const std::string path = dir + "/web.yml";
  HttpAccess access = web_access(io, load_web_config(path), path, threads);
  const StatusRoutes routes(registry, [] { return OutputsStatus(); },
                            {nullptr, [](std::function<void()> t) { t(); }, access.login, true});
  HttpServer server(
      io, {boost::asio::ip::make_address("127.0.0.1"), 0},
      [routes](const HttpRequest& r, const Respond& respond) { routes.handle(r, respond); },
      HttpLimits{}, access);
  server.start();
  std::thread thread([&] { io.run(); });
  const std::string port = std::to_string(server.local_endpoint().port());
  std::ofstream(dir + "/request") << "GET /metrics HTTP/1.1\r\nHost: 127.0.0.1\r\nAuthorization: "
                                  << basic_authorization("alice", "right horse")
                                  << "\r\nConnection: close\r\n\r\n";
  const std::string client = "openssl s_client -connect 127.0.0.1:" + port + " -CAfile '" + dir +
                             "/web.crt' -verify_return_error -verify_ip 127.0.0.1 -brief -ign_eof";
  EXPECT_EQ(run(client + " <'" + dir + "/request'", out), 0) << out;
  EXPECT_NE(out.find("Verification: OK"), std::string::npos) << out;
  EXPECT_NE(out.find("Protocol version: TLSv1.3"), std::string::npos) << out;
  EXPECT_NE(out.find("HTTP/1.1 200 OK"), std::string::npos) << out;
  EXPECT_NE(out.find("kpl_device_info{device=\"8\",name=\"空调 3\",location=\"Row\\\\B\"} 1"),
            std::string::npos)
      << out;
  // Nothing older than TLS 1.2, and nothing in plain HTTP.
  EXPECT_NE(run(client + " -tls1_1 </dev/null", out), 0) << out;
  EXPECT_ANY_THROW(http_request(server.local_endpoint().port(), "/metrics"));
  boost::asio::post(io, [&] {
    server.stop();
    io.stop();
  });
  thread.join();
  std::system(("rm -rf '" + dir + "'").c_str());
}

}  // namespace
