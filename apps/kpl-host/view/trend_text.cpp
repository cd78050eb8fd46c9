#include "apps/kpl-host/view/trend_text.h"

#include "apps/kpl-host/core/device_report.h"
#include "apps/kpl-host/core/json_text.h"

namespace kplhost {

namespace {

// min, mean and max, each after its label (JSON) or after a comma (CSV).
// The samples are floats as the unit sent them: min and max are such a
// float exactly, and the mean needs no more digits than they have.
void append_values(std::string& out, const Aggregate& a, const char* const (&labels)[3]) {
  const double values[] = {a.min, a.mean, a.max};
  for (int i = 0; i < 3; ++i) {
    out += labels[i];
    append_json_float(out, static_cast<float>(values[i]));
  }
}
constexpr const char* json_labels[] = {",\"min\":", ",\"mean\":", ",\"max\":"};
constexpr const char* csv_labels[] = {",", ",", ","};

}  // namespace

std::string trend_json(const TrendQuery& q, const TrendAnswer& a) {
  std::string out = "{\"device\":" + std::to_string(q.device_number) + ",\"point\":";
  append_json_string(out, q.point);
  out += ",\"desc\":";
  append_json_string(out, a.desc);
  out += ",\"range\":\"";
  out += q.range.name;
  out += "\",\"step_s\":" + std::to_string(q.range.step_s) + ",\"from\":" + std::to_string(a.from) +
         ",\"to\":" + std::to_string(a.to) + ",\"samples\":[";
  out.reserve(out.size() + a.samples.size() * 80);
  for (size_t i = 0; i < a.samples.size(); ++i) {
    const TrendSample& s = a.samples[i];
    out += i ? ",{\"t\":" : "{\"t\":";
    out += std::to_string(s.t);
    append_values(out, s.value, json_labels);
    out += ",\"samples\":" + std::to_string(s.value.samples) + "}";
  }
  out += "]}";
  return out;
}

std::string trend_csv(const TrendAnswer& a) {
  std::string out = "time,t,min,mean,max,samples\n";
  out.reserve(out.size() + a.samples.size() * 64);
  for (const TrendSample& s : a.samples) {
    out += local_time_text(std::chrono::system_clock::time_point(std::chrono::seconds(s.t)));
    out += ',' + std::to_string(s.t);
    append_values(out, s.value, csv_labels);
    out += ',' + std::to_string(s.value.samples) + '\n';
  }
  return out;
}

}  // namespace kplhost
