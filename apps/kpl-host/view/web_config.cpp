#include "apps/kpl-host/view/web_config.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "apps/kpl-host/core/utf8.h"

namespace kplhost {

namespace {

class Checker {
 public:
  explicit Checker(const std::string& path) : path_(path) {}

  [[noreturn]] void fail(const YamlNode& at, const std::string& key,
                         const std::string& problem) const {
    throw WebConfigError(path_ + ":" + std::to_string(at.line) + ": " + key + ": " + problem);
  }

  const YamlNode& mapping(const YamlNode& n, const std::string& key) const {
    if (!n.is_map) fail(n, key, "expected a mapping of keys");
    return n;
  }

  // Only the keys given; a key of the exporters' format that kpl-host does
  // not take is said so, any other is a misspelling.
  void only(const YamlNode& n, const std::string& at, const std::vector<std::string>& known,
            const std::vector<std::string>& unsupported) const {
    std::string list;
    for (const std::string& k : known) list += (list.empty() ? "" : ", ") + k;
    for (const auto& [key, value] : n.map) {
      const std::string where = at.empty() ? key : at + "." + key;
      if (std::find(known.begin(), known.end(), key) != known.end()) continue;
      if (std::find(unsupported.begin(), unsupported.end(), key) != unsupported.end())
        fail(value, where, "not supported by kpl-host; it takes " + list);
      fail(value, where, "unknown key; known keys: " + list);
    }
  }

  std::string file(const YamlNode& n, const std::string& key) const {
    if (n.is_map || n.is_null || n.scalar.empty()) fail(n, key, "expected a file name");
    const std::filesystem::path p(n.scalar);
    if (p.is_absolute()) return n.scalar;
    return (std::filesystem::path(path_).parent_path() / p).lexically_normal().string();
  }

 private:
  const std::string& path_;
};

// $2a$, $2b$ or $2y$, a cost of two digits, and 53 characters of bcrypt's
// base-64: 22 of salt and 31 of hash.
bool bcrypt_hash(const std::string& h) {
  if (h.size() != 60 || h[0] != '$' || h[1] != '2' || h[3] != '$' || h[6] != '$') return false;
  if (h[2] != 'a' && h[2] != 'b' && h[2] != 'y') return false;
  if (!std::isdigit(static_cast<unsigned char>(h[4])) ||
      !std::isdigit(static_cast<unsigned char>(h[5])))
    return false;
  const int cost = (h[4] - '0') * 10 + (h[5] - '0');
  if (cost < 4 || cost > 31) return false;
  return h.find_first_not_of("./ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
                             7) == std::string::npos;
}

}  // namespace

WebConfig parse_web_config(const std::string& text, const std::string& path) {
  const YamlNode doc = parse_yaml_subset(text, path);
  const Checker c(path);
  WebConfig cfg;
  if (doc.is_null) return cfg;
  c.mapping(doc, "the document");
  c.only(doc, "", {"tls_server_config", "basic_auth_users"}, {"http_server_config"});
  for (const auto& [key, value] : doc.map) {
    if (key == "tls_server_config") {
      if (value.is_null) continue;
      c.mapping(value, key);
      c.only(value, key, {"cert_file", "key_file"},
             {"cert", "key", "client_auth_type", "client_ca_file", "client_ca",
              "client_allowed_sans", "min_version", "max_version", "cipher_suites",
              "curve_preferences", "prefer_server_cipher_suites"});
      for (const auto& [name, file] : value.map)
        (name == "cert_file" ? cfg.cert_file : cfg.key_file) = c.file(file, key + "." + name);
      if (cfg.cert_file.empty() || cfg.key_file.empty())
        c.fail(value, key, "expected cert_file and key_file, both");
    } else if (value.is_null) {
      continue;
    } else {
      c.mapping(value, key);
      for (const auto& [user, hash] : value.map) {
        const std::string at = key + "." + user;
        if (user.empty() || user.find(':') != std::string::npos || !is_plain_utf8(user))
          c.fail(hash, at, "expected a user name without a colon or control characters");
        if (hash.is_map || !bcrypt_hash(hash.scalar))
          c.fail(hash, at,
                 "expected a bcrypt hash of the password ($2y$ and 56 more characters, as "
                 "htpasswd -nBC 10 NAME prints it)");
        cfg.users[user] = hash.scalar;
      }
    }
  }
  return cfg;
}

WebConfig load_web_config(const std::string& path) {
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec))
    throw WebConfigError(path + ": is a directory; expected a web configuration file");
  std::ifstream in(path, std::ios::binary);
  if (!in) throw WebConfigError(path + ": cannot be read");
  std::stringstream text;
  text << in.rdbuf();
  return parse_web_config(text.str(), path);
}

}  // namespace kplhost
