// The web configuration file: the exporters' format, read strictly; every
// problem names the file, the line, the key and what was expected, and a
// value that may be a password is never shown.

#include "apps/kpl-host/view/web_config.h"

#include <gtest/gtest.h>

namespace {

using kplhost::parse_web_config;
using kplhost::WebConfigError;

const std::string hash = "$2y$10$abcdefghijklmnopqrstuuqflPDzB6gcMhKa1rZqKiun2YGL5sa2u";

TEST(WebConfig, BlockAndFlowStylesWithCommentsAndQuotes) {
  const auto block = parse_web_config(
      "---\n# the endpoint\ntls_server_config:\n"
      "  cert_file: web.crt   # beside this file\n"
      "  key_file: \"/etc/kpl-host/web key.pem\"\n"
      "basic_auth_users:\n  alice: " +
          hash + "\n  'bob o''neil': '" + hash + "'\n",
      "/etc/kpl-host/web.yml");
  EXPECT_EQ(block.cert_file, "/etc/kpl-host/web.crt");
  EXPECT_EQ(block.key_file, "/etc/kpl-host/web key.pem");
  ASSERT_EQ(block.users.size(), 2u);
  EXPECT_EQ(block.users.at("bob o'neil"), hash);
  EXPECT_TRUE(block.tls());
  EXPECT_TRUE(block.login());
  const auto flow = parse_web_config("basic_auth_users: {alice: \"" + hash + "\"}\n", "w.yml");
  EXPECT_FALSE(flow.tls());
  EXPECT_EQ(flow.users.at("alice"), hash);
  EXPECT_FALSE(parse_web_config("# nothing yet\n", "w.yml").login());
}

TEST(WebConfig, ProblemsNameFileLineKeyAndExpectation) {
  const struct {
    std::string text;
    std::string message;
  } cases[] = {
      {"tls_server_config:\n  cert_file: a.crt\n",
       "w.yml:1: tls_server_config: expected cert_file and key_file, both"},
      {"tls_server_config:\n  cert_file: a\n  key_file: b\n  min_version: TLS13\n",
       "w.yml:4: tls_server_config.min_version: not supported by kpl-host; it takes cert_file, "
       "key_file"},
      {"basic_auth_users:\n  alice: secret\n",
       "w.yml:2: basic_auth_users.alice: expected a bcrypt hash of the password ($2y$ and 56 more "
       "characters, as htpasswd -nBC 10 NAME prints it)"},
      {"basic_auth_users:\n  \"a:b\": " + hash + "\n",
       "w.yml:2: basic_auth_users.a:b: expected a user name without a colon or control characters"},
      {"basic_auth_user:\n  alice: x\n",
       "w.yml:1: basic_auth_user: unknown key; known keys: tls_server_config, basic_auth_users"},
      {"http_server_config: {http2: false}\n",
       "w.yml:1: http_server_config: not supported by kpl-host; it takes tls_server_config, "
       "basic_auth_users"},
      {"basic_auth_users: x\n", "w.yml:1: basic_auth_users: expected a mapping of keys"},
      {"basic_auth_users:\n  alice: 1\n  alice: 2\n", "w.yml:3: alice: a key given twice"},
      {"basic_auth_users:\n\talice: 1\n",
       "w.yml:2: a tab in the indentation; YAML indents with spaces"},
      {"basic_auth_users:\n  - alice\n",
       "w.yml:2: \"-\" starts YAML this reader does not take; quote the value"},
      {"tls_server_config: &a {}\n",
       "w.yml:1: \"&\" starts YAML this reader does not take; quote the value"},
      {"basic_auth_users:\n  alice: \"open\n",
       "w.yml:2: expected the closing quote on the same line"},
      {"basic_auth_users:\n    alice: x\n  bob: y\n",
       "w.yml:3: expected this line indented as the key above it"},
  };
  for (const auto& c : cases) {
    try {
      parse_web_config(c.text, "w.yml");
      ADD_FAILURE() << c.text;
    } catch (const WebConfigError& e) {
      EXPECT_EQ(e.what(), c.message) << c.text;
    }
  }
}

TEST(WebConfig, MissingFileIsNamed) {
  try {
    kplhost::load_web_config("/nonexistent/web.yml");
    FAIL();
  } catch (const WebConfigError& e) {
    EXPECT_STREQ(e.what(), "/nonexistent/web.yml: cannot be read");
  }
}

}  // namespace
