#include "apps/kpl-host/core/config.h"

#include <json/reader.h>

#include <algorithm>
#include <boost/asio/ip/address.hpp>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>
#include <string_view>

#include "apps/kpl-host/core/config_reader.h"
#include "apps/kpl-host/core/distinct_units.h"
#include "apps/kpl-host/core/endpoint_text.h"
#include "apps/kpl-host/core/mqtt_config.h"
#include "apps/kpl-host/core/utf8.h"

namespace kplhost {

namespace {

// The keys each object may hold; any other is taken for a misspelling. The
// contents of appSetting and sim are not the host's and are not looked into,
// nor are the names under thresholds, which are point names.
constexpr std::string_view top_keys[] = {"poll_interval_ms",
                                         "history_interval_s",
                                         "history_keep_days",
                                         "history_max_mb",
                                         "history_queue",
                                         "events_max_mb",
                                         "events_keep",
                                         "alarm_log_rows",
                                         "alarm_log_days",
                                         "connect_timeout_ms",
                                         "timeouts_before_reconnect",
                                         "devices",
                                         "mqtt",
                                         "history_keep"};
constexpr std::string_view device_keys[] = {"device_number",
                                            "data_id",
                                            "ip",
                                            "port",
                                            "addr",
                                            "appSetting",
                                            "thresholds",
                                            "ao_names",
                                            "ao_deadband",
                                            "connect_timeout_ms",
                                            "offline_after_ms",
                                            "timeouts_before_reconnect",
                                            "name",
                                            "location",
                                            "sim"};
constexpr std::string_view limit_keys[] = {"min", "max"};

// How long a connection attempt may take, from obj's connect_timeout_ms.
int connect_timeout(const ConfigReader& r, const Json::Value& obj, const std::string& key,
                    int fallback) {
  return static_cast<int>(r.integer_or(obj, "connect_timeout_ms", key, 100, 600000, fallback));
}

// A name a person gave, shown wherever the device is: UTF-8 that every
// output can carry once escaped, so no control characters, and short enough
// for a tile of the page and a metric label.
std::string caption(const ConfigReader& r, const Json::Value& obj, const char* name,
                    const std::string& key) {
  const Json::Value& v = obj[name];
  if (v.isNull()) return {};
  if (!v.isString() || v.asString().empty() || v.asString().size() > 200 ||
      !is_plain_utf8(v.asString()))
    r.fail(key, "text of 1 to 200 bytes of UTF-8 without control characters", &v);
  return v.asString();
}

// Passes in a row without a reply before the connection is made again.
int timeouts_before_reconnect(const ConfigReader& r, const Json::Value& obj, const std::string& key,
                              int fallback) {
  return static_cast<int>(r.integer_or(obj, "timeouts_before_reconnect", key, 1, 1000, fallback));
}

DeviceConfig parse_device(const ConfigReader& r, const Json::Value& d, const std::string& at,
                          int connect_timeout_ms, int reconnect_after) {
  r.object(d, at);
  r.only_keys(d, at, device_keys);
  DeviceConfig dev;
  dev.json = d;
  if (d["device_number"].isNull()) r.fail(at + ".device_number", "an integer from 0 to 4294967295");
  dev.device_number = static_cast<unsigned int>(
      r.integer(d["device_number"], at + ".device_number", 0, 4294967295LL));
  dev.data_id = static_cast<unsigned int>(
      r.integer_or(d, "data_id", at + ".data_id", 0, 4294967295LL, dev.device_number));
  // The device reads its data id from the object it is given.
  dev.json["data_id"] = dev.data_id;

  const Json::Value& ip = d["ip"];
  boost::system::error_code bad_ip;
  if (ip.isString()) boost::asio::ip::make_address(ip.asString(), bad_ip);
  // A name is resolved when the host connects, so that a unit whose name
  // does not resolve yet does not keep the others from being polled.
  if (!ip.isString() || (bad_ip && !is_host_name(ip.asString())))
    r.fail(at + ".ip", "an IPv4 or IPv6 address, or a host name", &ip);
  dev.ip = ip.asString();
  dev.name = caption(r, d, "name", at + ".name");
  dev.location = caption(r, d, "location", at + ".location");
  if (d["port"].isNull()) r.fail(at + ".port", "an integer from 1 to 65535");
  dev.port = static_cast<unsigned short>(r.integer(d["port"], at + ".port", 1, 65535));
  dev.addr = static_cast<unsigned char>(r.integer_or(d, "addr", at + ".addr", 0, 255, 1));
  // Likewise the unit identifier: the device sends the one in its object, so write the default in.
  dev.json["addr"] = dev.addr;
  dev.connect_timeout_ms = connect_timeout(r, d, at + ".connect_timeout_ms", connect_timeout_ms);
  dev.timeouts_before_reconnect =
      timeouts_before_reconnect(r, d, at + ".timeouts_before_reconnect", reconnect_after);

  const Json::Value& app = d["appSetting"];
  if (!app.isNull()) r.object(app, at + ".appSetting");

  const Json::Value& th = d["thresholds"];
  if (!th.isNull()) {
    r.object(th, at + ".thresholds");
    for (const std::string& name : th.getMemberNames()) {
      const std::string key = at + ".thresholds." + name;
      const Json::Value& lim = r.object(th[name], key);
      r.only_keys(lim, key, limit_keys);
      Limits l;
      if (!lim["min"].isNull()) l.min = r.number(lim["min"], key + ".min");
      if (!lim["max"].isNull()) l.max = r.number(lim["max"], key + ".max");
      if (l.min && l.max && *l.min > *l.max) r.fail(key, "min no greater than max");
      dev.thresholds[name] = l;
    }
  }

  const Json::Value& names = d["ao_names"];
  if (!names.isNull()) {
    if (!names.isArray()) r.fail(at + ".ao_names", "an array of point names", &names);
    for (Json::ArrayIndex i = 0; i < names.size(); ++i) {
      if (!names[i].isString())
        r.fail(at + ".ao_names[" + std::to_string(i) + "]", "a point name", &names[i]);
      dev.ao_names.push_back(names[i].asString());
    }
  }
  if (!d["ao_deadband"].isNull()) {
    dev.ao_deadband = r.number(d["ao_deadband"], at + ".ao_deadband");
    if (dev.ao_deadband < 0)
      r.fail(at + ".ao_deadband", "a number of 0 or more", &d["ao_deadband"]);
  }
  return dev;
}

// What the host keeps on disk. history_keep, a count of images that meant
// minutes at one poll interval and days at another, is read (so that a file
// written for an earlier release still starts the host) and replaced by the
// age and size bounds.
DiskConfig parse_disk(const ConfigReader& r, const Json::Value& doc,
                      std::vector<std::string>& notes) {
  DiskConfig d;
  auto integer = [&](const char* key, long long lo, long long hi, int fallback) {
    return static_cast<int>(r.integer_or(doc, key, key, lo, hi, fallback));
  };
  d.history_interval_s = integer("history_interval_s", 0, 86400, d.history_interval_s);
  d.history_keep_days = integer("history_keep_days", 1, 36500, d.history_keep_days);
  d.history_max_mb = integer("history_max_mb", 1, 1000000, d.history_max_mb);
  d.history_queue = integer("history_queue", 10, 10000000, d.history_queue);
  d.events_max_mb =
      r.number_or(doc, "events_max_mb", "events_max_mb", 0.01, 100000, d.events_max_mb);
  d.events_keep = integer("events_keep", 1, 100, d.events_keep);
  d.alarm_log_rows = integer("alarm_log_rows", 100, 10000000, d.alarm_log_rows);
  d.alarm_log_days = integer("alarm_log_days", 1, 36500, d.alarm_log_days);
  if (!doc["history_keep"].isNull()) {
    integer("history_keep", 1, 100000000, 0);
    notes.push_back(
        "history_keep is no longer used: the history keeps images for history_keep_days (" +
        std::to_string(d.history_keep_days) + ") within history_max_mb (" +
        std::to_string(d.history_max_mb) + "); remove it from the configuration");
  }
  return d;
}

}  // namespace

// Three missed polls and one reply time-out: a round is due every poll
// interval, and a pass that lost a reply starts again after the time-out, so
// a unit that stays quiet that long has stopped, not merely been slow once.
// The time-out is the plug-in's, read where it reads it.
int default_offline_after(int poll_interval_ms, const Json::Value& app_setting) {
  long long reply_timeout = 3000;
  const Json::Value& t = app_setting.isObject() ? app_setting["reply_timeout_ms"] : Json::Value();
  if (t.isIntegral() && !t.isBool() && t.isInt64() && t.asLargestInt() > 0 &&
      t.asLargestInt() <= 3600000)
    reply_timeout = t.asLargestInt();
  return static_cast<int>(std::min<long long>(3LL * poll_interval_ms + reply_timeout, 86400000));
}

HostConfig parse_config(const Json::Value& doc, const std::string& path) {
  const ConfigReader r(path);
  r.object(doc, "the document");
  r.only_keys(doc, "", top_keys);
  HostConfig cfg;
  cfg.poll_interval_ms = static_cast<int>(
      r.integer_or(doc, "poll_interval_ms", "poll_interval_ms", 10, 3600000, cfg.poll_interval_ms));
  cfg.disk = parse_disk(r, doc, cfg.notes);
  const int connect_timeout_ms =
      connect_timeout(r, doc, "connect_timeout_ms", DeviceConfig().connect_timeout_ms);
  const int reconnect_after = timeouts_before_reconnect(r, doc, "timeouts_before_reconnect",
                                                        DeviceConfig().timeouts_before_reconnect);

  const Json::Value& devices = doc["devices"];
  // An empty list is a host that polls nothing yet, as installed.
  if (!devices.isArray()) r.fail("devices", "an array of device objects", &devices);
  std::set<unsigned int> numbers;
  DistinctUnits units;
  for (Json::ArrayIndex i = 0; i < devices.size(); ++i) {
    const std::string at = "devices[" + std::to_string(i) + "]";
    DeviceConfig dev = parse_device(r, devices[i], at, connect_timeout_ms, reconnect_after);
    dev.poll_interval_ms = cfg.poll_interval_ms;
    dev.offline_after_ms = static_cast<int>(
        r.integer_or(devices[i], "offline_after_ms", at + ".offline_after_ms", 100, 86400000,
                     default_offline_after(cfg.poll_interval_ms, devices[i]["appSetting"])));
    if (!numbers.insert(dev.device_number).second)
      r.fail(at + ".device_number", "a number no other device has", &devices[i]["device_number"]);
    units.add(r, dev, at);
    cfg.devices.push_back(std::move(dev));
  }
  if (!doc["mqtt"].isNull()) cfg.mqtt = parse_mqtt(r, doc["mqtt"]);
  return cfg;
}

HostConfig load_config(const std::string& path) {
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec))
    throw ConfigError(path + ": is a directory; expected a config file");
  std::ifstream in(path, std::ios::binary);
  if (!in) throw ConfigError(path + ": cannot be read");
  std::stringstream text;
  text << in.rdbuf();
  const std::string s = text.str();
  // What the file says goes out again in JSON and on the page.
  const size_t bad = first_non_utf8(s);
  if (bad != std::string::npos)
    throw ConfigError(path + ": not UTF-8: the byte at offset " + std::to_string(bad) +
                      " does not belong to a UTF-8 character; save the file as UTF-8");
  if (s.find_first_not_of(" \t\r\n") == std::string::npos)
    throw ConfigError(path + ": is empty; expected an object with a devices array");

  Json::CharReaderBuilder builder;
  builder["collectComments"] = false;
  builder["failIfExtra"] = true;
  builder["rejectDupKeys"] = true;
  std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  Json::Value doc;
  std::string errors;
  if (!reader->parse(s.data(), s.data() + s.size(), &doc, &errors)) {
    // The reader's "* Line 1, Column 5\n  Syntax error: ...\n" for each
    // error, on one line: "Line 1, Column 5: Syntax error: ...; ...".
    std::string line;
    std::istringstream lines(errors);
    for (std::string l; std::getline(lines, l);) {
      const size_t start = l.find_first_not_of(" *");
      if (start == std::string::npos) continue;
      const bool where = l.compare(0, 2, "* ") == 0;
      if (!line.empty()) line += where ? "; " : ": ";
      line += l.substr(start);
    }
    throw ConfigError(path + ": not valid JSON: " + line);
  }
  return parse_config(doc, path);
}

}  // namespace kplhost
