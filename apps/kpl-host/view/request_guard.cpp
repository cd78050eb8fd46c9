#include "apps/kpl-host/view/request_guard.h"

#include <strings.h>

namespace kplhost {

bool same_site(const HttpRequest& r, bool tls) {
  if (!r.fetch_site.empty() && r.fetch_site != "same-origin" && r.fetch_site != "none")
    return false;
  if (r.origin.empty()) return true;
  const std::string own = std::string(tls ? "https://" : "http://") + r.host;
  return r.origin.size() == own.size() && strcasecmp(r.origin.c_str(), own.c_str()) == 0;
}

}  // namespace kplhost
