#include "apps/kpl-host/view/web_access.h"

#include <openssl/err.h>

#include <boost/asio/ssl/context.hpp>

#include "apps/kpl-host/view/login.h"

namespace kplhost {

namespace {

// OpenSSL's reason for the last failure ("no such file", "bad end line"),
// never the file's content.
std::string tls_reason(const boost::system::system_error& e) {
  const unsigned long code = ERR_get_error();
  ERR_clear_error();
  if (code == 0) return e.code().message();
  const char* r = ERR_reason_error_string(code);
  return r ? r : e.code().message();
}

std::shared_ptr<boost::asio::ssl::context> tls_context(const WebConfig& c,
                                                       const std::string& path) {
  namespace ssl = boost::asio::ssl;
  auto ctx = std::make_shared<ssl::context>(ssl::context::tls_server);
  // TLS 1.2 and newer, as the exporters take by default.
  ctx->set_options(ssl::context::default_workarounds | ssl::context::no_sslv2 |
                   ssl::context::no_sslv3 | ssl::context::no_tlsv1 | ssl::context::no_tlsv1_1 |
                   ssl::context::single_dh_use);
  const struct {
    const char* key;
    const std::string& file;
    bool cert;
  } files[] = {{"cert_file", c.cert_file, true}, {"key_file", c.key_file, false}};
  for (const auto& f : files) {
    try {
      if (f.cert)
        ctx->use_certificate_chain_file(f.file);
      else
        ctx->use_private_key_file(f.file, ssl::context::pem);
    } catch (const boost::system::system_error& e) {
      throw WebConfigError(path + ": tls_server_config." + f.key + ": cannot use " + f.file + ": " +
                           tls_reason(e));
    }
  }
  if (SSL_CTX_check_private_key(ctx->native_handle()) != 1) {
    ERR_clear_error();
    throw WebConfigError(path + ": tls_server_config.key_file: " + c.key_file +
                         " is not the key of the certificate in " + c.cert_file);
  }
  return ctx;
}

}  // namespace

HttpAccess web_access(boost::asio::io_context& io, const WebConfig& config, const std::string& path,
                      ThreadGuard& threads) {
  HttpAccess access;
  if (config.tls()) access.tls = tls_context(config, path);
  if (config.login()) {
    access.login = std::make_shared<Login>(io, config.users, threads);
    access.writes = true;
  }
  return access;
}

}  // namespace kplhost
