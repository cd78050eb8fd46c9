#include "apps/kpl-host/view/site_page.h"

namespace kplhost {

// Every text the host sends is put into the page with textContent, never as
// markup, so a device's name or an alarm's text shows as written, whatever
// it holds.
const std::string& site_page_html() {
  static const std::string page = R"html(<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>kpl-host: site</title>
<style>
  :root { --online: #1b7f3b; --degraded: #b36b00; --offline: #b3261e; --failed: #6b1d8f;
          --connecting: #5f6b7a; --alarm: #b3261e; }
  * { box-sizing: border-box; }
  body { font: 14px/1.35 system-ui, sans-serif; margin: 0; background: #f3f4f6; color: #1f2328; }
  button { font: inherit; cursor: pointer; }
  header { background: #1f2328; color: #fff; padding: 6px 10px; position: sticky; top: 0; z-index: 2; }
  .bar { display: flex; flex-wrap: wrap; align-items: center; gap: 6px 12px; }
  h1 { font-size: 16px; margin: 0; }
  #who, #updated { font-size: 12px; opacity: .8; }
  #updated { margin-left: auto; }
  #counts { margin-top: 4px; }
  .count { background: #30363d; color: #fff; border: 0; border-radius: 12px; padding: 2px 10px; }
  .count b { font-variant-numeric: tabular-nums; }
  .count[data-state] { border-left: 6px solid var(--connecting); }
  .count[data-state=online] { border-left-color: var(--online); }
  .count[data-state=degraded] { border-left-color: var(--degraded); }
  .count[data-state=offline] { border-left-color: var(--offline); }
  .count[data-state=failed] { border-left-color: var(--failed); }
  .count.hot { background: var(--alarm); }
  #filter { margin-top: 4px; }
  #filter input[type=search] { width: 14em; max-width: 100%; }
  #error { color: var(--alarm); padding: 4px 10px; font-weight: 700; }
  main { padding: 8px 10px; }
  #grid { display: grid; grid-template-columns: repeat(auto-fill, minmax(150px, 1fr)); gap: 5px; }
  .tile { display: grid; grid-template-columns: 1fr auto; text-align: left; background: #fff;
          border: 0; border-left: 6px solid var(--connecting); border-radius: 5px; padding: 3px 6px;
          min-height: 54px; box-shadow: 0 1px 2px rgba(0,0,0,.15); color: inherit; }
  .tile[data-state=online] { border-left-color: var(--online); }
  .tile[data-state=degraded] { border-left-color: var(--degraded); }
  .tile[data-state=offline] { border-left-color: var(--offline); background: #fbeceb; }
  .tile[data-state=failed] { border-left-color: var(--failed); background: #f3eaf7; }
  .tile .name { font-weight: 700; overflow: hidden; text-overflow: ellipsis; white-space: nowrap; }
  .tile .sub { grid-column: 1 / 3; font-size: 12px; color: #57606a; overflow: hidden;
               text-overflow: ellipsis; white-space: nowrap; }
  .state { font-size: 11px; font-weight: 700; text-transform: uppercase; color: var(--connecting); }
  [data-state=online] > .state { color: var(--online); }
  [data-state=degraded] > .state { color: var(--degraded); }
  [data-state=offline] > .state { color: var(--offline); }
  [data-state=failed] > .state { color: var(--failed); }
  .badge { grid-row: 1 / 3; grid-column: 2; align-self: center; min-width: 22px; text-align: center;
           border-radius: 11px; background: var(--alarm); color: #fff; font-weight: 700; padding: 0 6px; }
  .badge.none { visibility: hidden; }
  section.panel { background: #fff; border-radius: 6px; margin-top: 10px; padding: 6px 10px;
                  box-shadow: 0 1px 2px rgba(0,0,0,.15); overflow-x: auto; }
  h2 { font-size: 15px; margin: 2px 0 6px; }
  table { border-collapse: collapse; width: 100%; }
  th, td { text-align: left; padding: 3px 6px; border-bottom: 1px solid #eaeef2; vertical-align: top; }
  th { font-size: 12px; color: #57606a; font-weight: 600; }
  td.n { text-align: right; font-variant-numeric: tabular-nums; white-space: nowrap; }
  tr.raised td.what, tr.active td.what { color: var(--alarm); }
  tr.acked td.what { color: #57606a; }
  .ack { background: #1f6feb; color: #fff; border: 0; border-radius: 4px; padding: 1px 8px; }
  .muted { color: #57606a; }
  nav.pages { display: flex; gap: 8px; align-items: center; margin-top: 6px; }
  dialog { border: 0; border-radius: 8px; padding: 0; width: min(720px, 96vw); max-height: 92vh; }
  dialog::backdrop { background: rgba(0,0,0,.4); }
  .view-head { display: flex; gap: 8px; align-items: baseline; padding: 8px 12px; color: #fff;
               background: var(--connecting); position: sticky; top: 0; }
  .view-head[data-state=online] { background: var(--online); }
  .view-head[data-state=degraded] { background: var(--degraded); }
  .view-head[data-state=offline] { background: var(--offline); }
  .view-head[data-state=failed] { background: var(--failed); }
  .view-head h2 { margin: 0; flex: 1; }
  .view-head button { background: transparent; color: #fff; border: 1px solid #fff; border-radius: 4px; }
  .view-body { padding: 6px 12px 12px; }
  .view-body h3 { font-size: 14px; margin: 10px 0 4px; }
  .values td.v { text-align: right; font-variant-numeric: tabular-nums; }
  .values tr.alarm td { color: var(--alarm); font-weight: 700; }
  .stale .values { opacity: .5; }
  .trend { margin: 6px 0; }
  @media (max-width: 600px) {
    #grid { grid-template-columns: repeat(auto-fill, minmax(140px, 1fr)); }
    dialog { width: 100vw; max-width: 100vw; height: 100vh; max-height: 100vh; border-radius: 0; }
    .hide-narrow { display: none; }
  }
</style>
</head>
<body>
<header>
  <div class="bar"><h1>kpl-host</h1><span id="who">read-only</span><span id="updated">connecting&hellip;</span></div>
  <div class="bar" id="counts">
    <button class="count" data-state="online" type="button"><b id="n-online">0</b> online</button>
    <button class="count" data-state="degraded" type="button"><b id="n-degraded">0</b> degraded</button>
    <button class="count" data-state="offline" type="button"><b id="n-offline">0</b> offline</button>
    <button class="count" data-state="failed" type="button"><b id="n-failed">0</b> failed</button>
    <button class="count" data-state="connecting" type="button" hidden id="c-connecting"><b id="n-connecting">0</b> connecting</button>
    <button class="count" id="c-active" type="button"><b id="n-active">0</b> alarms active</button>
    <span class="count" id="c-unacked" hidden><b id="n-unacked">0</b> unacknowledged</span>
  </div>
  <form class="bar" id="filter" role="search" onsubmit="return false">
    <select id="f-state" aria-label="state">
      <option value="">every state</option><option>online</option><option>degraded</option>
      <option>offline</option><option>failed</option><option>connecting</option>
    </select>
    <label><input type="checkbox" id="f-alarm"> in alarm</label>
    <input type="search" id="f-text" placeholder="name, place or number" aria-label="text">
    <span id="shown" class="muted"></span>
  </form>
</header>
<div id="error"></div>
<main>
  <section id="grid" aria-label="devices"></section>
  <section class="panel" id="alarm-list">
    <h2>Alarms</h2>
    <table><thead><tr><th>Since</th><th>Device</th><th>Alarm</th><th class="hide-narrow">State</th><th>Acknowledged</th></tr></thead>
    <tbody id="alarms"></tbody></table>
  </section>
  <section class="panel" id="alarm-log">
    <h2>Alarm log</h2>
    <table><thead><tr><th>Time</th><th>Device</th><th>Alarm</th><th>Change</th><th class="n">Value</th><th class="n hide-narrow">Lasted</th></tr></thead>
    <tbody id="log"></tbody></table>
    <nav class="pages"><button type="button" id="newer">&larr; newer</button><button type="button" id="older">older &rarr;</button><span id="log-page" class="muted"></span></nav>
  </section>
</main>
<dialog id="device">
  <div class="view-head" id="view-head"><h2 id="view-name"></h2><span id="view-state" class="state"></span>
    <button type="button" id="view-close" aria-label="close">&times;</button></div>
  <div class="view-body" id="view-body">
    <div id="view-meta" class="muted"></div>
    <h3>Alarms <button type="button" class="ack" id="ack-all" hidden>acknowledge all</button></h3>
    <table><tbody id="view-alarms"></tbody></table>
    <h3>Values</h3>
    <table class="values"><tbody id="view-values"></tbody></table>
    <h3>Trends</h3>
    <!-- The open device's trend plots, one per value, made again only when
         another device opens or its values change (data-device,
         data-points: the device's number and its values' names). -->
    <div class="ranges" id="trend-ranges"></div>
    <section id="trends" class="trends" data-device="" data-points="" aria-label="trends"></section>
  </div>
</dialog>
<script src="/trend-plot.js"></script>
<script>
"use strict";
let devices = [];
let session = { user: null, acknowledge: false };
let openDevice = null;
// The alarm log's page: the newest, or those before a row; the rows where
// the pages shown so far began, for the way back.
let logBefore = null;
const logStarts = [];

function el(tag, cls, text) {
  const e = document.createElement(tag);
  if (cls) e.className = cls;
  if (text !== undefined && text !== null) e.textContent = text;
  return e;
}
function row(cells, cls) {
  const tr = el("tr", cls);
  for (const c of cells) {
    const td = el("td", c.cls, c.node ? undefined : c.text);
    if (c.node) td.append(c.node);
    tr.append(td);
  }
  return tr;
}
function age(s) {
  if (s < 90) return Math.round(s) + " s";
  if (s < 5400) return Math.round(s / 60) + " min";
  if (s < 172800) return Math.round(s / 3600) + " h";
  return Math.round(s / 86400) + " d";
}
// A number as the console's printf writes it: correctly rounded, an exact
// half to the even digit (toFixed takes it away from zero).
function fixed(x, d) {
  const up = x.toFixed(d);
  const exact = x.toFixed(d + 40);
  const cut = d === 0 ? exact.slice(0, exact.indexOf(".")) : exact.slice(0, exact.length - 40);
  if (!/^50*$/.test(exact.slice(exact.length - 40))) return up;
  return Number(cut[cut.length - 1]) % 2 === 0 ? cut : up;
}
function shown(value, decimals, unit) {
  if (value === null || value === undefined) return "—";
  return fixed(value, decimals) + (unit ? " " + unit : "");
}
function title(d) { return d.device_name || "Device " + d.device; }
function deviceOf(n) { return devices.find(d => d.device === n); }
function alarmText(a) {
  if (a.id === "communication_lost")
    return "communication lost" + (a.desc && a.desc !== "communication lost" ? ": " + a.desc : "");
  return [a.label, a.id, a.code, a.desc].filter(Boolean).join(" ");
}
// The device's own alarms: its communication loss is its offline state.
function inAlarm(d) { return d.alarms.some(a => a.id !== "communication_lost"); }
function listed(d) {
  return d.alarms.filter(a => a.seq).concat(d.cleared_alarms || []);
}

function matches(d) {
  const state = document.getElementById("f-state").value;
  const text = document.getElementById("f-text").value.trim().toLowerCase();
  if (state && d.state !== state) return false;
  if (document.getElementById("f-alarm").checked && !inAlarm(d)) return false;
  if (!text) return true;
  return [title(d), d.device_location || "", String(d.device), d.endpoint]
      .some(t => t.toLowerCase().includes(text));
}

function renderCounts() {
  const n = { online: 0, degraded: 0, offline: 0, failed: 0, connecting: 0 };
  let active = 0, unacked = 0;
  for (const d of devices) {
    n[d.state] = (n[d.state] || 0) + 1;
    active += d.alarms.length;
    unacked += listed(d).filter(a => !a.acknowledged).length;
  }
  for (const s in n) document.getElementById("n-" + s).textContent = n[s];
  document.getElementById("c-connecting").hidden = n.connecting === 0;
  document.getElementById("n-active").textContent = active;
  document.getElementById("c-active").classList.toggle("hot", active > 0);
  document.getElementById("n-unacked").textContent = unacked;
  document.getElementById("c-unacked").hidden = !session.acknowledge;
  document.getElementById("c-unacked").classList.toggle("hot", unacked > 0);
}

function renderGrid() {
  const grid = document.getElementById("grid");
  grid.replaceChildren();
  let count = 0;
  for (const d of devices) {
    if (!matches(d)) continue;
    ++count;
    const t = el("button", "tile");
    t.type = "button";
    t.id = "device-" + d.device;
    t.dataset.state = d.state;
    t.title = title(d) + (d.device_location ? ", " + d.device_location : "") + " (" + d.device + ")";
    const own = d.alarms.length;
    t.append(el("span", "state", d.state), el("span", own ? "badge" : "badge none", own),
             el("span", "name", title(d)));
    const last = d.last_round ? age(d.data_age_s) : "no round";
    t.append(el("span", "sub", [d.device_location, last].filter(Boolean).join(" · ")));
    t.addEventListener("click", () => { location.hash = "device-" + d.device; });
    grid.append(t);
  }
  document.getElementById("shown").textContent = count + " of " + devices.length + " shown";
}

function ackButton(d, a) {
  if (!session.acknowledge) return el("span", "muted", "—");
  const b = el("button", "ack", "acknowledge");
  b.type = "button";
  b.addEventListener("click", () => acknowledge(d.device, a.seq));
  return b;
}
function ackCell(d, a) {
  if (a.acknowledged) return { text: a.by + ", " + a.ack_time, cls: "acked-by" };
  return { node: ackButton(d, a) };
}

function renderAlarms() {
  const body = document.getElementById("alarms");
  body.replaceChildren();
  const all = [];
  for (const d of devices) for (const a of listed(d)) all.push([d, a]);
  for (const d of devices)
    for (const a of d.alarms) if (!a.seq) all.push([d, a]);
  all.sort((x, y) => (y[1].since || "").localeCompare(x[1].since || ""));
  for (const [d, a] of all) {
    const cls = (a.cleared ? "cleared" : "active") + (a.acknowledged ? " acked" : "");
    body.append(row([{ text: a.since || "" }, { text: title(d) }, { text: alarmText(a), cls: "what" },
                     { text: a.cleared ? "cleared " + a.cleared : "active", cls: "hide-narrow" },
                     ackCell(d, a)], cls));
  }
  if (all.length === 0) body.append(row([{ text: "no alarms", cls: "muted" }]));
}

function renderView() {
  const dialog = document.getElementById("device");
  const d = openDevice === null ? null : deviceOf(openDevice);
  if (!d) { if (dialog.open) dialog.close(); return; }
  document.getElementById("view-head").dataset.state = d.state;
  document.getElementById("view-name").textContent =
      title(d) + (d.device_location ? " · " + d.device_location : "");
  document.getElementById("view-state").textContent = d.state;
  document.getElementById("view-body").classList.toggle("stale", d.stale);
  document.getElementById("view-meta").textContent =
      "device " + d.device + " · " + d.endpoint + " · " +
      (d.last_round ? "last round " + age(d.data_age_s) + " ago" : "no round yet") + " · " +
      d.rounds + " rounds" + (d.stale ? " · values are stale" : "") +
      (d.last_error !== "none" ? " · " + d.last_error : "");
  const alarms = document.getElementById("view-alarms");
  alarms.replaceChildren();
  const mine = d.alarms.filter(a => !a.seq).concat(listed(d));
  for (const a of mine)
    alarms.append(row([{ text: alarmText(a), cls: "what" },
                       { text: a.cleared ? "cleared " + a.cleared : "since " + (a.since || "") },
                       a.seq ? ackCell(d, a) : { text: "" }], a.cleared ? "cleared" : "active"));
  if (mine.length === 0) alarms.append(row([{ text: "no alarms", cls: "muted" }]));
  document.getElementById("ack-all").hidden =
      !session.acknowledge || !listed(d).some(a => !a.acknowledged);
  const values = document.getElementById("view-values");
  values.replaceChildren();
  for (const v of d.values)
    values.append(row([{ text: v.desc || v.name }, { text: v.name, cls: "muted hide-narrow" },
                       { text: shown(v.value, v.decimals, v.unit), cls: "v" }],
                      v.in_alarm ? "alarm" : ""));
  showTrends(document.getElementById("trends"), d);
  if (!dialog.open) dialog.showModal();
}

// The open device's trends over the range chosen, fetched again every minute
// while the view is open.
let trendRange = "24h";
let trendPlots = [];
function showTrends(slot, d) {
  const points = d.values.map(v => v.name).join(",");
  if (slot.dataset.device === String(d.device) && slot.dataset.points === points) return;
  slot.dataset.device = d.device;
  slot.dataset.points = points;
  slot.replaceChildren();
  trendPlots = kplTrendOrder(d.values).map(v => {
    const box = el("div", "trend");
    box.id = "trend-" + d.device + "-" + v.name;
    slot.append(box);
    return kplTrendPlot(box, {device: d.device, point: v.name, desc: v.desc || v.name,
                              unit: v.unit ? " " + v.unit : "", range: trendRange});
  });
  if (trendPlots.length === 0) slot.append(el("p", "muted", "no values to plot"));
}
kplTrendRanges(document.getElementById("trend-ranges"), trendRange, r => {
  trendRange = r;
  for (const p of trendPlots) p.show(r);
});
setInterval(() => {
  if (document.getElementById("device").open) for (const p of trendPlots) p.load();
}, 60000);

function render() {
  renderCounts();
  renderGrid();
  renderAlarms();
  renderView();
}

async function refresh() {
  try {
    const r = await fetch("/api/devices", { cache: "no-store" });
    if (!r.ok) throw new Error("HTTP " + r.status);
    devices = await r.json();
    render();
    document.getElementById("error").textContent = "";
    document.getElementById("updated").textContent = "updated " + new Date().toLocaleTimeString();
  } catch (e) {
    document.getElementById("error").textContent = "cannot reach kpl-host: " + e.message;
  }
}

function logValue(e) {
  if (e.value === undefined) return "";
  const d = deviceOf(e.device);
  const v = d && d.values.find(x => x.name === e.name);
  return v ? shown(e.value, v.decimals, v.unit) : String(e.value);
}
async function refreshLog() {
  const q = "/api/alarms?limit=25" + (logBefore ? "&before=" + logBefore : "");
  try {
    const r = await fetch(q, { cache: "no-store" });
    if (!r.ok) throw new Error("HTTP " + r.status);
    const page = await r.json();
    const body = document.getElementById("log");
    body.replaceChildren();
    for (const e of page.alarms) {
      const d = deviceOf(e.device);
      const what = alarmText({ label: e.label, id: e.id || e.name, code: e.code, desc: e.desc });
      const change = e.state + (e.by ? " (acknowledged by " + e.by + ")" : "");
      body.append(row([{ text: e.local_time }, { text: d ? title(d) : "Device " + e.device },
                       { text: what, cls: "what" }, { text: change }, { text: logValue(e), cls: "n" },
                       { text: e.duration_s === undefined ? "" : age(e.duration_s), cls: "n hide-narrow" }],
                      e.state));
    }
    if (page.alarms.length === 0) body.append(row([{ text: "nothing logged", cls: "muted" }]));
    const last = page.alarms.length ? page.alarms[page.alarms.length - 1].seq : null;
    const older = document.getElementById("older");
    older.disabled = !page.more;
    older.onclick = () => { logStarts.push(logBefore); logBefore = last; refreshLog(); };
    document.getElementById("newer").disabled = logBefore === null;
    document.getElementById("log-page").textContent = logBefore === null ? "newest first" : "older rows";
  } catch (e) {
    document.getElementById("log").replaceChildren(row([{ text: "the alarm log: " + e.message }]));
  }
}
document.getElementById("newer").addEventListener("click", () => {
  logBefore = logStarts.length ? logStarts.pop() : null;
  refreshLog();
});

async function loadSession() {
  try {
    const r = await fetch("/api/session", { cache: "no-store" });
    if (r.ok) session = await r.json();
  } catch (e) {}
  document.getElementById("who").textContent =
      session.user ? "logged in as " + session.user : "read-only";
}

async function acknowledge(device, seq, again) {
  const form = new URLSearchParams({ device: device, token: session.token || "" });
  if (seq) form.set("alarm", seq);
  const r = await fetch("/api/acknowledge", { method: "POST", body: form });
  if (r.status === 403 && !again) {
    // The host has started again since the token was read.
    await loadSession();
    return acknowledge(device, seq, true);
  }
  if (!r.ok) document.getElementById("error").textContent = "not acknowledged: " + (await r.text());
  await refresh();
  if (logBefore === null) refreshLog();
}
document.getElementById("ack-all").addEventListener("click", () => {
  if (openDevice !== null) acknowledge(openDevice, 0);
});

function followHash() {
  const m = /^#device-(\d+)$/.exec(location.hash);
  openDevice = m ? Number(m[1]) : null;
  renderView();
}
window.addEventListener("hashchange", followHash);
document.getElementById("view-close").addEventListener("click", () => {
  document.getElementById("device").close();
});
document.getElementById("device").addEventListener("close", () => {
  if (location.hash) history.replaceState(null, "", location.pathname);
  openDevice = null;
  // Opened again, the trends are fetched afresh.
  document.getElementById("trends").dataset.device = "";
  trendPlots = [];
});
for (const b of document.querySelectorAll(".count[data-state]"))
  b.addEventListener("click", () => {
    const f = document.getElementById("f-state");
    f.value = f.value === b.dataset.state ? "" : b.dataset.state;
    renderGrid();
  });
document.getElementById("c-active").addEventListener("click", () => {
  const f = document.getElementById("f-alarm");
  f.checked = !f.checked;
  renderGrid();
});
for (const id of ["f-state", "f-alarm", "f-text"])
  document.getElementById(id).addEventListener("input", renderGrid);

loadSession().then(() => refresh()).then(() => { followHash(); refreshLog(); });
setInterval(refresh, 2000);
setInterval(() => { if (logBefore === null) refreshLog(); }, 5000);
</script>
</body>
</html>
)html";
  return page;
}

}  // namespace kplhost
