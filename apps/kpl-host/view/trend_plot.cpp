#include "apps/kpl-host/view/trend_plot.h"

namespace kplhost {

const std::string& trend_plot_js() {
  static const std::string script = R"js("use strict";
(function () {
  const svgNs = "http://www.w3.org/2000/svg";
  const height = 132, left = 44, right = 8, top = 8, bottom = 20;

  // The plot carries its own look, so that any page can embed it as it is.
  const look = {
    grid: {stroke: "#e5e7eb"},
    axis: {fill: "#57606a", "font-size": 10, "font-family": "system-ui, sans-serif"},
    band: {fill: "#1f6feb", "fill-opacity": 0.2, stroke: "none"},
    "band-line": {stroke: "#1f6feb", "stroke-opacity": 0.4, "stroke-width": 2},
    mean: {fill: "none", stroke: "#1f6feb", "stroke-width": 1.5},
    dot: {fill: "#1f6feb"},
  };
  function svg(tag, attrs, text) {
    const e = document.createElementNS(svgNs, tag);
    attrs = Object.assign({}, look[attrs.class] || {}, attrs);
    for (const k in attrs) e.setAttribute(k, attrs[k]);
    if (text !== undefined) e.textContent = text;
    return e;
  }
  // About n round values from lo to hi: steps of 1, 2 or 5 times a power of ten.
  function ticks(lo, hi, n) {
    const raw = (hi - lo) / n, p = Math.pow(10, Math.floor(Math.log10(raw)));
    const step = [1, 2, 5, 10].map(m => m * p).find(s => s >= raw);
    const out = [];
    for (let v = Math.ceil(lo / step) * step; v <= hi + step / 1e6; v += step)
      out.push(Math.round(v / step) * step);
    return out;
  }
  function two(n) { return (n < 10 ? "0" : "") + n; }
  const days = ["Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"];
  const months = ["Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov",
                  "Dec"];
  // Time ticks on whole hours, days or months of the browser's clock.
  function timeTicks(from, to, range) {
    const out = [], d = new Date(from * 1000);
    d.setMinutes(0, 0, 0);
    if (range === "24h") {
      d.setHours(d.getHours() + (6 - d.getHours() % 6) % 6);
      for (; d.getTime() / 1000 < to; d.setHours(d.getHours() + 6))
        out.push([d.getTime() / 1000, two(d.getHours()) + ":00"]);
    } else if (range === "7d") {
      d.setHours(24, 0, 0, 0);
      for (; d.getTime() / 1000 < to; d.setDate(d.getDate() + 1))
        out.push([d.getTime() / 1000, days[d.getDay()] + " " + d.getDate()]);
    } else {
      d.setHours(0, 0, 0, 0);
      d.setDate(1);
      d.setMonth(d.getMonth() + 1);
      for (; d.getTime() / 1000 < to; d.setMonth(d.getMonth() + 2))
        out.push([d.getTime() / 1000, months[d.getMonth()]]);
    }
    return out.filter(t => t[0] >= from);
  }
  function fmt(v) { return Math.abs(v) >= 100 ? v.toFixed(0) : String(Math.round(v * 10) / 10); }

  function draw(box, opts, data) {
    // Drawn to the box's width in its own units, and scaled to whatever
    // width the box has later.
    const width = Math.max(box.clientWidth || 0, 240);
    const plot = svg("svg", {class: "trend-svg", viewBox: "0 0 " + width + " " + height,
                             role: "img", style: "width:100%;height:auto;display:block"});
    const title = (opts.desc || opts.point) + " over " + opts.range;
    plot.append(svg("title", {}, title));
    const s = data.samples;
    let lo = Infinity, hi = -Infinity;
    for (const p of s) { lo = Math.min(lo, p.min); hi = Math.max(hi, p.max); }
    if (s.length === 0) { lo = 0; hi = 1; }
    if (hi - lo < 1e-6) { lo -= 0.5; hi += 0.5; }
    const pad = (hi - lo) * 0.08;
    lo -= pad; hi += pad;
    const x = t => left + (t - data.from) / (data.to - data.from) * (width - left - right);
    const y = v => top + (hi - v) / (hi - lo) * (height - top - bottom);
    for (const v of ticks(lo, hi, 4)) {
      plot.append(svg("line", {class: "grid", x1: left, x2: width - right, y1: y(v), y2: y(v)}));
      plot.append(svg("text", {class: "axis", x: left - 4, y: y(v) + 4, "text-anchor": "end"},
                      fmt(v)));
    }
    for (const [t, label] of timeTicks(data.from, data.to, opts.range)) {
      plot.append(svg("line", {class: "grid", x1: x(t), x2: x(t), y1: top, y2: height - bottom}));
      plot.append(svg("text", {class: "axis", x: x(t), y: height - 5, "text-anchor": "middle"},
                      label));
    }
    // A step without samples breaks the band and the line.
    const runs = [];
    for (const p of s) {
      const run = runs[runs.length - 1];
      if (run && p.t - run[run.length - 1].t <= data.step_s) run.push(p); else runs.push([p]);
    }
    const mid = p => x(p.t + data.step_s / 2);
    for (const run of runs) {
      const upper = run.map(p => mid(p) + "," + y(p.max));
      const lower = run.slice().reverse().map(p => mid(p) + "," + y(p.min));
      if (run.length === 1) {
        // A step alone (the first minutes of a trend) is a dot on its band.
        plot.append(svg("line", {class: "band-line", x1: mid(run[0]), x2: mid(run[0]),
                                 y1: y(run[0].max), y2: y(run[0].min)}));
        plot.append(svg("circle", {class: "dot", cx: mid(run[0]), cy: y(run[0].mean), r: 2.5}));
      } else {
        plot.append(svg("polygon", {class: "band", points: upper.concat(lower).join(" ")}));
      }
      plot.append(svg("polyline", {class: "mean",
                                   points: run.map(p => mid(p) + "," + y(p.mean)).join(" ")}));
    }
    const head = document.createElement("div");
    head.className = "trend-head";
    head.style.cssText = "display:flex;gap:8px;font-size:13px;align-items:baseline";
    const name = document.createElement("span");
    name.textContent = opts.desc || opts.point;
    const now = document.createElement("span");
    now.className = "trend-now";
    now.style.cssText = "margin-left:auto;font-variant-numeric:tabular-nums";
    now.textContent = s.length ? fmt(s[s.length - 1].mean) + (opts.unit || "") : "no samples yet";
    const csv = document.createElement("a");
    csv.href = "/api/trend.csv?device=" + opts.device + "&point=" +
               encodeURIComponent(opts.point) + "&range=" + opts.range;
    csv.textContent = "CSV";
    csv.className = "trend-csv";
    head.append(name, now, csv);
    box.replaceChildren(head, plot);
    box.dataset.samples = s.length;
  }

  // The order in which a device's values are plotted: temperatures,
  // humidities and voltages first, what moves; the water and smoke
  // detectors, which read 0 or 1, after them.
  window.kplTrendOrder = function (values) {
    const rank = v => ["temperature", "humid", "battery"].findIndex(k => v.name.startsWith(k));
    const order = v => rank(v) < 0 ? 3 : rank(v);
    return values.slice().sort((a, b) => order(a) - order(b));
  };

  // The bar of ranges over a device's plots, in the plot's own look: one
  // button per range, the one chosen lit; chosen(range) on a click.
  window.kplTrendRanges = function (bar, range, chosen) {
    bar.style.cssText = "display:flex;gap:4px;margin:4px 0";
    const paint = (button, on) => {
      button.style.cssText = "border:1px solid " + (on ? "#1f6feb" : "#d0d7de") +
          ";background:" + (on ? "#1f6feb" : "#f6f8fa") + ";color:" + (on ? "#fff" : "inherit") +
          ";border-radius:4px;padding:2px 10px;font-size:12px;cursor:pointer";
      button.className = on ? "on" : "";
    };
    for (const r of ["24h", "7d", "1y"]) {
      const button = document.createElement("button");
      button.type = "button";
      button.textContent = r;
      paint(button, r === range);
      button.onclick = () => {
        for (const other of bar.children) paint(other, other === button);
        chosen(r);
      };
      bar.append(button);
    }
  };

  window.kplTrendPlot = function (box, options) {
    const opts = Object.assign({range: "24h"}, options);
    box.classList.add("trend");
    async function load() {
      const url = "/api/trend?device=" + opts.device + "&point=" +
                  encodeURIComponent(opts.point) + "&range=" + opts.range;
      try {
        const r = await fetch(url, {cache: "no-store"});
        if (r.status === 404) {
          draw(box, opts, {samples: [], from: 0, to: 1, step_s: 1});
          return;
        }
        if (!r.ok) throw new Error("HTTP " + r.status);
        draw(box, opts, await r.json());
      } catch (e) {
        box.textContent = (opts.desc || opts.point) + ": cannot load the trend: " + e.message;
      }
    }
    load();
    return {load: load, show: function (range) { opts.range = range; load(); }};
  };
})();
)js";
  return script;
}

}  // namespace kplhost
