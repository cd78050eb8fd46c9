// The web configuration (--web-config FILE), in the format Prometheus
// exporters read:
//
//   tls_server_config:
//     cert_file: /etc/kpl-host/web.crt
//     key_file: /etc/kpl-host/web.key
//   basic_auth_users:
//     alice: $2y$10$...        # bcrypt, as htpasswd -nBC 10 alice makes
//
// TLS for the endpoint, and the users who may log in, each with a bcrypt
// hash of their password; either part may be left out. Only these keys are
// taken; another key of the exporters' format is named as not supported.
#pragma once

#include <map>
#include <string>

#include "apps/kpl-host/view/yaml_subset.h"

namespace kplhost {

struct WebConfig {
  // The files' paths, relative ones taken from the web configuration's folder.
  std::string cert_file, key_file;
  // User name to bcrypt hash.
  std::map<std::string, std::string> users;

  bool tls() const { return !cert_file.empty(); }
  bool login() const { return !users.empty(); }
};

// Throws WebConfigError: "FILE:LINE: key: expected ...". A hash that is not
// bcrypt is refused without being shown: it may be a password.
WebConfig load_web_config(const std::string& path);
WebConfig parse_web_config(const std::string& text, const std::string& path);

}  // namespace kplhost
