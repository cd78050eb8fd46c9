#include "apps/kpl-host/core/distinct_units.h"

#include <algorithm>
#include <boost/asio/ip/address.hpp>
#include <cctype>

#include "apps/kpl-host/core/config_reader.h"
#include "apps/kpl-host/core/endpoint_text.h"

namespace kplhost {

namespace {

// One spelling per host: an address as the resolver writes it ("::1" for
// "0:0::1"), a name in lower case without a trailing dot.
std::string host_key(const std::string& ip) {
  boost::system::error_code ec;
  const auto address = boost::asio::ip::make_address(ip, ec);
  if (!ec) return address.to_string();
  std::string name = ip;
  if (!name.empty() && name.back() == '.') name.pop_back();
  std::transform(name.begin(), name.end(), name.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return name;
}

std::string named(const std::string& at, unsigned int number) {
  return "device " + std::to_string(number) + " (" + at + ")";
}

}  // namespace

void DistinctUnits::add(const ConfigReader& r, const DeviceConfig& dev, const std::string& at) {
  const auto unit = std::make_tuple(host_key(dev.ip), dev.port, dev.addr);
  const auto [u, new_unit] = units_.emplace(unit, Seen{at, dev.device_number});
  if (!new_unit)
    r.fail(at, "a unit no other device polls; " + named(at, dev.device_number) + " and " +
                   named(u->second.at, u->second.device_number) + " both name " +
                   endpoint_text(dev.ip, dev.port) + " addr " + std::to_string(dev.addr));
  const auto [d, new_id] = data_ids_.emplace(dev.data_id, Seen{at, dev.device_number});
  if (!new_id)
    r.fail(at + ".data_id", "a data id no other device has; " + named(at, dev.device_number) +
                                " and " + named(d->second.at, d->second.device_number) +
                                " both have " + std::to_string(dev.data_id));
}

}  // namespace kplhost
