// A point's trend as /api/trend answers it, in JSON for the page and in CSV
// for a download:
//   {"device":7,"point":"temperature_1_value","desc":"温度1","range":"24h",
//    "step_s":60,"from":1765152000,"to":1765238400,
//    "samples":[{"t":1765152000,"min":22.5,"mean":22.75,"max":23,"samples":60},...]}
//   time,t,min,mean,max,samples
//   2026-12-08 00:00:00,1765152000,22.5,22.75,23,60
// t is the start of the step in seconds since 1970 (UTC), time the same in
// the host's local time; steps without a sample are left out.
#pragma once

#include <string>

#include "apps/kpl-host/core/trend_source.h"

namespace kplhost {

std::string trend_json(const TrendQuery& q, const TrendAnswer& a);
std::string trend_csv(const TrendAnswer& a);

}  // namespace kplhost
