#include "apps/kpl-host/view/status_page.h"

namespace kplhost {

const std::string& status_page_html() {
  static const std::string page = R"html(<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>kpl-host</title>
<style>
  :root { --online: #1b7f3b; --degraded: #b36b00; --offline: #b3261e; --failed: #6b1d8f;
          --connecting: #5f6b7a; }
  body { font: 15px/1.4 system-ui, sans-serif; margin: 0; background: #f3f4f6; color: #1f2328; }
  header { background: #1f2328; color: #fff; padding: 10px 14px; display: flex;
           justify-content: space-between; align-items: baseline; gap: 8px; flex-wrap: wrap; }
  header h1 { font-size: 18px; margin: 0; }
  #updated { font-size: 13px; opacity: .8; }
  main { display: grid; grid-template-columns: repeat(auto-fill, minmax(300px, 1fr)); gap: 12px;
         padding: 12px; }
  .device { background: #fff; border-radius: 8px; padding: 12px; border-left: 8px solid
            var(--connecting); box-shadow: 0 1px 2px rgba(0,0,0,.15); }
  .device[data-state=online] { border-left-color: var(--online); }
  .device[data-state=degraded] { border-left-color: var(--degraded); }
  .device[data-state=offline] { border-left-color: var(--offline); }
  .device[data-state=failed] { border-left-color: var(--failed); }
  .device h2 { font-size: 17px; margin: 0 0 4px; display: flex; justify-content: space-between; }
  .state { font-weight: 700; text-transform: uppercase; font-size: 13px; color: #fff;
           padding: 2px 8px; border-radius: 10px; background: var(--connecting); }
  [data-state=online] .state { background: var(--online); }
  [data-state=degraded] .state { background: var(--degraded); }
  [data-state=offline] .state { background: var(--offline); }
  [data-state=failed] .state { background: var(--failed); }
  .meta { font-size: 13px; color: #57606a; }
  .alarms { list-style: none; padding: 0; margin: 8px 0; }
  .alarms li { background: #fdecea; color: #8a1c14; border-radius: 4px; padding: 4px 8px;
               margin: 3px 0; }
  .alarms .none { background: #eaf6ec; color: #1b7f3b; }
  .values { display: grid; grid-template-columns: 1fr auto; gap: 2px 12px; font-size: 14px; }
  .values .v { text-align: right; font-variant-numeric: tabular-nums; }
  .values .alarm { color: #b3261e; font-weight: 700; }
  .stale .values { opacity: .45; }
  .stale-note { color: #b3261e; font-size: 13px; font-weight: 700; }
  #error { color: #b3261e; padding: 0 12px; }
  .trends { margin-top: 10px; }
  .trends summary { cursor: pointer; font-weight: 600; font-size: 14px; }
  .trend { margin: 8px 0; }
</style>
</head>
<body>
<header><h1>kpl-host</h1><span id="updated">connecting&hellip;</span></header>
<div id="error"></div>
<main id="devices"></main>
<script src="/trend-plot.js"></script>
<script>
"use strict";
function el(tag, cls, text) {
  const e = document.createElement(tag);
  if (cls) e.className = cls;
  if (text !== undefined) e.textContent = text;
  return e;
}
function age(s) {
  if (s < 90) return Math.round(s) + " s";
  if (s < 5400) return Math.round(s / 60) + " min";
  return Math.round(s / 3600) + " h";
}
// Each device's trends: a plot per value, kept from one refresh of the
// page to the next and fetched again every minute. Open at first when the
// page shows a few devices; with many, a plot is fetched only once asked for.
const trends = new Map();
function trendBlock(d, open) {
  let b = trends.get(d.device);
  if (!b) {
    const details = el("details", "trends");
    details.id = "trends-" + d.device;
    details.open = open;
    const bar = el("div", "ranges");
    const plots = el("div", "plots");
    details.append(el("summary", "", "Trends"), bar, plots);
    b = {el: details, plots: plots, names: "", shown: [], range: "24h", values: d.values};
    kplTrendRanges(bar, b.range, r => {
      b.range = r;
      for (const p of b.shown) p.show(r);
    });
    details.addEventListener("toggle", () => fillTrends(b));
    trends.set(d.device, b);
  }
  b.values = d.values;
  b.device = d.device;
  fillTrends(b);
  return b.el;
}
function fillTrends(b) {
  const names = b.values.map(v => v.name).join(",");
  if (!b.el.open || names === b.names) return;
  b.names = names;
  b.plots.replaceChildren();
  b.shown = kplTrendOrder(b.values).map(v => {
    const box = el("div", "trend");
    box.id = "trend-" + b.device + "-" + v.name;
    b.plots.append(box);
    return kplTrendPlot(box, {device: b.device, point: v.name, desc: v.desc || v.name,
                              unit: v.unit ? " " + v.unit : "", range: b.range});
  });
}
setInterval(() => {
  for (const b of trends.values()) if (b.el.open) for (const p of b.shown) p.load();
}, 60000);
function render(devices) {
  const main = document.getElementById("devices");
  main.replaceChildren();
  for (const d of devices) {
    const card = el("section", "device" + (d.stale ? " stale" : ""));
    card.id = "device-" + d.device;
    card.dataset.state = d.state;
    const h = el("h2");
    h.append(el("span", "name", "Device " + d.device), el("span", "state", d.state));
    card.append(h);
    const last = d.last_round ? "last round " + age(d.data_age_s) + " ago" : "no round yet";
    card.append(el("div", "meta", d.endpoint + " · " + last + " · " + d.rounds + " rounds"));
    if (d.stale) card.append(el("div", "stale-note", "values are stale"));
    const alarms = el("ul", "alarms");
    if (d.alarms.length === 0) alarms.append(el("li", "none", "no active alarms"));
    for (const a of d.alarms)
      alarms.append(el("li", "alarm", [a.label, a.id, a.code, a.desc].filter(Boolean).join(" ")));
    card.append(alarms);
    const values = el("div", "values");
    for (const v of d.values) {
      const cls = v.in_alarm ? "v alarm" : "v";
      const shown = v.value === null ? "—" : v.value.toFixed(v.decimals) + (v.unit ? " " + v.unit : "");
      values.append(el("span", v.in_alarm ? "alarm" : "", v.desc || v.name), el("span", cls, shown));
    }
    card.append(values);
    card.append(trendBlock(d, devices.length <= 4));
    main.append(card);
  }
}
async function refresh() {
  try {
    const r = await fetch("/api/devices", { cache: "no-store" });
    if (!r.ok) throw new Error("HTTP " + r.status);
    render(await r.json());
    document.getElementById("error").textContent = "";
    document.getElementById("updated").textContent = "updated " + new Date().toLocaleTimeString();
  } catch (e) {
    document.getElementById("error").textContent = "cannot reach kpl-host: " + e.message;
  }
}
refresh();
setInterval(refresh, 1000);
</script>
</body>
</html>
)html";
  return page;
}

}  // namespace kplhost
