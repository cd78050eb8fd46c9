// What keeps a page of another site from acting in the operator's name: a
// browser sends the operator's login with any request to the endpoint,
// whichever page made it, so a write must also come from the endpoint's own
// page: no Origin or Sec-Fetch-Site that says another site, and the form
// token that only the endpoint's own page can read (Login::form_token).
#pragma once

#include <string>

#include "apps/kpl-host/view/http_server.h"

namespace kplhost {

// Whether the request's Origin (when it has one) is the site it was sent
// to, and its Sec-Fetch-Site (when it has one) says same-origin or none.
bool same_site(const HttpRequest& request, bool tls);

}  // namespace kplhost
