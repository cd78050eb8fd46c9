// What the endpoint answers:
//   GET  /                 the site's page
//   GET  /status           the status page of every device's values
//   GET  /trend-plot.js    the plot both pages draw trends with
//   GET  /api/devices      the devices as JSON
//   GET  /api/trend        a point's trend (/api/trend.csv to download it)
//   GET  /api/alarms       the alarm log, a page at a time
//   GET  /api/session      who is logged in, and the form token
//   POST /api/acknowledge  acknowledges listed alarms (with a login only)
//   GET  /metrics          the Prometheus text
// anything else is not found. Runs on the I/O thread, reading the host's
// own state; what the database answers is asked off it, and a trend is
// answered by the thread that keeps the trends.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "apps/kpl-host/core/alarm_records.h"
#include "apps/kpl-host/core/device_slot.h"
#include "apps/kpl-host/core/outputs_status.h"
#include "apps/kpl-host/core/trend_source.h"
#include "apps/kpl-host/view/http_server.h"

namespace kplhost {

class Login;

// What the site's routes need beyond the devices.
struct SiteBackend {
  // The alarm log; none: /api/alarms is not found.
  AlarmRecords* alarms = nullptr;
  // Runs a task off the I/O thread (the worker), in order with the rounds.
  std::function<void(std::function<void()>)> off_io;
  // The login; none: the endpoint is read-only.
  std::shared_ptr<const Login> login;
  bool tls = false;
};

class StatusRoutes {
 public:
  // outputs: how the history, the event stream and the broker are doing,
  // taken when asked.
  // trends: none when the host keeps no trends.
  StatusRoutes(const DeviceRegistry& registry, std::function<OutputsStatus()> outputs,
               SiteBackend site = {}, TrendSource* trends = nullptr)
      : registry_(registry),
        outputs_(std::move(outputs)),
        site_(std::move(site)),
        trends_(trends) {}

  // A GET of a path that the host's own state answers.
  HttpReply operator()(const std::string& path) const;
  // Any request.
  void handle(const HttpRequest& request, const Respond& respond) const;

 private:
  void alarms(const HttpRequest& request, const Respond& respond) const;
  void acknowledge(const HttpRequest& request, const Respond& respond) const;
  HttpReply session(const HttpRequest& request) const;
  // /api/trend?device=N&point=NAME&range=24h|7d|1y, as JSON or CSV.
  void trend(const HttpRequest& request, const Respond& respond, bool csv) const;

  const DeviceRegistry& registry_;
  std::function<OutputsStatus()> outputs_;
  SiteBackend site_;
  TrendSource* trends_;
};

}  // namespace kplhost
