// The trend plot, served as /trend-plot.js: a script of its own, with no
// outside assets (controllers have no internet) and no library, that any
// page of the host can load to draw a point's trend where it likes:
//
//   <script src="/trend-plot.js"></script>
//   const plot = kplTrendPlot(element, {device: 7, point: "temperature_1_value",
//                                       desc: "温度1", unit: " °C", range: "24h"});
//   plot.show("7d");   // another range: "24h", "7d" or "1y"
//   plot.load();       // fetch again
//
// It fetches /api/trend and draws an SVG: the band from the least to the
// greatest value of each step, the mean as a line through it, the value and
// time axes, the newest mean, and a link to the same data as CSV.
#pragma once

#include <string>

namespace kplhost {

const std::string& trend_plot_js();

}  // namespace kplhost
