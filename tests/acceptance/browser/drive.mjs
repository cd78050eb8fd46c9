// Drives Debian's Chromium through the DevTools protocol (puppeteer-core) for
// the site page's acceptance test, and prints what it saw as one JSON object.
//   node drive.mjs look URL USER PASSWORD SHOTS_DIR
//     logs in, reads the header's counts, whether every tile fits the laptop
//     screen, the devices the "in alarm" filter leaves, the first one's
//     values and trend plots as shown, acknowledges its alarm in its view,
//     and takes the laptop and phone screenshots
//   node drive.mjs acknowledged URL USER PASSWORD DEVICE
//     logs in and reads who acknowledged the device's alarm, in its view
import { mkdtempSync, rmSync } from "node:fs";
import { tmpdir } from "node:os";
import { join } from "node:path";
import puppeteer from "puppeteer-core";

const [mode, url, username, password, arg] = process.argv.slice(2);
const profile = mkdtempSync(join(tmpdir(), "kpl-chromium-"));
const browser = await puppeteer.launch({
  executablePath: "/usr/bin/chromium",
  headless: true,
  userDataDir: profile,
  args: ["--no-sandbox", "--disable-gpu", "--no-first-run", "--disable-background-networking",
         "--disable-component-update", "--disable-sync"],
});
const seen = {};
try {
  const page = await browser.newPage();
  await page.authenticate({ username, password });
  await page.setViewport({ width: 1366, height: 768 });
  await page.goto(url, { waitUntil: "load" });
  await page.waitForFunction(() => document.querySelectorAll(".tile").length > 0 &&
                                   document.getElementById("who").textContent.startsWith("logged in"));
  if (mode === "look") {
    seen.who = await page.$eval("#who", e => e.textContent);
    seen.counts = await page.$$eval("#counts b", bs => Object.fromEntries(bs.map(b => [b.id, Number(b.textContent)])));
    seen.tiles = await page.$$eval(".tile", ts => ts.length);
    seen.tile_states = await page.$$eval(".tile", ts => ts.reduce((n, t) => {
      n[t.dataset.state] = (n[t.dataset.state] || 0) + 1;
      return n;
    }, {}));
    seen.fits = await page.$$eval(".tile", ts => ts.every(t => t.getBoundingClientRect().bottom <= window.innerHeight));
    seen.tile_texts = await page.$$eval(".tile", ts => ts.map(t => t.textContent));
    seen.markup_in_tiles = await page.$$eval(".tile *", es => es.filter(e => e.tagName !== "SPAN").length);
    await page.screenshot({ path: join(arg, "site-page.png") });
    await page.click("#f-alarm");
    seen.in_alarm = await page.$$eval(".tile", ts => ts.map(t => Number(t.id.slice("device-".length))));
    const device = seen.in_alarm[0];
    await page.click("#device-" + device);
    await page.waitForSelector("#device[open] #view-values tr");
    seen.device = device;
    seen.values = await page.$$eval("#view-values tr", rs => rs.map(r => [r.cells[1].textContent, r.cells[2].textContent]));
    // A plot per value once each has answered: drawn, or saying why not.
    await page.waitForFunction(() => {
      const boxes = [...document.querySelectorAll("#trends .trend")];
      return boxes.length > 0 && boxes.every(b => b.querySelector("svg") || b.textContent.includes("cannot"));
    });
    seen.trend_plots = await page.$$eval("#trends .trend svg", ps => ps.length);
    seen.trend_failures = await page.$$eval("#trends .trend", bs => bs.filter(b => !b.querySelector("svg")).map(b => b.textContent));
    await page.click("#view-alarms button.ack");
    await page.waitForSelector("#view-alarms td.acked-by");
    seen.acknowledged = await page.$eval("#view-alarms td.acked-by", e => e.textContent);
    seen.unacked = await page.$eval("#n-unacked", e => Number(e.textContent));
    await page.screenshot({ path: join(arg, "site-page-device.png") });
    await page.keyboard.press("Escape");
    await page.click("#f-alarm");
    await page.setViewport({ width: 390, height: 844, isMobile: true, hasTouch: true });
    await page.waitForFunction(() => document.querySelectorAll(".tile").length > 1);
    seen.phone_width = await page.evaluate(() => document.documentElement.scrollWidth);
    await page.screenshot({ path: join(arg, "site-page-phone.png") });
  } else {
    await page.goto(url + "#device-" + arg, { waitUntil: "load" });
    await page.waitForSelector("#device[open] #view-alarms td.acked-by");
    seen.acknowledged = await page.$eval("#view-alarms td.acked-by", e => e.textContent);
  }
} finally {
  await browser.close();
  rmSync(profile, { recursive: true, force: true });
}
console.log(JSON.stringify(seen));
