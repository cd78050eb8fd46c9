#include "bench/scale/scale_report.h"

#include <algorithm>
#include <cstdio>

namespace qltbench {

namespace {

void print_rounds(const ScaleSetup& s, const std::map<unsigned int, long>& rounds) {
  const long per_device = static_cast<long>(s.window_s) * 1000 / s.poll_ms;
  const long due = per_device * s.units;
  long done = 0, least = per_device * 10, most = 0, short_devices = 0;
  for (int d = 1; d <= s.units; ++d) {
    const auto it = rounds.find(static_cast<unsigned int>(d));
    const long n = it == rounds.end() ? 0 : it->second;
    done += n;
    least = std::min(least, n);
    most = std::max(most, n);
    if (n < per_device - 1) ++short_devices;
  }
  std::printf(
      "  rounds completed %ld of %ld due (%.2f%%); per device %ld to %ld of %ld; "
      "devices short by more than one: %ld\n",
      done, due, 100.0 * static_cast<double>(done) / static_cast<double>(due), least, most,
      per_device, short_devices);
}

void print_cpu(const ScaleSetup& s, const std::map<unsigned int, long>& rounds, const Window& w) {
  long done = 0;
  for (const auto& [device, n] : rounds) done += n;
  const double cpu = w.client1.cpu_s - w.client0.cpu_s;
  std::printf("  %s CPU %.1f%% of one core (%.1f%% in the kernel); %.1f us per round\n",
              s.client.c_str(), 100.0 * cpu / w.seconds,
              100.0 * (w.client1.system_s - w.client0.system_s) / w.seconds,
              done ? 1e6 * cpu / static_cast<double>(done) : 0.0);
  std::printf("  %s threads in start order%s:", s.client.c_str(),
              s.client == "kpl-host" ? " (main, history writer, trend writer, worker, I/O)" : "");
  for (const auto& [tid, end] : w.client1.thread_cpu_s) {
    const auto begin = w.client0.thread_cpu_s.find(tid);
    const double used = end - (begin == w.client0.thread_cpu_s.end() ? 0.0 : begin->second);
    std::printf(" %.1f%%", 100.0 * used / w.seconds);
  }
  std::printf("\n");
}

}  // namespace

void print_scale_report(const ScaleSetup& s, const std::map<unsigned int, long>& rounds,
                        const Window& w, const ClientStatus& status) {
  std::printf(
      "scale: %s, %d units (%d UPS + %d air conditioner each), polled every %d ms, "
      "window %d s after %d s warm-up; units on CPU %s, %s on CPU %s\n",
      s.client.c_str(), s.units, s.blocks.ups, s.blocks.ac, s.poll_ms, s.window_s, s.warmup_s,
      s.sim_cpus.empty() ? "any" : s.sim_cpus.c_str(), s.client.c_str(),
      s.client_cpus.empty() ? "any" : s.client_cpus.c_str());
  print_rounds(s, rounds);
  print_cpu(s, rounds, w);
  std::printf("  %s resident memory %.1f MiB (peak %.1f MiB), %.1f KiB per device\n",
              s.client.c_str(), static_cast<double>(w.client1.rss_kib) / 1024,
              static_cast<double>(w.client1.peak_rss_kib) / 1024,
              static_cast<double>(w.client1.rss_kib) / s.units);
  std::printf("  simulator CPU %.1f%% of one core\n",
              100.0 * (w.sim1.cpu_s - w.sim0.cpu_s) / w.seconds);
  if (!w.scrape_ms.empty()) {
    std::vector<double> ms = w.scrape_ms;
    std::sort(ms.begin(), ms.end());
    std::printf(
        "  /metrics fetched %zu times (every %d s), %zu bytes: median %.1f ms, max %.1f ms\n",
        ms.size(), s.scrape_s, w.metrics_bytes, ms[ms.size() / 2], ms.back());
  }
  if (status.connected >= 0)
    std::printf(
        "  devices connected at the end %d of %d; reconnects %ld; passes abandoned for "
        "an overdue reply %ld\n",
        status.connected, s.units, status.reconnects, status.timeouts);
}

}  // namespace qltbench
