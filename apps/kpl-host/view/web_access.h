// The endpoint's access as the web configuration sets it: TLS with its
// certificate and key, the login of its users (who may then acknowledge
// alarms), or neither: plain HTTP, read-only.
#pragma once

#include <boost/asio/io_context.hpp>
#include <string>

#include "apps/kpl-host/core/thread_guard.h"
#include "apps/kpl-host/view/http_server.h"
#include "apps/kpl-host/view/web_config.h"

namespace kplhost {

// path: the web configuration's, for messages. The login's thread runs
// under `threads`. Throws WebConfigError naming the file, the key and the
// file that cannot be used.
HttpAccess web_access(boost::asio::io_context& io, const WebConfig& config, const std::string& path,
                      ThreadGuard& threads);

}  // namespace kplhost
